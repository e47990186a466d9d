#include "common/connectioncontroller/ConnectionController.h"

#include <algorithm>

namespace common {

namespace {

constexpr const char* kUseLegacyNetworking = "UseLegacyNetworking";

// Calls the caller's completion exactly once: with the connection's result, or with false when
// the message is dropped or its callback is destroyed uncalled.
class SendCompletion {
public:
    explicit SendCompletion(std::function<void(bool)> completion)
        : _completion(std::move(completion)) {}
    ~SendCompletion() { complete(false); }
    SendCompletion(const SendCompletion&) = delete;
    SendCompletion& operator=(const SendCompletion&) = delete;

    void complete(bool result) {
        auto completion = std::move(_completion);
        _completion = nullptr;
        if (completion) {
            completion(result);
        }
    }

private:
    std::function<void(bool)> _completion;
};

}  // namespace

ConnectionController::ConnectionController(std::unique_ptr<ITaskQueue> queue, IParams& params,
                                           std::unique_ptr<IConnection> primary,
                                           std::unique_ptr<IConnection> backup,
                                           std::unique_ptr<ILogger> logger)
    : ConnectionController(std::move(queue), params, std::move(primary), std::move(backup),
                           std::move(logger), true) {}

ConnectionController::ConnectionController(std::unique_ptr<ITaskQueue> queue, IParams& params,
                                           std::unique_ptr<IConnection> connection,
                                           std::unique_ptr<ILogger> logger)
    : ConnectionController(std::move(queue), params, std::move(connection), nullptr,
                           std::move(logger), false) {}

ConnectionController::ConnectionController(std::unique_ptr<ITaskQueue> queue, IParams& params,
                                           std::unique_ptr<IConnection> active,
                                           std::unique_ptr<IConnection> backup,
                                           std::unique_ptr<ILogger> logger, bool twoConnections)
    : _machine(this, State::Disconnected),
      _queue(std::move(queue)),
      _active(std::move(active)),
      _parkedBackup(std::move(backup)),
      _logger(std::move(logger)),
      _params(params) {
    _machine.add(State::Disconnected, Event::Start, &ConnectionController::onDisconnectedStart);
    _machine.add(State::Disconnected, Event::Stop, &ConnectionController::onDisconnectedStop);
    _machine.add(State::Disconnected, Event::MessageSend,
                 &ConnectionController::onDisconnectedMessageSend);
    _machine.add(State::Connecting, Event::Connected, &ConnectionController::onConnectingConnected);
    _machine.add(State::Connecting, Event::Disconnected,
                 &ConnectionController::onConnectingDisconnected);
    _machine.add(State::Connecting, Event::Stop, &ConnectionController::onConnectingStop);
    _machine.add(State::Connected, Event::Disconnected,
                 &ConnectionController::onConnectedDisconnected);
    _machine.add(State::Connected, Event::Stop, &ConnectionController::onConnectedStop);
    _machine.add(State::Connected, Event::Restart, &ConnectionController::onConnectedRestart);
    _machine.add(State::Connected, Event::MessageReceive, &ConnectionController::onMessageReceive);
    _machine.add(State::Connected, Event::MessageSend,
                 &ConnectionController::onConnectedMessageSend);
    _machine.add(State::Disconnecting, Event::Disconnected,
                 &ConnectionController::onDisconnectingDisconnected);
    _machine.add(State::Disconnecting, Event::MessageReceive,
                 &ConnectionController::onMessageReceive);
    _machine.add(State::Restarting, Event::Disconnected,
                 &ConnectionController::onRestartingDisconnected);
    _machine.add(State::Restarting, Event::MessageReceive, &ConnectionController::onMessageReceive);
    _machine.add(State::Restarting, Event::Stop, &ConnectionController::onRestartingStop);
    if (twoConnections) {
        _machine.add(State::Connecting, Event::Restart, &ConnectionController::onConnectingRestart);
        for (const State state : {State::Disconnected, State::Connecting, State::Connected,
                                  State::Disconnecting, State::Restarting}) {
            _machine.add(state, Event::FatalError,
                         &ConnectionController::onFatalConnectionErrorOccured);
        }
    }
    _machine.setDelegate(this);
    _logger->setSubFacility(toString(State::Disconnected));
    if (_active) {
        _active->setDelegate(this);
    }
}

ConnectionController::~ConnectionController() {
    if (_active) {
        _active->setDelegate(nullptr);
    }
    _machine.setDelegate(nullptr);
    // Nothing new is armed from here on, and the timers already armed come to nothing, so the
    // pending tasks can run at once.
    _destroying = true;
    cancelReconnect();
    disarmDeadline();
    _queue->flush([this] { return _queue->hasTask(); }, true);
    _queue->finish(
        [this](bool&, unsigned long) {
            if (_active) {
                _active->disconnect();
                _active.reset();
            }
        },
        false);
}

void ConnectionController::post(std::function<void()> work, std::chrono::milliseconds delay) {
    _queue->push([work = std::move(work)](bool&, unsigned long) { work(); }, delay,
                 ITaskQueue::Normal);
}

// --- requests ---------------------------------------------------------------------------------

void ConnectionController::requestStart(const std::string& url) {
    post([this, url] { _machine.Do(Event::Start, url); });
}

void ConnectionController::requestStop() {
    post([this] { _machine.Do(Event::Stop); });
}

void ConnectionController::requestRestart() {
    post([this] { _machine.Do(Event::Restart); });
}

void ConnectionController::requestSendMessage(const std::vector<uint8_t>& message,
                                              std::function<void(bool)> completion) {
    auto guard = std::make_shared<SendCompletion>(std::move(completion));
    Completion once = [guard](bool result) { guard->complete(result); };
    guard.reset();
    post([this, message, once = std::move(once)]() mutable {
        _machine.Do(Event::MessageSend, std::move(message), std::move(once));
    });
}

void ConnectionController::setProxyUserPass(const std::wstring& user,
                                            const std::wstring& password) {
    _proxyCredentials = std::make_pair(user, password);
    if (_active) {
        _active->setProxyUserPass(user, password);
    }
    post([this] { resumeAfterProxyCredentials(); });
}

void ConnectionController::addToConnectionHeader(const std::string& name,
                                                 const std::string& value) {
    const auto found = std::find_if(_headers.begin(), _headers.end(),
                                    [&](const auto& header) { return header.first == name; });
    if (found == _headers.end()) {
        _headers.emplace_back(name, value);
    } else {
        found->second = value;
    }
    if (_active) {
        _active->addToConnectionHeader(name, value);
    }
}

void ConnectionController::clearConnectionHeader() {
    _headers.clear();
    if (_active) {
        _active->clearConnectionHeader();
    }
}

IConnectionController::State ConnectionController::getState() const {
    return _machine.getState();
}

// --- state machine delegate -------------------------------------------------------------------

void ConnectionController::finiteStateMachineDidChangeState(const Machine&, const State& oldState,
                                                            const State& newState) const {
    _logger->trace("state change from '%s' to '%s'", toString(oldState), toString(newState));
    _logger->setSubFacility(toString(newState));
}

void ConnectionController::finiteStateMachineWillDoEvent(const Machine&, const State& state,
                                                         const Event& event) const {
    _logger->trace("will do event '%s' in '%s'", toString(event), toString(state));
}

void ConnectionController::finiteStateMachineDroppedEvent(const Machine&, const State& state,
                                                          const Event& event) const {
    _logger->warning("drop event '%s' in '%s'", toString(event), toString(state));
}

// --- connection delegate ----------------------------------------------------------------------

void ConnectionController::onConnectionConnected(std::string proxyHost, uint16_t proxyPort,
                                                 std::string proxyUser,
                                                 std::string proxyPassword) const {
    auto* self = const_cast<ConnectionController*>(this);
    self->post([self, proxyHost = std::move(proxyHost), proxyPort, proxyUser = std::move(proxyUser),
                proxyPassword = std::move(proxyPassword)] {
        self->_machine.Do(Event::Connected, proxyHost, proxyPort, proxyUser, proxyPassword);
    });
}

void ConnectionController::onConnectionDisconnected(const DisconnectReason& reason) const {
    auto* self = const_cast<ConnectionController*>(this);
    const DisconnectReason copy = reason;
    self->post([self, copy] { self->_machine.Do(Event::Disconnected, copy); });
}

void ConnectionController::onConnectionMessageReceived(const std::vector<uint8_t>& message) const {
    auto* self = const_cast<ConnectionController*>(this);
    self->post([self, message] { self->_machine.Do(Event::MessageReceive, message); });
}

void ConnectionController::onConnectionRequestProxyCredentials(const std::string& proxy) {
    if (_active) {
        _active->setDisconnectReason(ProxyCredentialsRequired);
    }
    // This attempt will not open; the next one starts when the user's credentials arrive.
    _attemptInFlight = false;
    _awaitingProxyCredentials = true;
    disarmDeadline();
    if (auto* delegate = getDelegate()) {
        delegate->onConnectionControllerRequestProxyCredentials(proxy);
    }
}

void ConnectionController::onFatalConnectionError() {
    post([this] { _machine.Do(Event::FatalError); });
}

// --- transitions ------------------------------------------------------------------------------

IConnectionController::State ConnectionController::onDisconnectedStart(std::string url) {
    _logger->info("start, url: '%s'", url.c_str());
    _url = std::move(url);
    _stopped = false;
    connectActive();
    _active->setDisconnectReason(Reconnect);
    return State::Connecting;
}

IConnectionController::State ConnectionController::onDisconnectedStop() {
    _logger->info("ConnectionController::OnDisconnectedStop");
    _stopped = true;
    cancelReconnect();
    _active->setDisconnectReason(Requested);
    return onDisconnected(Requested);
}

IConnectionController::State ConnectionController::onDisconnectedMessageSend(
    std::vector<uint8_t>, Completion completion) {
    _logger->info("ConnectionController::OnDisconnectedMessageSend");
    // Nothing is sent without a connection.
    if (completion) {
        completion(false);
    }
    return getState();
}

IConnectionController::State ConnectionController::onConnectingConnected(
    std::string proxyHost, uint16_t proxyPort, std::string proxyUser, std::string proxyPassword) {
    _logger->info("ConnectionController::OnConnectingConnected");
    _attemptInFlight = false;
    _awaitingProxyCredentials = false;
    disarmDeadline();
    // A reconnect still waiting would tear down the connection that is now up.
    cancelReconnect();
    _fatalErrorCount = 0;
    if (auto* delegate = getDelegate()) {
        delegate->onConnectionControllerConnected(std::move(proxyHost), proxyPort,
                                                  std::move(proxyUser), std::move(proxyPassword));
    }
    return State::Connected;
}

IConnectionController::State ConnectionController::onConnectingDisconnected(
    DisconnectReason reason) {
    _logger->info("ConnectionController::OnConnectingDisconnected");
    if (!_attemptInFlight) {
        // The attempt has already ended (given up, or waiting for proxy credentials): a late
        // report of it changes nothing.
        _logger->debug("no attempt in flight, disconnect ignored");
        return getState();
    }
    _attemptInFlight = false;
    disarmDeadline();
    if (reason == ProxyCredentialsRequired) {
        _awaitingProxyCredentials = true;
    }
    return onDisconnected(reason);
}

IConnectionController::State ConnectionController::onConnectingStop() {
    _logger->info("ConnectionController::OnConnectingStop");
    _stopped = true;
    cancelReconnect();
    _awaitingProxyCredentials = false;
    _active->setDisconnectReason(Requested);
    if (!_attemptInFlight) {
        // Waiting for a reconnect or for proxy credentials: there is nothing to close, and no
        // disconnect report would come.
        disarmDeadline();
        return onDisconnected(Requested);
    }
    _attemptInFlight = false;
    disconnectActive();
    return State::Disconnecting;
}

IConnectionController::State ConnectionController::onConnectingRestart() {
    _logger->info("ConnectionController::onConnectingRestart");
    connectActive();
    _active->setDisconnectReason(Reconnect);
    return State::Connecting;
}

IConnectionController::State ConnectionController::onConnectedDisconnected(
    DisconnectReason reason) {
    _logger->info("ConnectionController::OnConnectedDisconnected");
    return onDisconnected(reason);
}

IConnectionController::State ConnectionController::onConnectedStop() {
    _logger->info("ConnectionController::OnConnectedStop");
    _stopped = true;
    _active->setDisconnectReason(Requested);
    disconnectActive();
    return State::Disconnecting;
}

IConnectionController::State ConnectionController::onConnectedRestart() {
    _logger->info("ConnectionController::OnConnectedRestart");
    _active->setDisconnectReason(Reconnect);
    disconnectActive();
    return State::Restarting;
}

IConnectionController::State ConnectionController::onMessageReceive(std::vector<uint8_t> message) {
    if (auto* delegate = getDelegate()) {
        delegate->onConnectionControllerMessageReceived(message);
    }
    return getState();
}

IConnectionController::State ConnectionController::onConnectedMessageSend(
    std::vector<uint8_t> message, Completion completion) {
    _logger->trace("message send");
    _active->send(message, [completion = std::move(completion)](bool result) {
        if (completion) {
            completion(result);
        }
    });
    return getState();
}

IConnectionController::State ConnectionController::onDisconnectingDisconnected(DisconnectReason) {
    _logger->info("ConnectionController::OnDisconnectingDisconnected");
    disarmDeadline();
    // A stop was asked for: it ends here whatever reason the connection reports.
    return onDisconnected(Requested);
}

IConnectionController::State ConnectionController::onRestartingDisconnected(DisconnectReason) {
    _logger->info("ConnectionController::OnRestartingDisconnected");
    connectActive();
    _active->setDisconnectReason(Reconnect);
    return State::Connecting;
}

IConnectionController::State ConnectionController::onRestartingStop() {
    _logger->info("ConnectionController::OnRestartingStop");
    // The close under way ends the connection; it is not opened again.
    _stopped = true;
    _active->setDisconnectReason(Requested);
    return State::Disconnecting;
}

IConnectionController::State ConnectionController::onDisconnected(DisconnectReason reason) {
    if (reason == ProxyCredentialsRequired) {
        return getState();
    }
    const bool reconnecting = reason == Reconnect;
    _logger->info("ConnectionController::OnDisconnected %d", reconnecting ? 1 : 0);
    if (auto* delegate = getDelegate()) {
        delegate->onConnectionControllerDisconnected(reconnecting);
    }
    if (reconnecting) {
        _logger->taggedLogEntry("checkpoint", ILogger::Info, "Reconnecting.");
        scheduleReconnect();
        return State::Connecting;
    }
    return State::Disconnected;
}

IConnectionController::State ConnectionController::onFatalConnectionErrorOccured() {
    const State state = getState();
    ++_fatalErrorCount;
    if (_fatalErrorCount < kFatalErrorsBeforeFallBack) {
        return state;
    }
    _active->setDelegate(nullptr);
    _active->disconnect();
    _fatalErrorCount = 0;

    const bool legacy = _params.getValueAs<bool>(kUseLegacyNetworking, false);
    _params.setValueAs<bool>(kUseLegacyNetworking, !legacy);

    if (_parkedBackup) {
        _logger->error("Qt connection failed! Falling back to backup connection...");
        _parkedPrimary = std::move(_active);
        _active = std::move(_parkedBackup);
    } else {
        _logger->error("Foundation connection failed! Falling back to backup connection...");
        _parkedBackup = std::move(_active);
        _active = std::move(_parkedPrimary);
    }
    _active->setDelegate(this);
    applySettingsToActive();

    cancelReconnect();
    disarmDeadline();
    _attemptInFlight = false;
    _awaitingProxyCredentials = false;

    if (state == State::Disconnecting) {
        // The stop under way ends here: the old connection's close report reaches nobody.
        return onDisconnected(Requested);
    }
    if (!_stopped && !_destroying) {
        const std::string url = _url;
        post([this, url] {
            if (!_stopped) {
                _machine.Do(Event::Start, url);
            }
        });
    }
    return State::Disconnected;
}

// --- helpers ----------------------------------------------------------------------------------

void ConnectionController::connectActive() {
    cancelReconnect();
    _awaitingProxyCredentials = false;
    _attemptInFlight = true;
    _active->connect(_url);
    armDeadline(kAttemptDeadline);
}

void ConnectionController::disconnectActive() {
    _active->disconnect();
    armDeadline(kCloseDeadline);
}

void ConnectionController::scheduleReconnect() {
    cancelReconnect();
    if (_destroying) {
        return;
    }
    _reconnectPending = true;
    const uint64_t generation = _reconnectGeneration;
    post(
        [this, generation] {
            if (!_reconnectPending || generation != _reconnectGeneration) {
                return;
            }
            _reconnectPending = false;
            if (_active && getState() == State::Connecting) {
                connectActive();
            }
        },
        kReconnectDelay);
}

void ConnectionController::cancelReconnect() {
    ++_reconnectGeneration;
    _reconnectPending = false;
}

void ConnectionController::armDeadline(std::chrono::milliseconds delay) {
    disarmDeadline();
    if (_destroying) {
        return;
    }
    const uint64_t generation = _deadlineGeneration;
    post(
        [this, generation] {
            if (generation == _deadlineGeneration) {
                onDeadline();
            }
        },
        delay);
}

void ConnectionController::disarmDeadline() {
    ++_deadlineGeneration;
}

void ConnectionController::onDeadline() {
    switch (getState()) {
        case State::Connecting:
            if (_attemptInFlight) {
                _logger->warning("connection attempt not answered in time, giving it up");
                _active->disconnect();
                _machine.Do(Event::Disconnected, Reconnect);
            }
            break;
        case State::Disconnecting:
            _logger->warning("disconnect not reported in time");
            _machine.Do(Event::Disconnected, Requested);
            break;
        case State::Restarting:
            _logger->warning("disconnect not reported in time");
            _machine.Do(Event::Disconnected, Reconnect);
            break;
        default:
            break;
    }
}

void ConnectionController::resumeAfterProxyCredentials() {
    if (!_awaitingProxyCredentials || getState() != State::Connecting) {
        return;
    }
    _logger->info("proxy credentials received, connecting");
    connectActive();
    _active->setDisconnectReason(Reconnect);
}

void ConnectionController::applySettingsToActive() {
    _active->clearConnectionHeader();
    for (const auto& header : _headers) {
        _active->addToConnectionHeader(header.first, header.second);
    }
    if (_proxyCredentials) {
        _active->setProxyUserPass(_proxyCredentials->first, _proxyCredentials->second);
    }
}

}  // namespace common
