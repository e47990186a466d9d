#pragma once

#include <list>
#include <memory>
#include <tuple>

#include "common/actor/Stoppable.h"
#include "common/delegate/Observable.h"
#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "helper/apptype/ApplicationType.h"
#include "interprocess/pm/IProcessManagerClient.h"

namespace interprocess {

class IIpcController;

// Keeps the daemon's companion programs running (one launch actor per kind, ticked once a
// second with the console user's uid) and installs, removes and reinstalls the helper tool's
// per-user launch agent.
class IProcessManager : public common::Observable<IProcessManagerClient>, public common::Stoppable {
public:
    // How a program is started: as a child of the daemon, or in the console user's session
    // through the helper tool. Other values start nothing.
    enum RunAs : int {
        AsChild = 1,
        InSession = 2,
    };
    // Handed on as "is 2" to the in-session actor, which does not use it.
    enum UserType : int {};

    using StartList = std::list<std::tuple<helper::ApplicationType, RunAs, UserType>>;

    // Results of installHelperTool and reinstallHelperTool. (A failed uninstall of an old
    // agent no longer stops the install, so 4, "uninstall failed", is not answered.)
    enum InstallResult : int {
        Installed = 0,
        InstallFailed = 1,
        AlreadyRunning = 2,
    };

    ~IProcessManager() override = default;

    virtual bool start(const StartList& applications) = 0;
    virtual int installHelperTool() = 0;
    virtual bool uninstallHelperTool() const = 0;
    virtual int reinstallHelperTool(bool service) = 0;

    static std::unique_ptr<IProcessManager> create(IIpcController& controller,
                                                   common::IParams& params,
                                                   common::ITaskScheduler& scheduler);
};

}  // namespace interprocess
