#include "qtplatform/WebSocket.h"

#include <QAuthenticator>
#include <QMetaObject>
#include <QNetworkProxy>
#include <QThread>
#include <QUrl>
#include <QWebSocket>
#include <chrono>

#include "common/metrics/Record.h"
#include "common/metrics/Tag.h"
#include "qtplatform/LogCategories.h"
#include "qtplatform/LogUtils.h"
#include "qtplatform/ProxyAuthenticator.h"

#define SOCKET_LOG(level) qC##level(WebSocketLog) << "[" << static_cast<const void*>(this) << "]"

namespace {

std::vector<uint8_t> toBytes(const QByteArray& bytes) {
    return std::vector<uint8_t>(bytes.constData(), bytes.constData() + bytes.size());
}

QByteArray toByteArray(const std::vector<uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()));
}

QString fromWide(const std::wstring& text) {
    static_assert(sizeof(wchar_t) == sizeof(uint), "wide strings hold UTF-32");
    return QString::fromUcs4(reinterpret_cast<const uint*>(text.data()),
                             static_cast<int>(text.size()));
}

}  // namespace

WebSocket::WebSocket(QThread* thread, ProxyAuthenticator& authenticator,
                     std::unique_ptr<common::ITaskQueue> taskQueue,
                     std::weak_ptr<common::metrics::IMetricsCollector> metricsCollector)
    : _socket(new QWebSocket(QString(), QWebSocketProtocol::Version13, nullptr)),
      _request(QUrl()),
      _proxyAuthenticator(authenticator),
      _taskQueue(std::move(taskQueue)),
      _metricsCollector(std::move(metricsCollector)),
      _bytesReceived(common::metrics::Tag::WebSocket::BytesReceived, _metricsCollector),
      _bytesSent(common::metrics::Tag::WebSocket::BytesSent, _metricsCollector),
      _handlers(std::make_shared<Handlers>()) {
    const std::string object = LogUtils::pointerToHex(this);
    _bytesReceived.addFixedAttribute("object", object);
    _bytesSent.addFixedAttribute("object", object);
    if (_proxyAuthenticator.isProxyEnabled()) {
        _socket->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, _proxyAuthenticator.host(),
                                        _proxyAuthenticator.port()));
    }
    _socket->setMaxAllowedIncomingMessageSize(kMaxIncomingMessageSize);
    _socket->setMaxAllowedIncomingFrameSize(kMaxIncomingMessageSize);
    _socket->moveToThread(thread);
    moveToThread(thread);
    connectWebSocketSignals();
    SOCKET_LOG(Debug) << "created on thread" << thread;
}

WebSocket::~WebSocket() {
    _taskQueue->finish([](bool&, unsigned long) {}, true);
    SOCKET_LOG(Debug) << "destroyed";
    // The Qt socket goes with the object, on the Qt thread, once it can no longer reach it.
    _socket->disconnect(this);
    _socket->abort();
    delete _socket;
}

QString WebSocket::toWebSocketUrl(const std::string& url) {
    QString text = QString::fromUtf8(url.data(), static_cast<int>(url.size()));
    static const QString https = QStringLiteral("https://");
    if (text.startsWith(https, Qt::CaseInsensitive)) {
        text.replace(0, https.size(), QStringLiteral("wss://"));
    }
    return text;
}

IWebSocket::Error WebSocket::mapError(int socketError) {
    if (socketError == -1 || socketError == 0 || (socketError >= 2 && socketError <= 22)) {
        return static_cast<Error>(socketError);
    }
    return UnknownSocketError;
}

void WebSocket::open(const std::string& url) {
    _request.setUrl(QUrl(toWebSocketUrl(url), QUrl::TolerantMode));
    if (!QMetaObject::invokeMethod(this, &WebSocket::internalOpen, Qt::QueuedConnection)) {
        SOCKET_LOG(Critical) << "failed to call internalOpen";
    }
}

