#include "common/connectioncontroller/WebSocketConnection.h"

#include <cstdint>

namespace common {

WebSocketConnection::WebSocketConnection(
    const std::shared_ptr<extension::EventLoopEnvironment>& environment, ITaskScheduler& scheduler,
    const IQtPlatform& platform, std::unique_ptr<ILogger>&& logger)
    : _socket(platform.createWebSocket()),
      _environment(environment),
      _queue(scheduler.getTaskQueue("WebSocketConnection")),
      _logger(std::move(logger)) {
    setDelegate(nullptr);
    installHandlers();
}

WebSocketConnection::~WebSocketConnection() {
    _queue->finish();
    _logger.reset();
    _queue.reset();
    _environment.reset();
    // The deleter drops the socket's handlers first, so nothing that refers to this object runs
    // afterwards; the results of sends still in flight are dropped with them.
    _socket.reset();
    _sendCallbacks.clear();
    setDelegate(nullptr);
}

bool WebSocketConnection::isFatal(IWebSocket::Error error) {
    const int bit = static_cast<int>(error) + 1;
    return bit >= 0 && bit <= 23 && ((0xF84EF1u >> bit) & 1u) != 0;
}

void WebSocketConnection::installHandlers() {
    _socket->setConnectedHandler([this](const std::string& proxyHost, uint16_t proxyPort,
                                        const std::string& proxyUser,
                                        const std::string& proxyPassword) {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionConnected(proxyHost, proxyPort, proxyUser, proxyPassword);
        }
    });
    _socket->setDisconnectedHandler([this] {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionDisconnected(_reason);
        }
    });
    _socket->setBinaryMessageReceivedHandler([this](std::vector<uint8_t> message) {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionMessageReceived(message);
        }
    });
    _socket->setTextMessageReceivedHandler([this](std::string text) {
        const std::vector<uint8_t> message(text.begin(), text.end());
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionMessageReceived(message);
        }
    });
    _socket->setProxyAuthenticationRequiredHandler([this](std::string host, uint16_t port) {
        if (auto* delegate = getDelegate()) {
            delegate->onConnectionRequestProxyCredentials(host + ":" + std::to_string(port));
        }
    });
    _socket->setErrorHandler([this](IWebSocket::Error error) {
        auto* delegate = getDelegate();
        if (delegate == nullptr || !isFatal(error)) {
            return;
        }
        _logger->error("Fatal connection error occured: %s",
                       IWebSocket::errorToString(error).c_str());
        delegate->onFatalConnectionError();
    });
    // One handler for every send: each result goes to the callback of its own message.
    _socket->setBinaryMessageSentHandler([this](bool result) { onMessageSent(result); });
}

void WebSocketConnection::onMessageSent(bool result) {
    if (_sendCallbacks.empty()) {
        return;
    }
    auto callback = std::move(_sendCallbacks.front());
    _sendCallbacks.pop_front();
    if (callback) {
        callback(result);
    }
}

std::map<std::string, std::string> WebSocketConnection::getConnectionHeaders() {
    return {};
}

void WebSocketConnection::addToConnectionHeader(const std::string& name, const std::string& value) {
    _socket->setRawHeader(name, value);
}

void WebSocketConnection::clearConnectionHeader() {
    // The socket replaces a header of the same name, so there is nothing to forget here.
}

void WebSocketConnection::connect(const std::string& url) {
    _socket->open(url);
}

void WebSocketConnection::disconnect() {
    _socket->close();
}

void WebSocketConnection::send(const std::vector<uint8_t>& message,
                               std::function<void(bool)> callback) {
    _sendCallbacks.push_back(std::move(callback));
    _socket->sendBinaryMessage(message);
}

void WebSocketConnection::setProxyUserPass(const std::wstring& user, const std::wstring& password) {
    _socket->setProxyCredentials(user, password);
}

void WebSocketConnection::setDisconnectReason(IConnectionDelegate::DisconnectReason reason) {
    _reason = reason;
}

}  // namespace common
