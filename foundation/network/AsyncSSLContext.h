#pragma once

#include <boost/asio/ssl/context.hpp>

#include "foundation/logging/LogSource.h"

namespace network {

// The one TLS client context of the library: TLS of any version the library allows (no SSLv2
// or SSLv3), peer verification demanded, the system's trust anchors imported once at
// construction. Sockets make their TLS engines from it.
class AsyncSSLContext : private logging::LogSource {
public:
    AsyncSSLContext();

    boost::asio::ssl::context& GetContext() { return m_Context; }
    SSL_CTX* native_handle() { return m_Context.native_handle(); }

private:
    boost::asio::ssl::context m_Context;
};

}  // namespace network
