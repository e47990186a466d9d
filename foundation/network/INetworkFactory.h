#pragma once

#include <memory>

namespace network {

class ITCPSocket;
class IHTTPConnection;
class IWebSocket;
class INetworkConnectivity;
class HTTPCookieStore;

// Entry point of the network library. Everything it hands out works on the library's one
// asynchronous service and completes on the thread that polls it.
class INetworkFactory {
public:
    virtual ~INetworkFactory() = default;

    // A new socket (every call a new object) sharing the factory's TLS context and connectivity.
    virtual std::shared_ptr<ITCPSocket> CreateTCPSocket() = 0;
    // A new handle on the factory's connection pool; it binds to the endpoint of its first
    // request.
    virtual std::shared_ptr<IHTTPConnection> CreateHTTPConnection() = 0;
    virtual std::shared_ptr<IWebSocket> CreateWebSocket() = 0;
    // The factory's one connectivity object (system proxy, proxy credentials, reachability).
    virtual std::shared_ptr<INetworkConnectivity> GetNetworkConnectivity() = 0;
    // The factory's one cookie store.
    virtual std::shared_ptr<HTTPCookieStore> GetCookieStore() = 0;
};

}  // namespace network
