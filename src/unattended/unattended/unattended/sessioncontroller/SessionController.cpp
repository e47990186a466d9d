#include "unattended/sessioncontroller/SessionController.h"

#include <algorithm>
#include <limits>

#include "common/addressinfo/AddressInfo.h"
#include "common/connectioncontroller/IConnectionController.h"
#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "foundation/persistence/JsonSerialization.h"
#include "foundation/platform/SystemInformation.h"
#include "interprocess/controller/IIpcController.h"
#include "unattended/appletcontroller/IAppletController.h"
#include "unattended/backendmessages/BackendMessages.h"
#include "unattended/httpcommunication/IBackendEndpointCalls.h"
#include "unattended/ipcmessages/UnattendedIpcMessage.h"
#include "unattended/sessioncontroller/DeviceUpdateMsg.h"
#include "unattended/updatecontroller/IUpdateController.h"

namespace corvalis {
namespace unattended {

namespace {

const uint64_t kDefaultHeartbeatPeriodMs = 3000;
const uint64_t kDefaultHeartbeatTimeoutMs = 20000;
const uint64_t kDefaultOnlineLogPeriodMs = 300000;
const uint64_t kDefaultUpdatePeriodMinutes = 1440;
// Periods are kept within what the scheduler's clock can add without overflowing.
const uint64_t kLongestPeriodMs = uint64_t(std::numeric_limits<int64_t>::max()) / 1000000;

// Reads a record of the text; false when the text is not that record.
template <class Record>
bool read(const std::string& text, Record& record) {
    return persistence::json_deserialize(text, record);
}

}  // namespace

SessionController::SessionController(
    std::unique_ptr<common::ITaskQueue> taskQueue,
    std::unique_ptr<common::IConnectionController> connectionController,
    std::unique_ptr<IAppletController> appletController,
    std::unique_ptr<IUpdateController> updateController,
    std::unique_ptr<IBackendEndpointCalls> endpointCalls,
    std::unique_ptr<platform::SystemInformation> systemInformation,
    std::unique_ptr<common::AddressInfo> addressInfo, interprocess::IIpcController& ipcController,
    interprocess::IProcessManager& processManager, common::IParams& params,
    std::unique_ptr<common::ILogger> logger, Clock clock, std::function<std::string()> timeZone)
    : _taskQueue(std::move(taskQueue)),
      _connectionController(std::move(connectionController)),
      _appletController(std::move(appletController)),
      _updateController(std::move(updateController)),
      _endpointCalls(std::move(endpointCalls)),
      _systemInformation(std::move(systemInformation)),
      _addressInfo(std::move(addressInfo)),
      _ipcController(ipcController),
      _processManager(processManager),
      _params(params),
      _logger(std::move(logger)),
      _clock(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)),
      _timeZone(std::move(timeZone)) {
    _lastHeartbeatReceived = _lastOnlineLog = _clock();
    _connectionController->setDelegate(this);
    _logger->setSubFacility("Init");
    _ipcController.subscribe(this);
    loadConnectionHeaders();
}

SessionController::~SessionController() {
    _logger->info("stop heartbeat checking");
    _heartbeatActive = false;
    *_alive = false;
    _taskQueue->finish([](bool&, unsigned long) {}, true);
    _ipcController.unsubscribe(this);
    _connectionController->setDelegate(nullptr);
    _connectionController.reset();
    _appletController.reset();
    _addressInfo.reset();
    _systemInformation.reset();
    _endpointCalls.reset();
    _updateController.reset();
    _taskQueue.reset();
}

template <class Message>
void SessionController::send(const Message& message) const {
    std::string text;
    if (!persistence::json_serialize(message, text)) {
        return;
    }
    _connectionController->requestSendMessage(std::vector<uint8_t>(text.begin(), text.end()),
                                              [](bool) {});
}

void SessionController::loadConnectionHeaders() {
    std::string token = _params.getValue("DeviceToken", std::string());
    if (token.empty()) {
        token = _params.getValue("CompanyToken", std::string());
    }
    _connectionController->clearConnectionHeader();
    _connectionController->addToConnectionHeader("Authorization", "Bearer " + token);
}

void SessionController::startSession(const std::string& url) {
    _logger->info("start session");
    loadConnectionHeaders();
    _connectionController->requestStart(url);
}

void SessionController::stopSession(StopReason reason) {
    _logger->info("stop heartbeat checking");
    _heartbeatActive = false;
    if (!_stopRequested) {
        _stopRequested = true;
        _stopReason = reason;
    }
    _connectionController->requestStop();
}

void SessionController::requestReconnect() {
    _logger->warning("reconnect start");
    loadConnectionHeaders();
    if (_stopRequested) {
        // A stop was asked for: carry it out rather than connecting again.
        _connectionController->requestStop();
        return;
    }
    _connectionController->requestRestart();
}

void SessionController::onFatalErrorOccured(const std::string& text) {
    UnattendedError error;
    error.Message = text;
    send(error);
}

std::string SessionController::formatBytes(uint64_t bytes) const {
    return unattended::formatBytes(bytes);
}

void SessionController::sendDeviceUpdate() const {
    send(makeDeviceUpdate(*_systemInformation, *_addressInfo,
                          _params.getValue("DeviceName", std::string()),
                          _timeZone ? _timeZone() : std::string()));
}

void SessionController::onConnectionControllerConnected(std::string /*proxyHost*/,
                                                        uint16_t /*proxyPort*/,
                                                        std::string /*proxyUser*/,
                                                        std::string /*proxyPassword*/) {
    const uint64_t generation = ++_connectionGeneration;
    _connected = true;
    _authenticated = false;
    _heartbeatActive = false;
    if (_stopRequested) {
        _connectionController->requestStop();
        return;
    }
    sendDeviceUpdate();
    std::weak_ptr<bool> alive = _alive;
    _taskQueue->push(
        [this, alive, generation](bool&, unsigned long) {
            if (alive.expired() || generation != _connectionGeneration || _authenticated) {
                return;
            }
            _logger->warning("Backend authentication timed out, reconnecting...");
            requestReconnect();
        },
        kAuthenticationDeadline, common::ITaskQueue::Normal);
}

void SessionController::onConnectionControllerDisconnected(bool reconnecting) {
    ++_connectionGeneration;
    _connected = false;
    _authenticated = false;
    _logger->info("stop heartbeat checking");
    _heartbeatActive = false;
    if (!reconnecting && hasDelegate()) {
        getDelegate()->onSessionControllerDone(_stopReason);
    }
}

void SessionController::onConnectionControllerMessageReceived(const std::vector<uint8_t>& message) {
    std::string text(message.begin(), message.end());
    const auto zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
    dispatch(text);
}

void SessionController::dispatch(const std::string& text) {
    _logger->trace("raw message received: '%s'", text.c_str());
    MessageType envelope;
    if (!read(text, envelope)) {
        _logger->error("unable to parse message: '%s'", text.c_str());
        return;
    }
    _logger->trace("typed message received: '%s'", envelope.Type.c_str());
    const std::string& type = envelope.Type;
    if (type == "Heartbeat") {
        HeartBeatMsg heartbeat;
        if (read(text, heartbeat)) {
            _lastHeartbeatReceived = _clock();
        }
    } else if (type == "DownloadApplet") {
        DownloadApplet applet;
        if (read(text, applet)) {
            _appletController->startApplet(applet.DownloadUrl, applet.GetBinariesUrl.value_or(""),
                                           applet.GetParamsUrl.value_or(""),
                                           applet.Version.value_or(""));
        }
    } else if (type == "CompanyTokenAccepted") {
        CompanyTokenAccepted accepted;
        if (read(text, accepted)) {
            _logger->info("CompanyToken - Accepted");
            _logger->debug("DeviceToken: %s", accepted.DeviceToken.empty() ? "" : "***");
            _params.setValue("DeviceToken", accepted.DeviceToken);
            _logger->debug("Params:\n%s", _params.toString().c_str());
            loadConnectionHeaders();
            startHeartbeat();
            _authenticated = true;
        }
    } else if (type == "DeviceTokenAccepted") {
        DeviceTokenAccepted accepted;
        if (read(text, accepted)) {
            _logger->warning("DeviceToken - Accepted");
            startHeartbeat();
            _authenticated = true;
        }
    } else if (type == "UpdateYourself") {
        const bool noUpdate = _params.getValueAs<bool>("NoUpdate", false);
        UpdateYourself update;
        if (read(text, update) && !noUpdate) {
            startUpdate(update);
        }
    } else if (type == "UninstallYourself") {
        UninstallYourself uninstall;
        if (read(text, uninstall)) {
            _logger->info("UninstallYourself - Arrived");
            stopSession(StopReason::UninstallRequest);
        }
    } else if (type == "SetDeviceName") {
        SetDeviceName rename;
        if (read(text, rename)) {
            _params.setValue("DeviceName", rename.DeviceName);
            sendDeviceUpdate();
        }
    }
}

std::chrono::milliseconds SessionController::period(const std::string& key,
                                                    uint64_t defaultMs) const {
    const std::string text = _params.getValue(key, std::string());
    uint64_t value = 0;
    if (_params.isUnsignedInteger(text) && text.size() <= 19) {
        value = std::stoull(text);
    }
    if (value == 0) {
        value = defaultMs;
    }
    return std::chrono::milliseconds(std::min(value, kLongestPeriodMs));
}

void SessionController::startHeartbeat() {
    _logger->info("start heartbeat checking");
    _heartbeatActive = true;
    _lastHeartbeatReceived = _lastOnlineLog = _clock();
    const auto timeout = period("HeartbeatTimeoutInMs", kDefaultHeartbeatTimeoutMs);
    const auto heartbeatPeriod = period("HeartbeatPeriodInMs", kDefaultHeartbeatPeriodMs);
    const auto onlineLogPeriod = period("OnlineLogPeriodInMs", kDefaultOnlineLogPeriodMs);
    // One heartbeat task per connection: a second acceptance on the same connection keeps the
    // running task; a task of an older connection ends at its next run.
    const uint64_t generation = _connectionGeneration;
    std::weak_ptr<bool> alive = _alive;
    _taskQueue->push(
        [this, alive, generation, timeout, onlineLogPeriod](bool& reschedule, unsigned long) {
            if (alive.expired() || !_heartbeatActive || generation != _connectionGeneration) {
                return;
            }
            send(HeartBeatMsg());
            const auto now = _clock();
            if (now - _lastHeartbeatReceived >= timeout) {
                _logger->warning("heartbeat timeout");
                requestReconnect();
                return;
            }
            if (now - _lastOnlineLog > onlineLogPeriod) {
                _lastOnlineLog = now;
                _logger->debug("Connection is online.");
            }
            reschedule = true;
        },
        heartbeatPeriod, common::ITaskQueue::Normal);
}

void SessionController::onConnectionControllerRequestProxyCredentials(const std::string& proxy) {
    ipcmessages::ProxyPasswordRequest request;
    request.description = proxy;
    _ipcController.send(helper::ApplicationType::UnattendedUi,
                        UnattendedIpcMessage::ToString(request));
}

void SessionController::onIpcClientMessageReceived(const helper::ApplicationType& /*application*/,
                                                   const std::string& json) {
    const auto message = UnattendedIpcMessage::FromString(json);
    message.Handle<ipcmessages::CustomerJoinSessionRequest>(
        [this](const ipcmessages::CustomerJoinSessionRequest& join) {
            std::weak_ptr<bool> alive = _alive;
            _endpointCalls->requestAppletDownloadParam(
                join.pinCode, [this, alive](bool ok, const DownloadApplet& applet) {
                    if (alive.expired()) {
                        return;
                    }
                    if (!ok) {
                        _logger->error("RequestAppletDownloadParam failed.");
                        return;
                    }
                    _appletController->startApplet(
                        applet.DownloadUrl, applet.GetBinariesUrl.value_or(""),
                        applet.GetParamsUrl.value_or(""), applet.Version.value_or(""));
                });
        });
    message.Handle<ipcmessages::CustomerUninstallRequest>(
        [this](const ipcmessages::CustomerUninstallRequest&) {
            send(UninstallRequested());
            stopSession(StopReason::UninstallRequest);
        });
    message.Handle<ipcmessages::OSCloseRequest>(
        [this](const ipcmessages::OSCloseRequest&) { stopSession(StopReason::Normal); });
    message.Handle<ipcmessages::ProxyPasswordResponse>(
        [this](const ipcmessages::ProxyPasswordResponse& response) {
            _connectionController->setProxyUserPass(response.username, response.password);
        });
}

void SessionController::startUpdateChecking(std::function<void()> check) {
    std::weak_ptr<bool> alive = _alive;
    _taskQueue->push(
        [alive, check](bool&, unsigned long) {
            if (!alive.expired()) {
                check();
            }
        },
        std::chrono::milliseconds(0), common::ITaskQueue::Normal);
    std::chrono::milliseconds every;
    if (_params.hasValue("UpdatePeriodInMs")) {
        every = period("UpdatePeriodInMs", 0);
    }
    if (!_params.hasValue("UpdatePeriodInMs") || every.count() == 0) {
        const auto minutes = period("UpdatePeriodInM", kDefaultUpdatePeriodMinutes).count();
        const uint64_t ms = uint64_t(minutes) > kLongestPeriodMs / 60000
                                ? kLongestPeriodMs
                                : uint64_t(minutes) * 60000;
        every = std::chrono::milliseconds(ms);
    }
    _taskQueue->push(
        [alive, check](bool& reschedule, unsigned long) {
            if (alive.expired()) {
                return;
            }
            check();
            reschedule = true;
        },
        every, common::ITaskQueue::Normal);
}

void SessionController::startUnattendedUpdateChecking() {
    startUpdateChecking([this] { checkUnattendedUpdate(); });
}

void SessionController::startAppletUpdateChecking() {
    startUpdateChecking([this] { checkAppletUpdate(); });
}

void SessionController::checkUnattendedUpdate() {
    std::weak_ptr<bool> alive = _alive;
    _endpointCalls->requestUnattendedUpdateParams(
        [this, alive](bool ok, const UpdateYourself& update) {
            if (alive.expired()) {
                return;
            }
            if (!ok) {
                _logger->error("RequestUnattendedUpdateParams failed.");
                return;
            }
            if (update.DownloadUrl.empty()) {
                return;
            }
            _logger->info("RequestUnattendedUpdateParams succeeded.");
            startUpdate(update);
        });
}

void SessionController::checkAppletUpdate() {
    std::weak_ptr<bool> alive = _alive;
    _endpointCalls->requestAppletDownloadParam(
        std::string(), [this, alive](bool ok, const DownloadApplet& applet) {
            if (alive.expired()) {
                return;
            }
            if (!ok) {
                _logger->error("RequestAppletDownloadParam failed.");
                return;
            }
            _appletController->updateApplet(applet.GetBinariesUrl.value_or(""),
                                            applet.Version.value_or(""));
        });
}

void SessionController::startUpdate(const UpdateYourself& update) {
    _logger->info("UpdateYourself - Arrived");
    const std::wstring serviceName =
        hasDelegate() ? getDelegate()->onSessionControllerGetServiceName() : std::wstring();
    std::weak_ptr<bool> alive = _alive;
    _updateController->downloadAndInstallUpdate(
        update.DownloadUrl, serviceName, [this, alive](bool ok, const std::string& message) {
            if (alive.expired()) {
                return;
            }
            if (!ok) {
                _logger->error("%s", message.c_str());
                return;
            }
            _logger->info("unattended update started successfully.");
            stopSession(StopReason::UpdateRequest);
        });
}

}  // namespace unattended
}  // namespace corvalis
