#pragma once

#include <memory>

#include "foundation/logging/LogSource.h"
#include "foundation/network/INetworkFactory.h"

namespace network {

class AsyncHTTPConnectionPool;
class AsyncService;
class AsyncSSLContext;

// The network factory over one asynchronous service: one TLS context, one connectivity
// object, one cookie store and one HTTP connection pool shared by everything it creates.
class AsyncNetworkFactory : public INetworkFactory, private logging::LogSource {
public:
    explicit AsyncNetworkFactory(std::shared_ptr<AsyncService> service);
    // The same with the given connectivity object in place of the platform's.
    AsyncNetworkFactory(std::shared_ptr<AsyncService> service,
                        std::shared_ptr<INetworkConnectivity> connectivity);
    ~AsyncNetworkFactory() override;

    std::shared_ptr<ITCPSocket> CreateTCPSocket() override;
    std::shared_ptr<IHTTPConnection> CreateHTTPConnection() override;
    // A new WebSocket client over the factory's service, TLS context and connectivity.
    std::shared_ptr<IWebSocket> CreateWebSocket() override;
    std::shared_ptr<INetworkConnectivity> GetNetworkConnectivity() override;
    std::shared_ptr<HTTPCookieStore> GetCookieStore() override;

    const std::shared_ptr<AsyncService>& GetService() const { return _service; }
    const std::shared_ptr<AsyncSSLContext>& GetSSLContext() const { return _sslContext; }
    const std::shared_ptr<AsyncHTTPConnectionPool>& GetConnectionPool() const { return _pool; }

private:
    std::shared_ptr<AsyncService> _service;
    std::shared_ptr<AsyncSSLContext> _sslContext;
    std::shared_ptr<INetworkConnectivity> _connectivity;
    std::shared_ptr<HTTPCookieStore> _cookieStore;
    std::shared_ptr<AsyncHTTPConnectionPool> _pool;
};

}  // namespace network
