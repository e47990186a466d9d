#pragma once

#include "foundation/network/HTTPHeaderList.h"
#include "foundation/network/IHTTPConnection.h"

namespace network {

// Whether the connection is closed after a response: HTTP/1.0 without "keep-alive", or
// HTTP/1.1 with "close", in Connection or Proxy-Connection (tokens compared without regard to
// case). A tunnel's 200 answer to CONNECT never closes.
struct HTTPCloseStrategy {
    bool operator()(bool connectRequest, IHTTPConnection::HTTPVersion version, int status,
                    const HTTPHeaderList& headers) const;
};

}  // namespace network