void WebSocket::close() {
    if (!QMetaObject::invokeMethod(this, &WebSocket::internalClose, Qt::QueuedConnection)) {
        SOCKET_LOG(Critical) << "failed to call internalClose";
    }
}

void WebSocket::setRawHeader(const std::string& name, const std::string& value) {
    // A line break would let the value write headers of its own into the handshake.
    if (name.find_first_of("\r\n") != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos) {
        SOCKET_LOG(Warning) << "refusing a header with a line break:"
                            << QByteArray(name.data(), static_cast<int>(name.size()));
        return;
    }
    _request.setRawHeader(QByteArray(name.data(), static_cast<int>(name.size())),
                          QByteArray(value.data(), static_cast<int>(value.size())));
}

void WebSocket::setProxyCredentials(const std::wstring& user, const std::wstring& password) {
    SOCKET_LOG(Debug) << "proxy credentials updated";
    _proxyAuthenticator.setCredentials(fromWide(user), fromWide(password));
}

void WebSocket::sendBinaryMessage(const std::vector<uint8_t>& data) {
    if (!QMetaObject::invokeMethod(this, "internalSendBinaryMessage", Qt::QueuedConnection,
                                   Q_ARG(QByteArray, toByteArray(data)))) {
        SOCKET_LOG(Critical) << "failed to call internalSendBinaryMessage";
    }
}

void WebSocket::sendTextMessage(const std::string& message) {
    if (!QMetaObject::invokeMethod(
            this, "internalSendTextMessage", Qt::QueuedConnection,
            Q_ARG(QString, QString::fromUtf8(message.data(), static_cast<int>(message.size()))))) {
        SOCKET_LOG(Critical) << "failed to call internalSendTextMessage";
    }
}

void WebSocket::ping(const std::vector<uint8_t>& payload) {
    if (!QMetaObject::invokeMethod(this, "internalPing", Qt::QueuedConnection,
                                   Q_ARG(QByteArray, toByteArray(payload)))) {
        SOCKET_LOG(Critical) << "failed to call internalPing";
    }
}

void WebSocket::ignoreSslErrors(const std::vector<SslError::ErrorCode>& codes) {
    _ignoredErrors.clear();
    for (const SslError::ErrorCode code : codes) {
        _ignoredErrors.append(QSslError(SslError::toQSslError(code)));
    }
}

void WebSocket::resetEventHandlers() {
    std::lock_guard<std::mutex> lock(_handlersMutex);
    _handlers->revoked = true;
    _handlers = std::make_shared<Handlers>();
}

#define WEBSOCKET_SETTER(function, slot, type)            \
    void WebSocket::function(type handler) {              \
        std::lock_guard<std::mutex> lock(_handlersMutex); \
        _handlers->slot = std::move(handler);             \
    }

WEBSOCKET_SETTER(setBinaryMessageReceivedHandler, binaryMessageReceived,
                 BinaryMessageReceivedHandler&&)
WEBSOCKET_SETTER(setBinaryMessageSentHandler, binaryMessageSent, MessageSentHandler&&)
WEBSOCKET_SETTER(setTextMessageReceivedHandler, textMessageReceived, TextMessageReceivedHandler&&)
WEBSOCKET_SETTER(setTextMessageSentHandler, textMessageSent, MessageSentHandler&&)
WEBSOCKET_SETTER(setConnectedHandler, connected, ConnectedHandler&&)
WEBSOCKET_SETTER(setDisconnectedHandler, disconnected, DisconnectedHandler)
WEBSOCKET_SETTER(setErrorHandler, error, ErrorHandler&&)
WEBSOCKET_SETTER(setSslErrorHandler, sslError, SslErrorHandler&&)
WEBSOCKET_SETTER(setPongHandler, pong, PongHandler&&)
WEBSOCKET_SETTER(setProxyAuthenticationRequiredHandler, proxyAuthenticationRequired,
                 ProxyAuthenticationRequiredHandler&&)

#undef WEBSOCKET_SETTER

