#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/logsinks/IQtLoggingSink.h"
#include "common/metrics/IMetricsCollector.h"
#include "qtplatform/IHttpQuery.h"
#include "qtplatform/IWebSocket.h"

// The single door to Qt networking: the factory of HTTP queries and Qt WebSockets, whose work
// runs on the Qt thread. Called on the main thread.
class IQtPlatform {
public:
    using HttpQueryPtr = std::unique_ptr<IHttpQuery, std::function<void(IHttpQuery*)>>;
    using WebSocketPtr = std::unique_ptr<IWebSocket, std::function<void(IWebSocket*)>>;
    using ProxyCredentialsAcceptedHandler = std::function<void(
        std::string host, unsigned short port, std::string user, std::string password)>;
    using ProxyCredentialsRequestedHandler = std::function<void(std::string)>;

    virtual ~IQtPlatform() = default;

    // The deleter of the returned object drops its handlers at once and destroys it later on
    // the Qt thread.
    virtual std::unique_ptr<IHttpQuery, std::function<void(IHttpQuery*)>> createQuery() const = 0;
    virtual std::unique_ptr<IWebSocket, std::function<void(IWebSocket*)>> createWebSocket()
        const = 0;
    // Runs on the main thread each time stored or entered proxy credentials are accepted.
    virtual void setProxyCredentialsAcceptedHandler(ProxyCredentialsAcceptedHandler&& handler) = 0;
    // Called on the Qt thread with "host : port" when a proxy asks an HTTP query for
    // credentials and none can be offered.
    virtual void setProxyCredentialsRequestedHandler(
        ProxyCredentialsRequestedHandler&& handler) = 0;
    // Queries and sockets created afterwards report to this collector.
    virtual void setMetricsCollector(
        std::weak_ptr<common::metrics::IMetricsCollector> collector) = 0;
    virtual void setQtLoggingSink(std::unique_ptr<IQtLoggingSink>&& sink) = 0;
};
