#pragma once

#include <map>
#include <memory>
#include <string>

#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/controller/IIpcControllerClient.h"
#include "interprocess/pm/ILaunchActor.h"
#include "interprocess/pm/ILaunchActorDelegate.h"
#include "interprocess/pm/IProcessManager.h"

namespace interprocess {

class ProcessManager : public IProcessManager,
                       public IIpcControllerClient,
                       public ILaunchActorDelegate {
public:
    static constexpr std::chrono::milliseconds kSessionWatchInterval{1000};
    static constexpr const char* kHelperIdAlphabet =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

    ProcessManager(IIpcController& controller, common::IParams& params,
                   common::ITaskScheduler& scheduler);
    ~ProcessManager() override;

    bool start(const StartList& applications) override;
    int installHelperTool() override;
    bool uninstallHelperTool() const override;
    int reinstallHelperTool(bool service) override;
    bool stop() override;

    void onIpcClientConnected(const std::string& address) override;
    void onIpcClientDisconnected(const std::string& address) override;

    void onLaunchActorTerminated(const ILaunchActor& actor) const override;
    void onLaunchActorStarting(const ILaunchActor& actor) const override;
    void onLaunchActorRunning(const ILaunchActor& actor) const override;

private:
    void watchSession();
    // Every actor, in ascending order of kind, whose kind's name begins the address.
    template <typename Action>
    void forActorsOf(const std::string& address, Action action);

    std::unique_ptr<common::ILogger> _logger;
    IIpcController& _controller;
    common::IParams& _params;
    common::ITaskScheduler& _scheduler;
    std::unique_ptr<common::ITaskQueue> _queue;
    std::map<helper::ApplicationType, std::unique_ptr<ILaunchActor>> _actors;
    unsigned long _sessionId = static_cast<unsigned long>(-1);
};

}  // namespace interprocess