template <class IsSet, class Call>
void WebSocket::post(IsSet isSet, Call call, const char* done) {
    std::shared_ptr<Handlers> table;
    {
        std::lock_guard<std::mutex> lock(_handlersMutex);
        if (isSet(*_handlers)) {
            table = _handlers;
        }
    }
    if (!table) {
        return;
    }
    std::weak_ptr<Handlers> weak = table;
    const void* object = this;
    _taskQueue->push(
        [weak, call, done, object](bool&, unsigned long) {
            if (auto alive = weak.lock(); alive && !alive->revoked) {
                call(*alive);
            }
            if (done != nullptr) {
                qCDebug(WebSocketLog) << "[" << object << "]" << done;
            }
        },
        std::chrono::milliseconds(0), common::ITaskQueue::Normal);
}

void WebSocket::internalOpen() const {
    SOCKET_LOG(Debug) << "opening with URL:" << _request.url().toDisplayString();
    _socket->open(_request);
}

void WebSocket::internalClose() const {
    SOCKET_LOG(Debug) << "closing";
    if (_connected) {
        _socket->close(QWebSocketProtocol::CloseCodeNormal, QString());
        return;
    }
    bool hasHandler = false;
    {
        std::lock_guard<std::mutex> lock(_handlersMutex);
        hasHandler = static_cast<bool>(_handlers->disconnected);
    }
    if (hasHandler) {
        const_cast<WebSocket*>(this)->post(
            [](const Handlers& handlers) { return static_cast<bool>(handlers.disconnected); },
            [](Handlers& handlers) { handlers.disconnected(); }, "DisconnectedHandler returned");
        return;
    }
    SOCKET_LOG(Critical) << "disconnected handler is not set up correctly";
}

void WebSocket::connectWebSocketSignals() {
    connect(_socket, &QWebSocket::connected, this, &WebSocket::onWebSocketConnected);
    connect(_socket, &QWebSocket::disconnected, this, &WebSocket::onWebSocketDisconnected);
    connect(_socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            &WebSocket::onWebSocketError);
    connect(_socket, &QWebSocket::sslErrors, this, &WebSocket::onWebSocketSslErrors);
    connect(_socket, &QWebSocket::pong, this, &WebSocket::onWebSocketPong);
    connect(_socket, &QWebSocket::textMessageReceived, this,
            &WebSocket::onWebSocketTextMessageReceived);
    connect(_socket, &QWebSocket::binaryMessageReceived, this,
            &WebSocket::onWebSocketBinaryMessageReceived);
    connect(_socket, &QWebSocket::proxyAuthenticationRequired, this,
            &WebSocket::onWebSocketProxyAuthenticationRequired);
}

void WebSocket::internalSendBinaryMessage(QByteArray data) {
    const qint64 sent = _socket->sendBinaryMessage(data);
    const bool whole = sent == data.size();
    if (!whole) {
        SOCKET_LOG(Warning) << "failed to send the whole binary message, only" << sent << "of"
                            << data.size() << "Byte(s)";
    }
    _bytesSent.accumulate("size", sent);
    _bytesSent.accumulate("total", data.size());
    post([](const Handlers& handlers) { return static_cast<bool>(handlers.binaryMessageSent); },
         [whole](Handlers& handlers) { handlers.binaryMessageSent(whole); });
}

void WebSocket::internalSendTextMessage(QString message) {
    const qint64 length = message.toUtf8().size();
    const qint64 sent = _socket->sendTextMessage(message);
    const bool whole = sent == length;
    if (!whole) {
        SOCKET_LOG(Warning) << "failed to send the whole text message, only" << sent << "of"
                            << length << "Byte(s)";
    }
    _bytesSent.accumulate("size", sent);
    _bytesSent.accumulate("total", length);
    post([](const Handlers& handlers) { return static_cast<bool>(handlers.textMessageSent); },
         [whole](Handlers& handlers) { handlers.textMessageSent(whole); });
}

