#include "qtplatform/QtPlatform.h"

#include <atomic>

#include "qtplatform/HttpQuery.h"
#include "qtplatform/QtPlatformPrivate.h"
#include "qtplatform/WebSocket.h"

namespace {
// A platform whose Qt thread did not stop: kept reachable until the process ends.
std::atomic<QtPlatform::Private*> g_abandoned{nullptr};
}  // namespace

QtPlatform::QtPlatform(common::ITaskScheduler* scheduler,
                       common::credentialstorage::ICredentialStorage* storage,
                       const std::string& applicationName)
    : _private(std::make_unique<Private>(scheduler, storage, applicationName)) {}

QtPlatform::~QtPlatform() {
    if (!_private->shutDown()) {
        // Its objects may still run on the Qt thread: destroying them now would pull memory
        // away under that thread.
        g_abandoned.store(_private.release());
    }
}

std::unique_ptr<IHttpQuery, std::function<void(IHttpQuery*)>> QtPlatform::createQuery() const {
    auto* query =
        new HttpQuery(_private.get(), _private->networkAccessManager, _private->proxyAuthenticator,
                      *_private->queryTaskQueue, _private->metricsCollector);
    return std::unique_ptr<IHttpQuery, std::function<void(IHttpQuery*)>>(
        query, [](IHttpQuery* object) {
            if (auto* httpQuery = dynamic_cast<HttpQuery*>(object)) {
                httpQuery->resetEventHandlers();
                httpQuery->deleteLater();
            }
        });
}

std::unique_ptr<IWebSocket, std::function<void(IWebSocket*)>> QtPlatform::createWebSocket() const {
    auto* socket = new WebSocket(_private.get(), _private->proxyAuthenticator,
                                 _private->scheduler->getTaskQueue("QtPlatform::WebSocket"),
                                 _private->metricsCollector);
    return std::unique_ptr<IWebSocket, std::function<void(IWebSocket*)>>(
        socket, [](IWebSocket* object) {
            if (auto* webSocket = dynamic_cast<WebSocket*>(object)) {
                webSocket->resetEventHandlers();
                webSocket->deleteLater();
            }
        });
}

void QtPlatform::setProxyCredentialsAcceptedHandler(ProxyCredentialsAcceptedHandler&& handler) {
    _private->proxyAuthenticator.setCredentialsAcceptedHandler(
        [handler = std::move(handler)](QString host, unsigned short port, QString user,
                                       QString password) {
            if (handler) {
                handler(host.toUtf8().toStdString(), port, user.toUtf8().toStdString(),
                        password.toUtf8().toStdString());
            }
        });
}

void QtPlatform::setProxyCredentialsRequestedHandler(ProxyCredentialsRequestedHandler&& handler) {
    _private->proxyCredentialsRequestedHandler = std::move(handler);
}

void QtPlatform::setMetricsCollector(std::weak_ptr<common::metrics::IMetricsCollector> collector) {
    _private->metricsCollector = std::move(collector);
}

void QtPlatform::setQtLoggingSink(std::unique_ptr<IQtLoggingSink>&& sink) {
    _private->setQtLoggingSink(std::move(sink));
}
