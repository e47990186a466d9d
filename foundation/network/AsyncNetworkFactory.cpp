#include "foundation/network/AsyncNetworkFactory.h"

#include "foundation/network/AsyncHTTPConnectionPool.h"
#include "foundation/network/AsyncSSLContext.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/AsyncTCPSocket.h"
#include "foundation/network/AsyncWebSocket.h"
#include "foundation/network/HTTPCookieStore.h"
#include "foundation/network/INetworkConnectivity.h"
#include "foundation/network/PoolConnectionHandle.h"

namespace network {

AsyncNetworkFactory::AsyncNetworkFactory(std::shared_ptr<AsyncService> service)
    : AsyncNetworkFactory(std::move(service), nullptr) {}

AsyncNetworkFactory::AsyncNetworkFactory(std::shared_ptr<AsyncService> service,
                                         std::shared_ptr<INetworkConnectivity> connectivity)
    : logging::LogSource("AsyncNetworkFactory"),
      _service(std::move(service)),
      _sslContext(std::make_shared<AsyncSSLContext>()),
      _connectivity(connectivity ? std::move(connectivity) : INetworkConnectivity::Create()),
      _cookieStore(std::make_shared<HTTPCookieStore>()),
      _pool(std::make_shared<AsyncHTTPConnectionPool>(_service, _sslContext, _connectivity,
                                                      _cookieStore)) {}

AsyncNetworkFactory::~AsyncNetworkFactory() = default;

std::shared_ptr<ITCPSocket> AsyncNetworkFactory::CreateTCPSocket() {
    return std::make_shared<AsyncTCPSocket>(_service, _sslContext, _connectivity);
}

std::shared_ptr<IHTTPConnection> AsyncNetworkFactory::CreateHTTPConnection() {
    return _pool->CreateConnectionHandle();
}

std::shared_ptr<IWebSocket> AsyncNetworkFactory::CreateWebSocket() {
    return std::make_shared<AsyncWebSocket>(_service, _sslContext, _connectivity);
}

std::shared_ptr<INetworkConnectivity> AsyncNetworkFactory::GetNetworkConnectivity() {
    return _connectivity;
}

std::shared_ptr<HTTPCookieStore> AsyncNetworkFactory::GetCookieStore() {
    return _cookieStore;
}

}  // namespace network