void WebSocket::internalPing(QByteArray payload) {
    SOCKET_LOG(Debug) << "pinging with payload of" << payload.size() << "Byte(s)";
    _socket->ping(payload);
}

void WebSocket::addConnectionRecord(const char* tag, bool withError) {
    auto collector = _metricsCollector.lock();
    if (!collector) {
        return;
    }
    common::metrics::Record record;
    record.tag = tag;
    record.attributes["object"] = LogUtils::pointerToHex(this);
    record.attributes["proxy"] = static_cast<int32_t>(_proxyAuthenticator.host().isEmpty() ? 0 : 1);
    if (withError) {
        record.attributes["error"] = LogUtils::toString(_socket->error());
    }
    collector->addRecord(std::move(record));
}

void WebSocket::onWebSocketConnected() {
    SOCKET_LOG(Info) << "connected";
    _proxyAuthenticator.credentialsAccepted();
    _connected = true;
    _lastError = -2;
    _lastErrorRepeats = 0;
    addConnectionRecord(common::metrics::Tag::WebSocket::Connected, false);
    ProxyAuthenticator* authenticator = &_proxyAuthenticator;
    post([](const Handlers& handlers) { return static_cast<bool>(handlers.connected); },
         [authenticator, object = static_cast<const void*>(this)](Handlers& handlers) {
             const QString host = authenticator->host();
             if (!host.isEmpty()) {
                 qCInfo(WebSocketLog) << "[" << object << "]"
                                      << "Calling ConnectedHandler with proxy information";
                 handlers.connected(host.toUtf8().toStdString(), authenticator->port(),
                                    authenticator->username().toUtf8().toStdString(),
                                    authenticator->password().toUtf8().toStdString());
             } else {
                 qCInfo(WebSocketLog) << "[" << object << "]"
                                      << "Calling ConnectedHandler without proxy information";
                 handlers.connected(std::string(), 0, std::string(), std::string());
             }
         },
         "ConnectedHandler returned");
}

void WebSocket::onWebSocketDisconnected() {
    SOCKET_LOG(Info) << "disconnected";
    if (_socket->error() != QAbstractSocket::UnknownSocketError) {
        SOCKET_LOG(Warning) << "disconnected because of" << _socket->errorString();
    }
    addConnectionRecord(common::metrics::Tag::WebSocket::Disconnected, true);
    post([](const Handlers& handlers) { return static_cast<bool>(handlers.disconnected); },
         [](Handlers& handlers) { handlers.disconnected(); }, "DisconnectedHandler returned");
}

void WebSocket::onWebSocketError(QAbstractSocket::SocketError error) {
    const int value = static_cast<int>(error);
    if (value == QAbstractSocket::RemoteHostClosedError ||
        value == QAbstractSocket::ProxyAuthenticationRequiredError) {
        return;
    }
    // A server that keeps failing the same way is logged once per many attempts.
    if (value == _lastError) {
        ++_lastErrorRepeats;
    } else {
        _lastError = value;
        _lastErrorRepeats = 0;
    }
    if (_lastErrorRepeats == 0) {
        SOCKET_LOG(Critical) << "socket error:" << error;
    } else if (_lastErrorRepeats % kRepeatedErrorLogInterval == 0) {
        SOCKET_LOG(Critical) << "socket error:" << error << "(repeated" << _lastErrorRepeats
                             << "times)";
    }
    const Error mapped = mapError(value);
    post([](const Handlers& handlers) { return static_cast<bool>(handlers.error); },
         [mapped](Handlers& handlers) { handlers.error(mapped); }, "ErrorHandler returned");
    // An error while opening can leave the Qt socket in its connecting state for good (a
    // refused upgrade reports only an error): end the attempt, so that a disconnect follows.
    if (_socket->state() != QAbstractSocket::UnconnectedState &&
        _socket->state() != QAbstractSocket::ConnectedState) {
        QMetaObject::invokeMethod(this, &WebSocket::abortUnfinishedOpening, Qt::QueuedConnection);
    }
}

