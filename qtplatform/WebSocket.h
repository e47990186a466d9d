#pragma once

#include <atomic>

#include <QAbstractSocket>
#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QSslError>
#include <QString>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/metrics/IMetricsCollector.h"
#include "common/metrics/MetricsAccumulator.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "qtplatform/IWebSocket.h"

class QAuthenticator;
class QNetworkProxy;
class QThread;
class QWebSocket;
class ProxyAuthenticator;

// The Qt layer's WebSocket: one QWebSocket on the Qt thread, driven from the main thread.
// Every report reaches the handlers as a task of the socket's own queue. Destroyed only through
// the platform's deleter (on the Qt thread).
class WebSocket : public QObject, public IWebSocket {
    Q_OBJECT

public:
    struct Handlers {
        BinaryMessageReceivedHandler binaryMessageReceived;
        MessageSentHandler binaryMessageSent;
        TextMessageReceivedHandler textMessageReceived;
        MessageSentHandler textMessageSent;
        ConnectedHandler connected;
        DisconnectedHandler disconnected;
        ErrorHandler error;
        SslErrorHandler sslError;
        PongHandler pong;
        ProxyAuthenticationRequiredHandler proxyAuthenticationRequired;
        // Set when the table is replaced: a report already posted, or being posted on the Qt
        // thread while it still holds the table, then calls nothing.
        std::atomic<bool> revoked{false};
    };

    // The largest message and frame accepted from the peer.
    static constexpr qint64 kMaxIncomingMessageSize = 16 * 1024 * 1024;
    // Identical errors in a row are logged once, then once per this many.
    static constexpr int kRepeatedErrorLogInterval = 100;

    WebSocket(QThread* thread, ProxyAuthenticator& authenticator,
              std::unique_ptr<common::ITaskQueue> taskQueue,
              std::weak_ptr<common::metrics::IMetricsCollector> metricsCollector);
    ~WebSocket() override;

    void open(const std::string& url) override;
    void close() override;
    void setRawHeader(const std::string& name, const std::string& value) override;
    void setProxyCredentials(const std::wstring& user, const std::wstring& password) override;
    void sendBinaryMessage(const std::vector<uint8_t>& data) override;
    void sendTextMessage(const std::string& message) override;
    void ping(const std::vector<uint8_t>& payload) override;
    void ignoreSslErrors(const std::vector<SslError::ErrorCode>& codes) override;
    void resetEventHandlers() override;
    void setBinaryMessageReceivedHandler(BinaryMessageReceivedHandler&& handler) override;
    void setBinaryMessageSentHandler(MessageSentHandler&& handler) override;
    void setTextMessageReceivedHandler(TextMessageReceivedHandler&& handler) override;
    void setTextMessageSentHandler(MessageSentHandler&& handler) override;
    void setConnectedHandler(ConnectedHandler&& handler) override;
    void setDisconnectedHandler(DisconnectedHandler handler) override;
    void setErrorHandler(ErrorHandler&& handler) override;
    void setSslErrorHandler(SslErrorHandler&& handler) override;
    void setPongHandler(PongHandler&& handler) override;
    void setProxyAuthenticationRequiredHandler(
        ProxyAuthenticationRequiredHandler&& handler) override;

    // The URL that `open` opens for the given text: a leading "https://" (any case) becomes
    // "wss://"; nothing else changes.
    static QString toWebSocketUrl(const std::string& url);
    // The error reported for a Qt socket error: the same number for -1, 0 and 2..22, else -1.
    static Error mapError(int socketError);

private slots:
    void internalSendBinaryMessage(QByteArray data);
    void internalSendTextMessage(QString message);
    void internalPing(QByteArray payload);

private:
    void internalOpen() const;
    void internalClose() const;
    void connectWebSocketSignals();
    void onWebSocketConnected();
    void onWebSocketDisconnected();
    void onWebSocketError(QAbstractSocket::SocketError error);
    void onWebSocketSslErrors(const QList<QSslError>& errors);
    void onWebSocketPong(quint64 elapsedTime, const QByteArray& payload);
    void onWebSocketTextMessageReceived(const QString& message);
    void onWebSocketBinaryMessageReceived(const QByteArray& message);
    void onWebSocketProxyAuthenticationRequired(const QNetworkProxy& proxy,
                                                QAuthenticator* authenticator);
    void abortUnfinishedOpening();
    void addConnectionRecord(const char* tag, bool withError);

    // Posts `call` with the handler table current now, when `isSet` holds for it; the task
    // calls only while that table lives, and logs `done` (when given) afterwards either way.
    template <class IsSet, class Call>
    void post(IsSet isSet, Call call, const char* done = nullptr);

    QWebSocket* _socket;
    QNetworkRequest _request;
    ProxyAuthenticator& _proxyAuthenticator;
    std::unique_ptr<common::ITaskQueue> _taskQueue;
    QList<QSslError> _ignoredErrors;
    std::weak_ptr<common::metrics::IMetricsCollector> _metricsCollector;
    common::metrics::MetricsAccumulator<long long> _bytesReceived;
    common::metrics::MetricsAccumulator<long long> _bytesSent;
    bool _connected = false;
    std::shared_ptr<Handlers> _handlers;
    mutable std::mutex _handlersMutex;
    int _lastError = -2;
    int _lastErrorRepeats = 0;
};
