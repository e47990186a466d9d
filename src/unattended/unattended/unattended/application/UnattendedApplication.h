#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/eventsender/IEventBlockSenderErrorHandler.h"
#include "unattended/application/IUnattendedApplication.h"

namespace common {
class ILogger;
class ISafeStore;
class ITaskQueue;
class LogWrapperForFoundation;
}  // namespace common
namespace interprocess {
class IIpcController;
class IProcessManager;
}  // namespace interprocess

namespace corvalis {
namespace unattended {

class ISessionController;
class IUserInterfaceController;

class UnattendedApplication : public IUnattendedApplication,
                              public ISessionControllerDelegate,
                              public common::IEventBlockSenderErrorHandler {
public:
    using StopReason = IUnattendedApplication::StopReason;

    UnattendedApplication(const std::vector<std::string>& arguments,
                          std::shared_ptr<common::ITaskScheduler> scheduler,
                          common::IParams& params,
                          service::IAbstractServiceApplicationController& serviceController,
                          std::unique_ptr<IQtPlatform> qtPlatform,
                          std::shared_ptr<extension::EventLoopEnvironment> environment,
                          std::shared_ptr<common::metrics::IMetricsCollector> metricsCollector);
    ~UnattendedApplication() override;

    bool init() override;
    void quit() override;
    void quitWithReason(StopReason reason) override;
    int getResult() const override;

    std::wstring onSessionControllerGetServiceName() override;
    void onSessionControllerDone(StopReason reason) override;

    void sendError(const std::string& text) const override;

private:
    void quitSequence();
    void logStart();

    std::unique_ptr<common::ILogger> _logger;
    std::shared_ptr<common::ITaskScheduler> _scheduler;
    std::unique_ptr<common::ITaskQueue> _queue;
    std::unique_ptr<common::ISafeStore> _safeStore;
    std::unique_ptr<interprocess::IIpcController> _ipcController;
    std::unique_ptr<interprocess::IProcessManager> _processManager;
    std::unique_ptr<IUserInterfaceController> _uiController;
    std::unique_ptr<ISessionController> _sessionController;
    std::unique_ptr<IQtPlatform> _qtPlatform;
    std::shared_ptr<common::metrics::IMetricsCollector> _metricsCollector;
    std::shared_ptr<extension::EventLoopEnvironment> _environment;
    std::shared_ptr<common::LogWrapperForFoundation> _foundationLog;
    StopReason _stopReason = StopReason::None;
    // The session ended without a stop reason: the daemon exits non-zero to be restarted.
    bool _sessionLost = false;
    service::IAbstractServiceApplicationController& _serviceController;
};

}  // namespace unattended
}  // namespace corvalis
