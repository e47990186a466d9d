#include "interprocess/pm/ProcessManager.h"

#include "common/events/IEventBus.h"
#include "common/util/Util.h"
#include "helper/client/HelperClient.h"
#include "interprocess/pm/LogonSessionChangeEvent.h"

namespace interprocess {

constexpr std::chrono::milliseconds ProcessManager::kSessionWatchInterval;
constexpr const char* ProcessManager::kHelperIdAlphabet;

namespace {

bool beginsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::unique_ptr<IProcessManager> IProcessManager::create(IIpcController& controller,
                                                         common::IParams& params,
                                                         common::ITaskScheduler& scheduler) {
    return std::make_unique<ProcessManager>(controller, params, scheduler);
}

ProcessManager::ProcessManager(IIpcController& controller, common::IParams& params,
                               common::ITaskScheduler& scheduler)
    : _logger(common::ILogger::create("ProcessManager")),
      _controller(controller),
      _params(params),
      _scheduler(scheduler),
      _queue(scheduler.getTaskQueue("ProcessManager")) {
    _controller.subscribe(this);
}

ProcessManager::~ProcessManager() {
    stop();
}

bool ProcessManager::start(const StartList& applications) {
    _sessionId = helper::HelperClient::GetActiveUserId();
    _logger->debug("Starting sessionId: %lu", _sessionId);

    const std::string helperId = _params.getValue("HelperId", std::string());
    for (const auto& entry : applications) {
        const helper::ApplicationType application = std::get<0>(entry);
        const RunAs runAs = std::get<1>(entry);
        const UserType userType = std::get<2>(entry);
        if (_actors.count(application) != 0) {
            _logger->error("'%s' already registered - Unable to create actors",
                           helper::ToString(application));
            return false;
        }
        std::unique_ptr<ILaunchActor> actor;
        if (runAs == AsChild) {
            actor = ILaunchActor::createLaunchAsChildActor(
                application, _scheduler.getTaskQueue("LaunchAsChildActor"), *_logger, _params);
        } else if (runAs == InSession) {
            actor = ILaunchActor::createLaunchInSessionActor(
                helperId, application, _scheduler.getTaskQueue("LaunchInSessionActor"), *_logger,
                _params, static_cast<int>(userType) == 2, _sessionId);
        } else {
            continue;
        }
        actor->setDelegate(this);
        _actors.emplace(application, std::move(actor));
    }

    _queue->push(
        [this](bool& reschedule, unsigned long) {
            reschedule = true;
            watchSession();
        },
        kSessionWatchInterval, common::ITaskQueue::Normal);
    _logger->info("Process manager running");
    return true;
}

void ProcessManager::watchSession() {
    const unsigned long sessionId = helper::HelperClient::GetActiveUserId();
    if (sessionId == _sessionId) {
        for (auto& actor : _actors) {
            actor.second->dispatchTick(sessionId);
        }
        return;
    }
    _logger->debug("Active session id changed. Restart application to session '%lu' (old: '%lu')",
                   sessionId, _sessionId);
    common::events::IEventBus::instance().post(
        std::make_shared<common::events::LogonSessionChangeEvent>(0, 5));
    _sessionId = sessionId;
}

template <typename Action>
void ProcessManager::forActorsOf(const std::string& address, Action action) {
    for (auto& actor : _actors) {
        if (beginsWith(address, helper::ToString(actor.first))) {
            action(*actor.second);
        }
    }
}

void ProcessManager::onIpcClientConnected(const std::string& address) {
    _logger->debug("Ipc client connected: '%s'", address.c_str());
    _queue->push(
        [this, address](bool&, unsigned long) {
            forActorsOf(address, [](ILaunchActor& actor) { actor.dispatchConnected(); });
        },
        std::chrono::milliseconds(0), common::ITaskQueue::Normal);
}

void ProcessManager::onIpcClientDisconnected(const std::string& address) {
    _logger->debug("Ipc client disconnected: '%s'", address.c_str());
    _queue->push(
        [this, address](bool&, unsigned long) {
            forActorsOf(address, [](ILaunchActor& actor) {
                actor.dispatchDisconnected();
                actor.killProcessIfExists();
            });
        },
        std::chrono::milliseconds(0), common::ITaskQueue::Normal);
}

// The reports come from actors this manager owns; notifying observers changes no state of the
// manager itself.
void ProcessManager::onLaunchActorTerminated(const ILaunchActor& actor) const {
    const helper::ApplicationType application = actor.getApplication();
    const_cast<ProcessManager*>(this)->notifyClients(
        &IProcessManagerClient::onProcessManagerApplicationTerminated, application);
}

void ProcessManager::onLaunchActorStarting(const ILaunchActor& /*actor*/) const {}

void ProcessManager::onLaunchActorRunning(const ILaunchActor& actor) const {
    const helper::ApplicationType application = actor.getApplication();
    const std::string address = actor.getAddress();
    const_cast<ProcessManager*>(this)->notifyClients(
        &IProcessManagerClient::onProcessManagerApplicationRunning, application, address);
}

int ProcessManager::installHelperTool() {
    _logger->debug("Install helper tool");
    std::string helperId = _params.getValue("HelperId", std::string());
    if (!helperId.empty()) {
        _logger->info("Helper id already exists: '%s'", helperId.c_str());
        if (helper::HelperClient::isProcessRunnig(helper::ApplicationType::ProcessChecker)) {
            _logger->info("Helper process already running. id: '%s'", helperId.c_str());
            return AlreadyRunning;
        }
    } else {
        if (helper::HelperClient::isProcessRunnig(helper::ApplicationType::ProcessChecker)) {
            _logger->debug("Running processchecker found, uninstall it.");
            // A helper tool that cannot be uninstalled must not keep the new one from being
            // installed: the old agents quit by themselves once their daemon is gone.
            if (!uninstallHelperTool()) {
                _logger->warning("Cannot uninstall running process checker");
            }
        }
        helperId = common::util::generateNanoId(10, kHelperIdAlphabet);
        _params.setValue("HelperId", helperId);
        _logger->info("Helper id generated: '%s'", helperId.c_str());
    }
    if (helper::HelperClient::installHelperService(helperId, _params)) {
        _logger->info("Helper id: '%s'", helperId.c_str());
        return Installed;
    }
    _logger->error("Unable to install helper tool");
    return InstallFailed;
}

bool ProcessManager::uninstallHelperTool() const {
    const std::string helperId = _params.getValue("HelperId", std::string());
    const std::string installationId = _params.getValue("InstallationId", std::string());
    const std::string hostId = _params.getValue("HostId", std::string());
    const bool service = _params.getValueAs<bool>("Service", false);
    const bool uninstalled =
        helper::HelperClient::uninstallHelperService(helperId, installationId, hostId, service);
    if (uninstalled) {
        _params.removeValue("HelperId");
    } else {
        _logger->error("Unable to uninstall previously installed helper tool");
    }
    return uninstalled;
}

int ProcessManager::reinstallHelperTool(bool service) {
    const std::string helperId = _params.getValue("HelperId", std::string());
    if (!helperId.empty()) {
        _logger->info("Uninstall helper tool");
        if (!uninstallHelperTool()) {
            // The old id would make the install below answer "already running" and install
            // nothing; the old agent quits by itself once its daemon is gone.
            _params.removeValue("HelperId");
        }
    } else {
        _logger->error("Helper Id not exists.");
    }
    if (service) {
        _params.setValueAs<bool>("Service", true);
    }
    return installHelperTool();
}

bool ProcessManager::stop() {
    if (isStopped()) {
        return false;
    }
    _controller.unsubscribe(this);
    _queue->finish([this](bool&, unsigned long) {
        _logger->info("Process manager quitting..");
        // An in-session actor asks its program to quit when it is destroyed.
        _actors.clear();
        _logger->info("Process manager done");
    });
    return markStopped();
}

}  // namespace interprocess
