#include "unattended/application/UnattendedApplication.h"

#include <boost/filesystem/operations.hpp>

#include "common/addressinfo/AddressInfo.h"
#include "common/connectioncontroller/ConnectionController.h"
#include "common/connectioncontroller/WebSocketConnection.h"
#include "common/connectioncontroller/connection/Connection.h"
#include "common/crash/SetupCrashHandler.h"
#include "common/downloader/IDownloader.h"
#include "common/logger/ILogger.h"
#include "common/logger/Logger.h"
#include "common/logsinks/LogWrapperForFoundation.h"
#include "common/metrics/IMetricsCollector.h"
#include "common/metrics/Tag.h"
#include "common/params/SecretParams.h"
#include "common/safestore/ISafeStore.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "common/util/Util.h"
#include "foundation/extension/EventLoopEnvironment.h"
#include "foundation/platform/SystemInformation.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/pm/IProcessManager.h"
#include "qtplatform/IQtPlatform.h"
#include "qtplatform/QtUtils.h"
#include "service/application/IAbstractServiceApplicationController.h"
#include "unattended/appletcache/IAppletCache.h"
#include "unattended/appletcontroller/IAppletController.h"
#include "unattended/application/UnattendedApplicationMac.h"
#include "unattended/httpcommunication/BackendEndpointCalls.h"
#include "unattended/sessioncontroller/SessionController.h"
#include "unattended/updatecontroller/IUpdateController.h"
#include "unattended/userinterfacecontroller/IUserInterfaceController.h"
#include "unattended/version/DaemonVersion.h"

