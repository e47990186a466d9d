#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "foundation/core/SharedFromThis.h"
#include "foundation/logging/LogSource.h"
#include "foundation/network/IHTTPConnection.h"

namespace network {

class AsyncHTTPConnection;
class AsyncHTTPRequest;
class AsyncService;
class AsyncSSLContext;
class HTTPCookieStore;
class INetworkConnectivity;
class PoolConnectionHandle;

// The HTTP connections of a network factory, kept per endpoint (scheme, host and port) and
// shared by all its handles. A policy decides whether a request runs on an idle or a new
// connection, waits, or is refused; connections idle longer than the limit are closed at the
// next request or completion. All pool work runs on the service.
class AsyncHTTPConnectionPool : private logging::LogSource, public core::SharedFromThis {
public:
    enum class RequestHandlingMethod : int32_t {
        UseConnection = 0,
        QueueRequest = 1,
        RejectRequest = 2,
    };
    // (idle connections, busy connections, queued requests) of one endpoint.
    using Policy = std::function<RequestHandlingMethod(unsigned, unsigned, unsigned)>;
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    struct PoolEndpoint {
        std::string scheme;
        std::string host;
        uint16_t port = 0;

        bool operator<(const PoolEndpoint& other) const {
            return std::tie(host, port, scheme) < std::tie(other.host, other.port, other.scheme);
        }
        bool operator==(const PoolEndpoint& other) const {
            return scheme == other.scheme && host == other.host && port == other.port;
        }
        std::string ToString() const;
    };

    static constexpr int idleTimeoutMinutes = 15;
    static constexpr unsigned kMaxBusyConnections = 4;
    static constexpr unsigned kMaxQueuedRequests = 64;

    static RequestHandlingMethod SingleConnectionPolicy(unsigned idle, unsigned busy,
                                                        unsigned queued);
    static RequestHandlingMethod DefaultGlobalConnectionPolicy(unsigned idle, unsigned busy,
                                                               unsigned queued);

    AsyncHTTPConnectionPool(std::shared_ptr<AsyncService> service,
                            std::shared_ptr<AsyncSSLContext> sslContext,
                            std::shared_ptr<INetworkConnectivity> connectivity,
                            std::shared_ptr<HTTPCookieStore> cookieStore);
    ~AsyncHTTPConnectionPool() override;

    std::shared_ptr<PoolConnectionHandle> CreateConnectionHandle();

    void SubmitRequest(std::weak_ptr<PoolConnectionHandle> handle, PoolEndpoint endpoint,
                       std::string url, std::shared_ptr<AsyncHTTPRequest> request,
                       IHTTPConnection::Callback callback);
    void Abort(std::weak_ptr<PoolConnectionHandle> handle, PoolEndpoint endpoint);

    virtual std::shared_ptr<AsyncHTTPConnection> CreateHTTPConnection();
    virtual bool ConnectionWasClosed(const std::shared_ptr<AsyncHTTPConnection>& connection);

    void SetEndpointPolicy(const PoolEndpoint& endpoint, Policy policy);
    void SetPoolPolicy(Policy policy);
    // The clock of the idle limit (tests); the steady clock by default.
    void SetClock(Clock clock);

    const std::shared_ptr<HTTPCookieStore>& GetCookieStore() const { return _cookieStore; }
    // Pooled connections of an endpoint, all or only the busy ones, and its waiting requests.
    unsigned ConnectionCount(const PoolEndpoint& endpoint, bool busyOnly = false) const;
    unsigned QueuedCount(const PoolEndpoint& endpoint) const;

private:
    struct connection_data_t {
        std::shared_ptr<AsyncHTTPConnection> connection;
        std::chrono::steady_clock::time_point lastUsed;
        bool busy = false;
        std::weak_ptr<PoolConnectionHandle> servingHandle;
    };
    struct queued_request_data_t {
        std::weak_ptr<PoolConnectionHandle> handle;
        std::string url;
        std::shared_ptr<AsyncHTTPRequest> request;
        IHTTPConnection::Callback callback;
    };

    void HandleDispatchedRequest(std::weak_ptr<PoolConnectionHandle> handle,
                                 const PoolEndpoint& endpoint, std::string url,
                                 std::shared_ptr<AsyncHTTPRequest> request,
                                 IHTTPConnection::Callback callback);
    Policy GetEndpointEffectivePolicy(const PoolEndpoint& endpoint) const;
    RequestHandlingMethod ApplyPolicy(const PoolEndpoint& endpoint) const;
    std::shared_ptr<connection_data_t> FindOrCreateConnection(const PoolEndpoint& endpoint);
    void ServiceRequest(std::weak_ptr<PoolConnectionHandle> handle, const PoolEndpoint& endpoint,
                        std::shared_ptr<connection_data_t> data, std::string url,
                        std::shared_ptr<AsyncHTTPRequest> request,
                        IHTTPConnection::Callback callback);
    void ServiceQueuedRequest(const PoolEndpoint& endpoint);
    void CloseStaleConnections();
    std::string GetPoolStateLogStr() const;
    std::chrono::steady_clock::time_point Now() const;

    std::shared_ptr<AsyncService> _service;
    std::shared_ptr<AsyncSSLContext> _sslContext;
    std::shared_ptr<INetworkConnectivity> _connectivity;
    std::shared_ptr<HTTPCookieStore> _cookieStore;
    std::map<PoolEndpoint, Policy> _endpointPolicies;
    Policy _poolPolicy;
    std::map<PoolEndpoint, std::list<std::shared_ptr<connection_data_t>>> _connections;
    std::map<PoolEndpoint, std::list<queued_request_data_t>> _queuedRequests;
    Clock _clock;
};

}  // namespace network
