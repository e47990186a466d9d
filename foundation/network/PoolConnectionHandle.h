#pragma once

#include <memory>
#include <string>

#include "foundation/core/SharedFromThis.h"
#include "foundation/logging/LogSource.h"
#include "foundation/network/AsyncHTTPConnectionPool.h"
#include "foundation/network/IHTTPConnection.h"

namespace network {

// What INetworkFactory::CreateHTTPConnection hands out: a light connection that owns no
// socket; its requests run on the pool's connections. It binds to the endpoint of its first
// request and refuses (NotIssued) requests for another endpoint and every request after Close.
class PoolConnectionHandle : public IHTTPConnection,
                             private logging::LogSource,
                             public core::SharedFromThis {
public:
    explicit PoolConnectionHandle(std::shared_ptr<AsyncHTTPConnectionPool> pool);

    void SetKeepAlive(bool) override {}
    int SetCookie(const std::string& setCookieText) override;
    int DeleteCookie(const std::string& name) override;
    std::unique_ptr<IHTTPRequest> CreateRequest() override;
    void Submit(std::string url, Callback&& callback) override;
    void SubmitRequest(std::string url, std::unique_ptr<IHTTPRequest> request,
                       Callback&& callback) override;
    void TransferFile(std::string url, std::string uploadFilePath, std::string downloadFilePath,
                      std::unique_ptr<IHTTPRequest> request, Callback&& callback,
                      ProgressCallback&& uploadProgress,
                      ProgressCallback&& downloadProgress) override;
    void Close() override { _closed = true; }
    void Abort() override;

    const AsyncHTTPConnectionPool::PoolEndpoint& GetEndpoint() const { return _endpoint; }

private:
    bool CheckRequest(const std::string& url);
    bool SetOrCheckEndpoint(const std::string& url);

    std::shared_ptr<AsyncHTTPConnectionPool> _pool;
    AsyncHTTPConnectionPool::PoolEndpoint _endpoint;
    bool _closed = false;
};

}  // namespace network
