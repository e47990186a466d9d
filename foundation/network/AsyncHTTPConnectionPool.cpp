#include "foundation/network/AsyncHTTPConnectionPool.h"

#include <sstream>

#include <boost/asio/dispatch.hpp>

#include "foundation/network/AsyncHTTPConnection.h"
#include "foundation/network/AsyncHTTPRequest.h"
#include "foundation/network/AsyncService.h"
#include "foundation/network/PoolConnectionHandle.h"

namespace network {

std::string AsyncHTTPConnectionPool::PoolEndpoint::ToString() const {
    return host + ":" + std::to_string(port);
}

AsyncHTTPConnectionPool::RequestHandlingMethod AsyncHTTPConnectionPool::SingleConnectionPolicy(
    unsigned idle, unsigned busy, unsigned queued) {
    if (idle > 0 || busy == 0) {
        return RequestHandlingMethod::UseConnection;
    }
    return queued < kMaxQueuedRequests ? RequestHandlingMethod::QueueRequest
                                       : RequestHandlingMethod::RejectRequest;
}

AsyncHTTPConnectionPool::RequestHandlingMethod
AsyncHTTPConnectionPool::DefaultGlobalConnectionPolicy(unsigned idle, unsigned busy,
                                                       unsigned queued) {
    if (idle > 0 || busy < kMaxBusyConnections) {
        return RequestHandlingMethod::UseConnection;
    }
    return queued < kMaxQueuedRequests ? RequestHandlingMethod::QueueRequest
                                       : RequestHandlingMethod::RejectRequest;
}

AsyncHTTPConnectionPool::AsyncHTTPConnectionPool(std::shared_ptr<AsyncService> service,
                                                 std::shared_ptr<AsyncSSLContext> sslContext,
                                                 std::shared_ptr<INetworkConnectivity> connectivity,
                                                 std::shared_ptr<HTTPCookieStore> cookieStore)
    : logging::LogSource("AsyncHTTPConnectionPool"),
      _service(std::move(service)),
      _sslContext(std::move(sslContext)),
      _connectivity(std::move(connectivity)),
      _cookieStore(std::move(cookieStore)) {}

AsyncHTTPConnectionPool::~AsyncHTTPConnectionPool() {
    for (auto& entry : _connections) {
        for (auto& data : entry.second) {
            data->connection->Close();
        }
    }
}

void AsyncHTTPConnectionPool::SetClock(Clock clock) {
    _clock = std::move(clock);
}

std::chrono::steady_clock::time_point AsyncHTTPConnectionPool::Now() const {
    return _clock ? _clock() : std::chrono::steady_clock::now();
}

void AsyncHTTPConnectionPool::SetEndpointPolicy(const PoolEndpoint& endpoint, Policy policy) {
    _endpointPolicies[endpoint] = std::move(policy);
}

void AsyncHTTPConnectionPool::SetPoolPolicy(Policy policy) {
    _poolPolicy = std::move(policy);
}

std::shared_ptr<PoolConnectionHandle> AsyncHTTPConnectionPool::CreateConnectionHandle() {
    return std::make_shared<PoolConnectionHandle>(SharedFromThisAs<AsyncHTTPConnectionPool>());
}

std::shared_ptr<AsyncHTTPConnection> AsyncHTTPConnectionPool::CreateHTTPConnection() {
    auto connection =
        std::make_shared<AsyncHTTPConnection>(_service, _sslContext, _connectivity, _cookieStore);
    connection->SetKeepAlive(true);
    connection->SetTCPKeepAlive(true);
    return connection;
}

bool AsyncHTTPConnectionPool::ConnectionWasClosed(
    const std::shared_ptr<AsyncHTTPConnection>& connection) {
    return connection && !connection->GetSocket();
}

unsigned AsyncHTTPConnectionPool::ConnectionCount(const PoolEndpoint& endpoint,
                                                  bool busyOnly) const {
    const auto found = _connections.find(endpoint);
    if (found == _connections.end()) {
        return 0;
    }
    unsigned count = 0;
    for (const auto& data : found->second) {
        count += (!busyOnly || data->busy) ? 1 : 0;
    }
    return count;
}

unsigned AsyncHTTPConnectionPool::QueuedCount(const PoolEndpoint& endpoint) const {
    const auto found = _queuedRequests.find(endpoint);
    return found == _queuedRequests.end() ? 0 : static_cast<unsigned>(found->second.size());
}

void AsyncHTTPConnectionPool::SubmitRequest(std::weak_ptr<PoolConnectionHandle> handle,
                                            PoolEndpoint endpoint, std::string url,
                                            std::shared_ptr<AsyncHTTPRequest> request,
                                            IHTTPConnection::Callback callback) {
    auto self = SharedFromThisAs<AsyncHTTPConnectionPool>();
    boost::asio::dispatch(
        _service->GetImplementation(),
        [self, handle = std::move(handle), endpoint = std::move(endpoint), url = std::move(url),
         request = std::move(request), callback = std::move(callback)]() mutable {
            self->HandleDispatchedRequest(std::move(handle), endpoint, std::move(url),
                                          std::move(request), std::move(callback));
        });
}

void AsyncHTTPConnectionPool::Abort(std::weak_ptr<PoolConnectionHandle> handle,
                                    PoolEndpoint endpoint) {
    auto self = SharedFromThisAs<AsyncHTTPConnectionPool>();
    boost::asio::dispatch(_service->GetImplementation(), [self, handle, endpoint]() {
        const auto found = self->_connections.find(endpoint);
        if (found == self->_connections.end()) {
            return;
        }
        const auto target = handle.lock();
        if (!target) {
            return;
        }
        const auto list = found->second;  // a copy: an abort may complete at once
        for (const auto& data : list) {
            if (data->busy && data->servingHandle.lock() == target) {
                data->connection->Abort();
            }
        }
    });
}

void AsyncHTTPConnectionPool::HandleDispatchedRequest(std::weak_ptr<PoolConnectionHandle> handle,
                                                      const PoolEndpoint& endpoint, std::string url,
                                                      std::shared_ptr<AsyncHTTPRequest> request,
                                                      IHTTPConnection::Callback callback) {
    CloseStaleConnections();
    switch (ApplyPolicy(endpoint)) {
        case RequestHandlingMethod::UseConnection:
            ServiceRequest(std::move(handle), endpoint, FindOrCreateConnection(endpoint),
                           std::move(url), std::move(request), std::move(callback));
            return;
        case RequestHandlingMethod::QueueRequest:
            _queuedRequests[endpoint].push_back(queued_request_data_t{
                std::move(handle), std::move(url), std::move(request), std::move(callback)});
            return;
        case RequestHandlingMethod::RejectRequest:
            Log(logging::Warning) << "Request for endpoint " << endpoint.ToString()
                                  << " refused: too many requests are waiting.";
            callback(NotIssued, nullptr);
            return;
    }
}

AsyncHTTPConnectionPool::Policy AsyncHTTPConnectionPool::GetEndpointEffectivePolicy(
    const PoolEndpoint& endpoint) const {
    const auto found = _endpointPolicies.find(endpoint);
    if (found != _endpointPolicies.end() && found->second) {
        return found->second;
    }
    if (_poolPolicy) {
        return _poolPolicy;
    }
    return &DefaultGlobalConnectionPolicy;
}

AsyncHTTPConnectionPool::RequestHandlingMethod AsyncHTTPConnectionPool::ApplyPolicy(
    const PoolEndpoint& endpoint) const {
    const unsigned all = ConnectionCount(endpoint);
    const unsigned busy = ConnectionCount(endpoint, true);
    return GetEndpointEffectivePolicy(endpoint)(all - busy, busy, QueuedCount(endpoint));
}

std::string AsyncHTTPConnectionPool::GetPoolStateLogStr() const {
    std::ostringstream out;
    for (const auto& entry : _connections) {
        unsigned busy = 0;
        for (const auto& data : entry.second) {
            busy += data->busy ? 1 : 0;
        }
        out << " { '" << entry.first.ToString() << "' : " << busy << " / " << entry.second.size()
            << " }";
    }
    return out.str();
}

std::shared_ptr<AsyncHTTPConnectionPool::connection_data_t>
AsyncHTTPConnectionPool::FindOrCreateConnection(const PoolEndpoint& endpoint) {
    Log(logging::Debug) << "Pool (" << static_cast<const void*>(this) << ") state: [ "
                        << GetPoolStateLogStr() << " ]";
    auto& list = _connections[endpoint];
    std::shared_ptr<connection_data_t> best;
    for (const auto& data : list) {
        if (!data->busy && (!best || data->lastUsed > best->lastUsed)) {
            best = data;
        }
    }
    if (best) {
        Log(logging::Debug) << "Using existing connection for endpoint " << endpoint.ToString();
        return best;
    }
    best = std::make_shared<connection_data_t>();
    best->connection = CreateHTTPConnection();
    best->lastUsed = Now();
    list.push_back(best);
    Log(logging::Debug) << "Created new connection for endpoint " << endpoint.ToString();
    return best;
}

void AsyncHTTPConnectionPool::ServiceRequest(std::weak_ptr<PoolConnectionHandle> handle,
                                             const PoolEndpoint& endpoint,
                                             std::shared_ptr<connection_data_t> data,
                                             std::string url,
                                             std::shared_ptr<AsyncHTTPRequest> request,
                                             IHTTPConnection::Callback callback) {
    data->busy = true;
    data->servingHandle = handle;
    auto self = SharedFromThisAs<AsyncHTTPConnectionPool>();
    auto completion = [self, endpoint, data, callback = std::move(callback)](
                          HTTPStatusCode status, std::unique_ptr<IHTTPResponse> response) {
        data->busy = false;
        data->servingHandle.reset();
        data->lastUsed = self->Now();
        const bool transport = IsTransportCode(status);
        if (transport || self->ConnectionWasClosed(data->connection)) {
            data->lastUsed = std::chrono::steady_clock::time_point::min();
            self->Log(logging::Debug)
                << "Connection for endpoint " << endpoint.ToString() << " will be removed because "
                << (transport ? "of transport layer failure" : "it was closed");
        }
        callback(status, std::move(response));
        self->ServiceQueuedRequest(endpoint);
    };
    data->connection->SubmitRequest(std::move(url), std::move(request), std::move(completion));
}

void AsyncHTTPConnectionPool::ServiceQueuedRequest(const PoolEndpoint& endpoint) {
    CloseStaleConnections();
    const auto queue = _queuedRequests.find(endpoint);
    if (queue == _queuedRequests.end() || queue->second.empty()) {
        return;
    }
    if (ApplyPolicy(endpoint) != RequestHandlingMethod::UseConnection) {
        return;
    }
    queued_request_data_t next = std::move(queue->second.front());
    queue->second.pop_front();
    if (queue->second.empty()) {
        _queuedRequests.erase(queue);
    }
    ServiceRequest(std::move(next.handle), endpoint, FindOrCreateConnection(endpoint),
                   std::move(next.url), std::move(next.request), std::move(next.callback));
}

void AsyncHTTPConnectionPool::CloseStaleConnections() {
    const auto now = Now();
    const auto limit = std::chrono::minutes(idleTimeoutMinutes);
    for (auto entry = _connections.begin(); entry != _connections.end();) {
        auto& list = entry->second;
        for (auto it = list.begin(); it != list.end();) {
            const auto& data = *it;
            const bool stale =
                !data->busy && (data->lastUsed == std::chrono::steady_clock::time_point::min() ||
                                data->lastUsed + limit < now);
            if (stale) {
                data->connection->Close();
                Log(logging::Debug)
                    << "Removed stale connection to endpoint " << entry->first.ToString();
                it = list.erase(it);
            } else {
                ++it;
            }
        }
        if (list.empty()) {
            entry = _connections.erase(entry);
        } else {
            ++entry;
        }
    }
}

}  // namespace network
