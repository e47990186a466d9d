#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "unattended/sessioncontroller/ISessionController.h"

namespace common {
class AddressInfo;
class IConnectionController;
class ILogger;
class IParams;
class ITaskQueue;
}  // namespace common
namespace interprocess {
class IIpcController;
class IProcessManager;
}  // namespace interprocess
namespace platform {
class SystemInformation;
}

namespace corvalis {
namespace unattended {

class IAppletController;
class IBackendEndpointCalls;
class IUpdateController;
struct DownloadApplet;
struct UpdateYourself;

class SessionController : public ISessionController {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    SessionController(std::unique_ptr<common::ITaskQueue> taskQueue,
                      std::unique_ptr<common::IConnectionController> connectionController,
                      std::unique_ptr<IAppletController> appletController,
                      std::unique_ptr<IUpdateController> updateController,
                      std::unique_ptr<IBackendEndpointCalls> endpointCalls,
                      std::unique_ptr<platform::SystemInformation> systemInformation,
                      std::unique_ptr<common::AddressInfo> addressInfo,
                      interprocess::IIpcController& ipcController,
                      interprocess::IProcessManager& processManager, common::IParams& params,
                      std::unique_ptr<common::ILogger> logger, Clock clock = Clock(),
                      std::function<std::string()> timeZone = {});
    ~SessionController() override;

    void startSession(const std::string& url) override;
    void stopSession(StopReason reason) override;
    void requestReconnect() override;
    void startUnattendedUpdateChecking() override;
    void startAppletUpdateChecking() override;
    void onFatalErrorOccured(const std::string& text) override;

    void onConnectionControllerConnected(std::string proxyHost, uint16_t proxyPort,
                                         std::string proxyUser, std::string proxyPassword) override;
    void onConnectionControllerDisconnected(bool reconnecting) override;
    void onConnectionControllerMessageReceived(const std::vector<uint8_t>& message) override;
    void onConnectionControllerRequestProxyCredentials(const std::string& proxy) override;

    void onIpcClientMessageReceived(const helper::ApplicationType& application,
                                    const std::string& json) override;

    // A byte count for the device description ("2.5 GB").
    std::string formatBytes(uint64_t bytes) const;
    static std::string getPlatform() { return "Mac"; }
    static std::string getTlsSupport() { return std::string(); }
    void sendDeviceUpdate() const;

    // How long the backend has to accept the device after a connect.
    static constexpr std::chrono::milliseconds kAuthenticationDeadline{60000};

private:
    template <class Message>
    void send(const Message& message) const;
    void loadConnectionHeaders();
    void dispatch(const std::string& text);
    void startHeartbeat();
    void startUpdateChecking(std::function<void()> check);
    void checkUnattendedUpdate();
    void checkAppletUpdate();
    void startUpdate(const UpdateYourself& update);
    // A period parameter in milliseconds; the default for an absent, zero or unreadable value.
    std::chrono::milliseconds period(const std::string& key, uint64_t defaultMs) const;

    std::unique_ptr<common::ITaskQueue> _taskQueue;
    std::unique_ptr<common::IConnectionController> _connectionController;
    std::unique_ptr<IAppletController> _appletController;
    std::unique_ptr<IUpdateController> _updateController;
    std::unique_ptr<IBackendEndpointCalls> _endpointCalls;
    std::unique_ptr<platform::SystemInformation> _systemInformation;
    std::unique_ptr<common::AddressInfo> _addressInfo;
    interprocess::IIpcController& _ipcController;
    interprocess::IProcessManager& _processManager;
    common::IParams& _params;
    std::unique_ptr<common::ILogger> _logger;
    Clock _clock;
    std::function<std::string()> _timeZone;
    std::chrono::steady_clock::time_point _lastHeartbeatReceived;
    std::chrono::steady_clock::time_point _lastOnlineLog;
    bool _heartbeatActive = false;
    bool _connected = false;
    bool _authenticated = false;
    StopReason _stopReason = StopReason::None;
    bool _stopRequested = false;
    // Counts connects and disconnects: the deadline and heartbeat tasks of an older connection
    // see a different value and end without acting.
    uint64_t _connectionGeneration = 0;
    // Cleared at destruction, so that callbacks still pending elsewhere do nothing.
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);
};

}  // namespace unattended
}  // namespace corvalis