namespace corvalis {
namespace unattended {

namespace {

const char kIdAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::vector<unsigned char> bytesOf(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

}  // namespace

std::unique_ptr<IUnattendedApplication> IUnattendedApplication::createUnattendedApplication(
    const std::vector<std::string>& arguments, std::shared_ptr<common::ITaskScheduler> scheduler,
    common::IParams& params, service::IAbstractServiceApplicationController& serviceController,
    std::unique_ptr<IQtPlatform> qtPlatform,
    std::shared_ptr<extension::EventLoopEnvironment> environment,
    std::shared_ptr<common::metrics::IMetricsCollector> metricsCollector) {
    return std::make_unique<UnattendedApplicationMac>(
        arguments, std::move(scheduler), params, serviceController, std::move(qtPlatform),
        std::move(environment), std::move(metricsCollector));
}

UnattendedApplication::UnattendedApplication(
    const std::vector<std::string>& arguments, std::shared_ptr<common::ITaskScheduler> scheduler,
    common::IParams& params, service::IAbstractServiceApplicationController& serviceController,
    std::unique_ptr<IQtPlatform> qtPlatform,
    std::shared_ptr<extension::EventLoopEnvironment> environment,
    std::shared_ptr<common::metrics::IMetricsCollector> metricsCollector)
    : IUnattendedApplication(arguments, params),
      _scheduler(std::move(scheduler)),
      _qtPlatform(std::move(qtPlatform)),
      _metricsCollector(std::move(metricsCollector)),
      _environment(std::move(environment)),
      _serviceController(serviceController) {
    _queue = _scheduler->getTaskQueue("UnattendedApplication");

    const std::string hostId = _params.getValue("HostId", std::string());
    if (!_params.hasValue("Salt")) {
        _params.setValue("Salt", common::util::generateNanoId(16, kIdAlphabet));
    }
    const std::string salt = _params.getValue("Salt", std::string());
    _safeStore = common::ISafeStore::create(_params, bytesOf(hostId), bytesOf(salt));

    // The foundation network library has no thread of its own here: this task drives it.
    _queue->push(
        [this](bool& reschedule, unsigned long) {
            if (_environment) {
                _environment->PollEventLoop();
            }
            reschedule = _stopReason == StopReason::None && !_sessionLost;
        },
        std::chrono::milliseconds(0), common::ITaskQueue::Normal);

    _logger = common::ILogger::create("Unattended");
    logStart();

    boost::system::error_code error;
    const auto stateFile = boost::filesystem::current_path(error) / "unattended.json";
    common::setupCrashHandler(_params, "Unattended", {{"unattended.json", stateFile.string()}});
}

void UnattendedApplication::logStart() {
    _logger->taggedLogEntry("checkpoint", common::ILogger::Info, "%s", kDaemonVersion);
    if (_metricsCollector) {
        _metricsCollector->addRecord(common::metrics::Record{
            common::metrics::Tag::Health::UnattendedStarting,
            {{"version", std::string(kDaemonVersion)}}});
    }
    _logger->taggedLogEntry("checkpoint", common::ILogger::Info,
                            "unattended starting (%s) =========================================",
                            kDaemonVersion);
    platform::SystemInformation system;
    _logger->taggedLogEntry("checkpoint", common::ILogger::Info, "OS Name: %s",
                            common::util::toString(system.GetOSName()).c_str());
    _logger->taggedLogEntry("checkpoint", common::ILogger::Info, "OS version: %s",
                            common::util::toString(system.GetOSVersion()).c_str());
    _logger->info("language: '%s'", _params.getValue("Lang", std::string()).c_str());
    _logger->info("installation id: '%s'", _params.getValue("InstallationId", "").c_str());
    _logger->info("instance id: '%s'", _params.getValue("InstanceId", "").c_str());
    std::string appdata;
    try {
        appdata = common::util::getUserWritePath().string();
    } catch (const std::exception& e) {
        appdata = std::string("(unavailable: ") + e.what() + ")";
    }
    _logger->info("appdata folder: '%s'", appdata.c_str());
    _logger->info("command line args:");
    _logger->info("ServiceName: %s",
                  common::util::toString(_serviceController.GetServiceName()).c_str());
    // Secret values show as "***"; the arguments are plain text, not formats.
    const auto shown = common::SecretParams::maskCommandLine(_arguments);
    for (size_t i = 1; i < shown.size(); ++i) {
        _logger->logEntry(common::ILogger::Info,
                          "param " + std::to_string(i) + " = " + shown[i]);
    }
}

UnattendedApplication::~UnattendedApplication() {
    quit();
    while (_queue && _queue->hasTask()) {
        _queue->flush([this] { return _queue->hasTask(); }, true);
    }
    _foundationLog.reset();
    _sessionController.reset();
    _uiController.reset();
    _processManager.reset();
    _ipcController.reset();
    _safeStore.reset();
    _queue.reset();
}

bool UnattendedApplication::init() {
    // 1: the foundation library's records go to the logger.
    _foundationLog = std::make_shared<common::LogWrapperForFoundation>(
        common::ILogger::create("Foundation"), _logger->getLevel());
    _foundationLog->init();

    // 2: the IPC endpoint.
    _ipcController = interprocess::IIpcController::create(
        helper::ToString(helper::ApplicationType::Service),
        _params.getValue("InstanceId", std::string()), *_scheduler,
        common::ILogger::create("IpcController"));
    if (!_ipcController->start()) {
        _logger->error("unable to start ipc server");
        return false;
    }

    // 3: the helper tool's agent and the UI agent's supervision.
    _processManager = interprocess::IProcessManager::create(*_ipcController, _params, *_scheduler);
    if (_processManager->installHelperTool() == interprocess::IProcessManager::AlreadyRunning) {
        _processManager->reinstallHelperTool(_params.getValueAs<bool>("Service", false));
    }
    if (!_processManager->start({{helper::ApplicationType::UnattendedUi,
                                  interprocess::IProcessManager::InSession,
                                  interprocess::IProcessManager::UserType(0)}})) {
        _logger->error("unable to start process manager");
        return false;
    }

    // 4-6: the applet and update controllers with their downloaders.
    auto appletCache = IAppletCache::create(common::IDownloader::create(
        _environment, *_qtPlatform, _params, _scheduler->getTaskQueue("AppletDownloader"),
        common::ILogger::create("Downloader")));
    auto appletController = IAppletController::create(
        _scheduler->getTaskQueue("AppletController"), std::move(appletCache), *_ipcController,
        _params, common::ILogger::create("AppletController"));
    auto updateController = IUpdateController::create(
        _scheduler->getTaskQueue("UpdateController"),
        common::IDownloader::create(_environment, *_qtPlatform, _params,
                                    _scheduler->getTaskQueue("UpdateDownloader"),
                                    common::ILogger::create("Downloader")),
        common::ILogger::create("UpdateController"));

    // 7: the backend connection, on the Qt path with the foundation connection as backup, or
    // on the foundation connection alone.
    std::unique_ptr<common::IConnectionController> connectionController;
    auto backup = std::make_unique<common::Connection>(
        _environment, *_scheduler, *_safeStore, common::ILogger::create("WebscoketConnection"));
    if (_params.getValueAs<bool>("UseLegacyNetworking", false)) {
        connectionController = std::make_unique<common::ConnectionController>(
            _scheduler->getTaskQueue("ConnectionController"), _params, std::move(backup),
            common::ILogger::create("ConnectionController"));
    } else {
        auto primary = std::make_unique<common::WebSocketConnection>(
            _environment, *_scheduler, *_qtPlatform, common::ILogger::create("WebSocketConnection"));
        connectionController = std::make_unique<common::ConnectionController>(
            _scheduler->getTaskQueue("ConnectionController"), _params, std::move(primary),
            std::move(backup), common::ILogger::create("ConnectionController"));
    }

    // 8: device facts.
    auto systemInformation = std::make_unique<platform::SystemInformation>();
    auto addressInfo = std::make_unique<common::AddressInfo>();

    // 9: the UI agent's controller.
    _uiController = IUserInterfaceController::create(_params, *_safeStore, *_ipcController,
                                                     *_processManager,
                                                     _scheduler->getTaskQueue("UiLauncher"),
                                                     common::ILogger::create("UiLauncher"));

    // 10-11: the backend's address and the REST client.
    const std::string baseUrl = _params.getValue("BaseUrl", std::string());
    if (baseUrl.empty()) {
        _logger->warning("An optional parameter is empty: %s", "BaseUrl");
    }
    _params.setValue("BaseUrl", baseUrl);
    auto endpointCalls = std::make_unique<BackendEndpointCalls>(
        baseUrl, _environment, *_qtPlatform, _params, *_ipcController,
        common::ILogger::create("BackendEndpointCalls"));

    // 12: the session controller takes over the controllers made above.
    _sessionController = std::make_unique<SessionController>(
        _scheduler->getTaskQueue("SessionController"), std::move(connectionController),
        std::move(appletController), std::move(updateController), std::move(endpointCalls),
        std::move(systemInformation), std::move(addressInfo), *_ipcController, *_processManager,
        _params, common::ILogger::create("SessionController"), SessionController::Clock(),
        [] { return QtUtils::getTimeZone(); });
    _sessionController->setDelegate(this);

    // 13: update checks.
    if (!_params.getValueAs<bool>("NoUpdate", false)) {
        _sessionController->startUnattendedUpdateChecking();
        _sessionController->startAppletUpdateChecking();
    }

    // 14: the session.
    const std::string websiteUrl = _params.getValue("WebsiteUrl", std::string());
    if (websiteUrl.empty()) {
        _logger->error("A required parameter is empty: %s", "WebsiteUrl");
        return false;
    }
    _params.setValue("WebsiteUrl", websiteUrl);
    _sessionController->startSession(websiteUrl);
    return true;
}

void UnattendedApplication::quit() {
    _logger->info("UnattendedApplication::quit()");
    quitWithReason(StopReason::Normal);
}

void UnattendedApplication::quitWithReason(StopReason reason) {
    if (_stopReason != StopReason::None || _sessionLost) {
        return;
    }
    if (reason == StopReason::None) {
        _sessionLost = true;
    } else {
        _stopReason = reason;
    }
    _queue->finish([this](bool&, unsigned long) { quitSequence(); }, false);
}

void UnattendedApplication::quitSequence() {
    _logger->info("Application quitting (%s)", ISessionControllerDelegate::toString(_stopReason));
    _uiController.reset();
    if (_processManager) {
        _processManager->uninstallHelperTool();
        _processManager->stop();
    }
    if (_ipcController) {
        _ipcController->stop();
    }
    _logger->info("Over and out.");
    common::Logger::stop();
    if (_metricsCollector) {
        _metricsCollector->flush();
    }
    if (_sessionController) {
        _sessionController->setDelegate(nullptr);
    }
    _sessionController.reset();
    _environment.reset();
    if (_stopReason == StopReason::UninstallRequest) {
        _safeStore->clear();
        _serviceController.unregisterService();
        _serviceController.cleanUpApplicationFiles();
    }
    _scheduler->quit();
}

int UnattendedApplication::getResult() const {
    return (_stopReason == StopReason::UpdateRequest || _sessionLost) ? 1 : 0;
}

std::wstring UnattendedApplication::onSessionControllerGetServiceName() {
    return _serviceController.GetServiceName();
}

void UnattendedApplication::onSessionControllerDone(StopReason reason) {
    _queue->push([this, reason](bool&, unsigned long) { quitWithReason(reason); },
                 std::chrono::milliseconds(0), common::ITaskQueue::Normal);
}

void UnattendedApplication::sendError(const std::string& text) const {
    if (!_sessionController) {
        return;
    }
    _sessionController->onFatalErrorOccured(
        "EventBlockSenderFailed in UnattendedApplication. Error: " + text +
        " InstallationId: " + _params.getValue("InstallationId", std::string()));
}

}  // namespace unattended
}  // namespace corvalis
