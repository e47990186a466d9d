#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/connectioncontroller/FiniteStateMachine.h"
#include "common/connectioncontroller/FiniteStateMachineDelegate.h"
#include "common/connectioncontroller/IConnection.h"
#include "common/connectioncontroller/IConnectionController.h"
#include "common/connectioncontroller/IConnectionDelegate.h"
#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskQueue.h"

namespace common {

// Keeps the backend connection alive: a table-driven state machine over one active connection,
// a reconnect 5000 ms after an unrequested disconnect and, with two connections, a fall-back to
// the other connection (and a flip of "UseLegacyNetworking") after five fatal errors without a
// successful connection in between. Every request and every report of the connection runs as a
// task of the controller's queue, one at a time, on the main thread.
class ConnectionController
    : public IConnectionController,
      public FiniteStateMachineDelegate<ConnectionController, IConnectionController::State,
                                        IConnectionController::Event>,
      public IConnectionDelegate {
public:
    using Machine = FiniteStateMachine<ConnectionController, State, Event>;

    static constexpr std::chrono::milliseconds kReconnectDelay{5000};
    // An opening attempt that reports neither connected nor disconnected in this time is given
    // up and counts as an unrequested disconnect.
    static constexpr std::chrono::milliseconds kAttemptDeadline{30000};
    // A close that is not reported in this time counts as reported.
    static constexpr std::chrono::milliseconds kCloseDeadline{10000};
    static constexpr unsigned kFatalErrorsBeforeFallBack = 5;

    // Two-connection form: the primary connection is active, the backup connection parked.
    ConnectionController(std::unique_ptr<ITaskQueue> queue, IParams& params,
                         std::unique_ptr<IConnection> primary, std::unique_ptr<IConnection> backup,
                         std::unique_ptr<ILogger> logger);
    // One-connection form: fatal errors are dropped and the connection never changes.
    ConnectionController(std::unique_ptr<ITaskQueue> queue, IParams& params,
                         std::unique_ptr<IConnection> connection, std::unique_ptr<ILogger> logger);
    ~ConnectionController() override;

    ConnectionController(const ConnectionController&) = delete;
    ConnectionController& operator=(const ConnectionController&) = delete;

    // IConnectionController
    void requestStart(const std::string& url) override;
    void requestStop() override;
    void requestRestart() override;
    void requestSendMessage(const std::vector<uint8_t>& message,
                            std::function<void(bool)> completion) override;
    void setProxyUserPass(const std::wstring& user, const std::wstring& password) override;
    void addToConnectionHeader(const std::string& name, const std::string& value) override;
    void clearConnectionHeader() override;

    State getState() const;

    // FiniteStateMachineDelegate
    void finiteStateMachineDidChangeState(const Machine& machine, const State& oldState,
                                          const State& newState) const override;
    void finiteStateMachineWillDoEvent(const Machine& machine, const State& state,
                                       const Event& event) const override;
    void finiteStateMachineDroppedEvent(const Machine& machine, const State& state,
                                        const Event& event) const override;

    // IConnectionDelegate
    void onConnectionConnected(std::string proxyHost, uint16_t proxyPort, std::string proxyUser,
                               std::string proxyPassword) const override;
    void onConnectionDisconnected(const DisconnectReason& reason) const override;
    void onConnectionMessageReceived(const std::vector<uint8_t>& message) const override;
    void onConnectionRequestProxyCredentials(const std::string& proxy) override;
    void onFatalConnectionError() override;

private:
    using Completion = std::function<void(bool)>;

    ConnectionController(std::unique_ptr<ITaskQueue> queue, IParams& params,
                         std::unique_ptr<IConnection> active, std::unique_ptr<IConnection> backup,
                         std::unique_ptr<ILogger> logger, bool twoConnections);

    // Transition handlers.
    State onDisconnectedStart(std::string url);
    State onDisconnectedStop();
    State onDisconnectedMessageSend(std::vector<uint8_t> message, Completion completion);
    State onConnectingConnected(std::string proxyHost, uint16_t proxyPort, std::string proxyUser,
                                std::string proxyPassword);
    State onConnectingDisconnected(DisconnectReason reason);
    State onConnectingStop();
    State onConnectingRestart();
    State onConnectedDisconnected(DisconnectReason reason);
    State onConnectedStop();
    State onConnectedRestart();
    State onMessageReceive(std::vector<uint8_t> message);
    State onConnectedMessageSend(std::vector<uint8_t> message, Completion completion);
    State onDisconnectingDisconnected(DisconnectReason reason);
    State onRestartingDisconnected(DisconnectReason reason);
    State onRestartingStop();
    State onFatalConnectionErrorOccured();

    // The disconnect rule: reconnect later, stop, or (proxy credentials) nothing at all.
    State onDisconnected(DisconnectReason reason);

    void post(std::function<void()> work, std::chrono::milliseconds delay = {});
    // Opens the active connection with the stored URL and arms the attempt deadline.
    void connectActive();
    // Closes the active connection and arms the close deadline.
    void disconnectActive();
    void scheduleReconnect();
    void cancelReconnect();
    void armDeadline(std::chrono::milliseconds delay);
    void disarmDeadline();
    void onDeadline();
    void resumeAfterProxyCredentials();
    // Hands the headers and proxy credentials given so far to the active connection.
    void applySettingsToActive();

    Machine _machine;
    std::unique_ptr<ITaskQueue> _queue;
    std::unique_ptr<IConnection> _active;
    std::unique_ptr<IConnection> _parkedPrimary;
    std::unique_ptr<IConnection> _parkedBackup;
    std::unique_ptr<ILogger> _logger;
    std::string _url;
    uint64_t _fatalErrorCount = 0;
    IParams& _params;

    // Bookkeeping of the attempt, the timers and the user's wishes; used on the main thread.
    bool _attemptInFlight = false;
    bool _awaitingProxyCredentials = false;
    bool _stopped = true;
    bool _destroying = false;
    bool _reconnectPending = false;
    uint64_t _reconnectGeneration = 0;
    uint64_t _deadlineGeneration = 0;
    std::vector<std::pair<std::string, std::string>> _headers;
    std::optional<std::pair<std::wstring, std::wstring>> _proxyCredentials;
};

}  // namespace common
