#pragma once

#include <deque>
#include <functional>
#include <memory>

#include <boost/system/error_code.hpp>

#include "foundation/logging/LogSource.h"
#include "foundation/network/Endpoint.h"
#include "foundation/network/ResolvedEndpoint.h"

namespace network {

class AsyncService;

// Resolves a host and port into the addresses to try. The system lookup runs on asio's
// private resolver thread; the result is completed on the asynchronous service. Nothing is
// cached. Must be owned by a shared pointer.
class HostResolver : public std::enable_shared_from_this<HostResolver>, private logging::LogSource {
public:
    using Callback =
        std::function<void(const boost::system::error_code&, std::deque<ResolvedEndpoint>&&)>;

    explicit HostResolver(std::shared_ptr<AsyncService> service);

    // Calls `callback` exactly once on the service: success and the addresses in the system's
    // order, or the failure and an empty list. Throws std::bad_weak_ptr when the resolver is
    // not owned by a shared pointer.
    void AsyncResolveAll(const Endpoint& endpoint, Callback callback);

private:
    std::shared_ptr<AsyncService> m_Service;
};

}  // namespace network
