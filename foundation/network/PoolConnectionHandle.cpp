#include "foundation/network/PoolConnectionHandle.h"

#include "foundation/network/AsyncHTTPRequest.h"
#include "foundation/network/HTTPCookieStore.h"
#include "foundation/network/URL.h"

namespace network {

PoolConnectionHandle::PoolConnectionHandle(std::shared_ptr<AsyncHTTPConnectionPool> pool)
    : logging::LogSource("PoolConnectionHandle"), _pool(std::move(pool)) {}

int PoolConnectionHandle::SetCookie(const std::string& setCookieText) {
    return _pool->GetCookieStore()->Set(setCookieText);
}

int PoolConnectionHandle::DeleteCookie(const std::string& name) {
    return _pool->GetCookieStore()->Delete(name);
}

std::unique_ptr<IHTTPRequest> PoolConnectionHandle::CreateRequest() {
    return std::make_unique<AsyncHTTPRequest>();
}

void PoolConnectionHandle::Submit(std::string url, Callback&& callback) {
    SubmitRequest(std::move(url), CreateRequest(), std::move(callback));
}

bool PoolConnectionHandle::SetOrCheckEndpoint(const std::string& text) {
    URL url;
    if (!ParseURL(text, url)) {
        Log(logging::Warning) << "Invalid URL <" << text << ">.";
        return false;
    }
    url.Normalize();
    url.SetDefaultPort();
    AsyncHTTPConnectionPool::PoolEndpoint endpoint{url.scheme, url.host,
                                                   static_cast<uint16_t>(url.port)};
    if (_endpoint.port != 0 && !_endpoint.host.empty()) {
        if (!(endpoint == _endpoint)) {
            Log(logging::Warning) << "Pooled connection being recycled with different end-point.";
            return false;
        }
        return true;
    }
    _endpoint = endpoint;
    return true;
}

bool PoolConnectionHandle::CheckRequest(const std::string& url) {
    if (_closed) {
        Log(logging::Warning) << "Pooled connection already closed.";
        return false;
    }
    return SetOrCheckEndpoint(url);
}

void PoolConnectionHandle::SubmitRequest(std::string url, std::unique_ptr<IHTTPRequest> request,
                                         Callback&& callback) {
    if (!CheckRequest(url)) {
        callback(NotIssued, nullptr);
        return;
    }
    std::shared_ptr<AsyncHTTPRequest> shared(static_cast<AsyncHTTPRequest*>(request.release()));
    if (!shared) {
        shared = std::make_shared<AsyncHTTPRequest>();
    }
    _pool->SubmitRequest(WeakFromThisAs<PoolConnectionHandle>(), _endpoint, std::move(url),
                         std::move(shared), std::move(callback));
}

void PoolConnectionHandle::TransferFile(std::string url, std::string, std::string,
                                        std::unique_ptr<IHTTPRequest>, Callback&& callback,
                                        ProgressCallback&&, ProgressCallback&&) {
    Log(logging::Error) << "File transfer to <" << url << "> is not available.";
    callback(NotIssued, nullptr);
}

void PoolConnectionHandle::Abort() {
    _pool->Abort(WeakFromThisAs<PoolConnectionHandle>(), _endpoint);
}

}  // namespace network
