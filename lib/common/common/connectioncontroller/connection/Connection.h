#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/connectioncontroller/IConnection.h"
#include "common/logger/ILogger.h"
#include "common/safestore/ISafeStore.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "foundation/network/HTTPStatusCode.h"
#include "foundation/network/ITCPSocket.h"

namespace extension {
class EventLoopEnvironment;
}
namespace network {
class INetworkConnectivity;
class IWebSocket;
}  // namespace network

namespace common {

// The backup backend connection: IConnection over the foundation library's WebSocket client.
// Its completions run inside the environment's event-loop poll on the main thread. Proxy
// credentials are kept in the safe store ("ProxyUsername", "ProxyPassword") and handed to the
// library's connectivity object.
//
// Only completions of the current WebSocket act: those of a WebSocket that was dropped or
// replaced, and any that arrive after destruction, do nothing. `disconnect` waits for pending
// sends by polling the event loop, at most 5 s.
class Connection : public IConnection {
public:
    static constexpr std::chrono::milliseconds kDrainLimit{5000};
    static constexpr std::chrono::milliseconds kDrainPollInterval{10};

    Connection(std::shared_ptr<extension::EventLoopEnvironment> environment,
               ITaskScheduler& scheduler, ISafeStore& safeStore, std::unique_ptr<ILogger> logger);
    ~Connection() override;

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    std::map<std::string, std::string> getConnectionHeaders() override;
    void addToConnectionHeader(const std::string& name, const std::string& value) override;
    void clearConnectionHeader() override;
    void connect(const std::string& url) override;
    void disconnect() override;
    void send(const std::vector<uint8_t>& message, std::function<void(bool)> callback) override;
    void setProxyUserPass(const std::wstring& user, const std::wstring& password) override;
    void setDisconnectReason(IConnectionDelegate::DisconnectReason reason) override;

private:
    using Liveness = std::shared_ptr<std::atomic<bool>>;

    void reconnect(const std::string& url);
    void onConnectCompleted(uint64_t generation, const std::string& url,
                            network::HTTPStatusCode status);
    void startReceive();
    void onReceiveCompleted(uint64_t generation, network::ITCPSocket::ErrorCode code,
                            const std::vector<uint8_t>& payload);
    void reportDisconnect(IConnectionDelegate::DisconnectReason reason);
    void drainPendingSends();
    std::shared_ptr<network::INetworkConnectivity> connectivity() const;

    std::map<std::string, std::string> _headers;
    std::shared_ptr<extension::EventLoopEnvironment> _environment;
    std::unique_ptr<ITaskQueue> _queue;
    std::shared_ptr<network::IWebSocket> _webSocket;
    std::atomic<bool> _connecting{false};
    IConnectionDelegate::DisconnectReason _reason = IConnectionDelegate::Reconnect;
    int32_t _pendingSends = 0;
    std::unique_ptr<ILogger> _logger;
    ISafeStore& _safeStore;
    Liveness _destroyed;
    // Which WebSocket is current: changes whenever one is made or dropped.
    uint64_t _generation = 0;
};

}  // namespace common
