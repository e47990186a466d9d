#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/connectioncontroller/IConnection.h"
#include "common/logger/ILogger.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "qtplatform/IQtPlatform.h"
#include "qtplatform/IWebSocket.h"

namespace extension {
class EventLoopEnvironment;
}

namespace common {

// The primary backend connection: IConnection over the Qt-layer WebSocket. It maps the
// operations one to one onto the socket, turns the socket's handlers into delegate calls and
// decides which socket errors are fatal. What it reports follows the socket; it keeps no
// connection state of its own.
class WebSocketConnection : public IConnection {
public:
    WebSocketConnection(const std::shared_ptr<extension::EventLoopEnvironment>& environment,
                        ITaskScheduler& scheduler, const IQtPlatform& platform,
                        std::unique_ptr<ILogger>&& logger);
    ~WebSocketConnection() override;

    WebSocketConnection(const WebSocketConnection&) = delete;
    WebSocketConnection& operator=(const WebSocketConnection&) = delete;

    std::map<std::string, std::string> getConnectionHeaders() override;
    void addToConnectionHeader(const std::string& name, const std::string& value) override;
    void clearConnectionHeader() override;
    void connect(const std::string& url) override;
    void disconnect() override;
    void send(const std::vector<uint8_t>& message, std::function<void(bool)> callback) override;
    void setProxyUserPass(const std::wstring& user, const std::wstring& password) override;
    void setDisconnectReason(IConnectionDelegate::DisconnectReason reason) override;

    // Whether a socket error ends hope for this connection (and counts towards a fall-back).
    static bool isFatal(IWebSocket::Error error);

private:
    void installHandlers();
    void onMessageSent(bool result);

    IQtPlatform::WebSocketPtr _socket;
    std::weak_ptr<extension::EventLoopEnvironment> _environment;
    std::unique_ptr<ITaskQueue> _queue;
    std::unique_ptr<ILogger> _logger;
    IConnectionDelegate::DisconnectReason _reason = IConnectionDelegate::Reconnect;
    // The callbacks of the sends still waiting for their result, oldest first. The socket
    // reports the results of its sends in the order they were made.
    std::deque<std::function<void(bool)>> _sendCallbacks;
};

}  // namespace common
