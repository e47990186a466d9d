#pragma once

#include <memory>
#include <string>

#include "common/actor/Actor.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "interprocess/pm/AbstractLaunchActor.h"

namespace interprocess {

// The launch actor for a program started as a child of the daemon. States: Init (launch at the
// next Tick), Starting (wait for the connection while the process runs, at most ten Ticks) and
// Running (until the program disconnects).
class AbstractLaunchAsChildActor : public AbstractLaunchActor {
public:
    struct Connected {};
    struct Disconnected {};
    struct Tick {
        unsigned long sessionId = 0;
    };

    static constexpr long kConnectTicks = 10;

    AbstractLaunchAsChildActor(const helper::ApplicationType& application,
                               std::unique_ptr<common::ITaskQueue>&& queue, common::ILogger& logger,
                               common::IParams& params);
    ~AbstractLaunchAsChildActor() override;

    void dispatchConnected() override;
    void dispatchDisconnected() override;
    void dispatchTick(unsigned long sessionId) override;
    // The kind's name alone.
    std::string getAddress() const override;
    // All bits set: the program runs in no particular session.
    unsigned long getSessionId() const override { return static_cast<unsigned long>(-1); }

protected:
    // The process id of the started program, 0 when it could not be started.
    virtual int launchApplication(const helper::ApplicationType& application) = 0;
    virtual void killApplication(const int& processId) = 0;
    virtual bool isRunning(const int& processId) = 0;

    int _processId = 0;

private:
    using Self = AbstractLaunchAsChildActor;

    void init(common::Actor<Self>& actor, bool terminated);
    void starting(common::Actor<Self>& actor);
    void running(common::Actor<Self>& actor);

    long _tickCounter = 0;
    common::Actor<Self> _actor;
};

}  // namespace interprocess