void WebSocket::abortUnfinishedOpening() {
    if (_socket->state() != QAbstractSocket::UnconnectedState &&
        _socket->state() != QAbstractSocket::ConnectedState) {
        SOCKET_LOG(Warning) << "opening failed, aborting the attempt";
        _socket->abort();
    }
}

void WebSocket::onWebSocketSslErrors(const QList<QSslError>& errors) {
    SOCKET_LOG(Critical) << "SSL errors:" << errors;
    QList<QSslError::SslError> codes;
    for (const QSslError& ignored : _ignoredErrors) {
        codes.append(ignored.error());
    }
    const QList<QSslError> matched = SslError::findByErrorCode(errors, codes);
    SOCKET_LOG(Debug) << "matched errors:" << matched;
    if (matched.size() < errors.size()) {
        SOCKET_LOG(Warning) << "one or more errors won't be ignored";
    }
    if (matched.isEmpty()) {
        std::vector<SslError::ErrorCode> reported;
        for (const QSslError& error : errors) {
            reported.push_back(SslError::toErrorCode(error));
        }
        post([](const Handlers& handlers) { return static_cast<bool>(handlers.sslError); },
             [reported](Handlers& handlers) { handlers.sslError(reported); });
        return;
    }
    SOCKET_LOG(Warning) << "ignoring SSL errors:" << matched;
    _socket->ignoreSslErrors(matched);
}

void WebSocket::onWebSocketPong(quint64 elapsedTime, const QByteArray& payload) {
    _bytesReceived.accumulate("size", payload.size());
    const std::vector<uint8_t> bytes = toBytes(payload);
    const uint64_t elapsed = elapsedTime;
    post([](const Handlers& handlers) { return static_cast<bool>(handlers.pong); },
         [elapsed, bytes](Handlers& handlers) { handlers.pong(elapsed, bytes); });
}

void WebSocket::onWebSocketTextMessageReceived(const QString& message) {
    _bytesReceived.accumulate("size", message.size());
    const std::string text = message.toUtf8().toStdString();
    post([](const Handlers& handlers) { return static_cast<bool>(handlers.textMessageReceived); },
         [text](Handlers& handlers) { handlers.textMessageReceived(text); });
}

void WebSocket::onWebSocketBinaryMessageReceived(const QByteArray& message) {
    _bytesReceived.accumulate("size", message.size());
    const std::vector<uint8_t> bytes = toBytes(message);
    post([](const Handlers& handlers) { return static_cast<bool>(handlers.binaryMessageReceived); },
         [bytes](Handlers& handlers) { handlers.binaryMessageReceived(bytes); });
}

void WebSocket::onWebSocketProxyAuthenticationRequired(const QNetworkProxy& proxy,
                                                       QAuthenticator* authenticator) {
    qCInfo(WebSocketLog).nospace().noquote()
        << "[ " << static_cast<const void*>(this) << " ]"
        << " proxy authentication required for " << proxy.hostName() << ":" << proxy.port();
    if (_proxyAuthenticator.isRequestingCredentials()) {
        SOCKET_LOG(Info) << "proxy credentials already requested";
        return;
    }
    _proxyAuthenticator.setHostInformation(proxy.hostName(), proxy.port());
    // Credentials the proxy keeps refusing are not offered again; the user is asked instead.
    if (_proxyAuthenticator.registerChallenge() && _proxyAuthenticator.canUseCachedCredentials()) {
        SOCKET_LOG(Info) << "trying to authenticate with cached credentials";
        if (_proxyAuthenticator.offerCachedCredentials(authenticator)) {
            return;
        }
    }
    _proxyAuthenticator.requestingCredentials();
    const std::string host = proxy.hostName().toUtf8().toStdString();
    const uint16_t port = proxy.port();
    post(
        [](const Handlers& handlers) {
            return static_cast<bool>(handlers.proxyAuthenticationRequired);
        },
        [host, port](Handlers& handlers) { handlers.proxyAuthenticationRequired(host, port); });
}
