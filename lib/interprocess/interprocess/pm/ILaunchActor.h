#pragma once

#include <memory>
#include <string>

#include "common/delegate/Delegate.h"
#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "helper/apptype/ApplicationType.h"
#include "interprocess/pm/ILaunchActorDelegate.h"

namespace interprocess {

// Keeps one companion program running: asks for it to be started, waits for it to connect to
// the daemon's IPC controller, and starts it again when it disconnects or does not connect in
// time. The process manager ticks it once a second with the console user's uid.
class ILaunchActor : public common::Delegate<ILaunchActorDelegate> {
public:
    ~ILaunchActor() override = default;

    // The program connected; handled later as a task of the actor's queue.
    virtual void dispatchConnected() = 0;
    // The program disconnected; handled later as a task of the actor's queue.
    virtual void dispatchDisconnected() = 0;
    // The periodic tick with the console user's uid; handled later as a task.
    virtual void dispatchTick(unsigned long sessionId) = 0;
    // Asks at once for a copy of the program that may still run to quit.
    virtual void killProcessIfExists() = 0;
    // The participant name under which the program connects.
    virtual std::string getAddress() const = 0;
    virtual unsigned long getSessionId() const = 0;
    virtual helper::ApplicationType getApplication() const = 0;

    // An actor that starts the program in the session of the user at the console through the
    // helper tool's agent of that user. The flag is not used.
    static std::unique_ptr<ILaunchActor> createLaunchInSessionActor(
        const std::string& helperId, const helper::ApplicationType& application,
        std::unique_ptr<common::ITaskQueue>&& queue, common::ILogger& logger,
        common::IParams& params, bool flag, unsigned long sessionId);

    // An actor that would start the program as a child of the daemon; it starts nothing here.
    static std::unique_ptr<ILaunchActor> createLaunchAsChildActor(
        const helper::ApplicationType& application, std::unique_ptr<common::ITaskQueue>&& queue,
        common::ILogger& logger, common::IParams& params);
};

}  // namespace interprocess
