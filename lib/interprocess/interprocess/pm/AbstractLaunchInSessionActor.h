#pragma once

#include <memory>
#include <string>

#include "common/actor/Actor.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "interprocess/pm/AbstractLaunchActor.h"

namespace interprocess {

// The launch actor for a program in the console user's session. States:
// - Init: asks a copy left running to quit, reports the end of the previous run, and launches
//   at the next Tick in the session of the Tick's user (staying in Init while the request cannot
//   be queued);
// - Starting: waits for the program to connect; at the tenth Tick without it asks the program
//   to quit and goes back to Init;
// - Running: until the program disconnects, when it asks it to quit and goes back to Init.
class AbstractLaunchInSessionActor : public AbstractLaunchActor {
public:
    struct Connected {};
    struct Disconnected {};
    struct Tick {
        unsigned long sessionId = 0;
    };

    // Ticks without a connection after which a started program counts as failed.
    static constexpr long kConnectTicks = 10;

    AbstractLaunchInSessionActor(const std::string& helperId,
                                 const helper::ApplicationType& application,
                                 std::unique_ptr<common::ITaskQueue>&& queue,
                                 common::ILogger& logger, common::IParams& params,
                                 unsigned long sessionId);
    ~AbstractLaunchInSessionActor() override;

    void dispatchConnected() override;
    void dispatchDisconnected() override;
    void dispatchTick(unsigned long sessionId) override;
    void killProcessIfExists() override;
    // Empty while the session id is unknown (all bits set), else "<kind>-<session id>".
    std::string getAddress() const override;
    unsigned long getSessionId() const override { return _sessionId; }

protected:
    // Asks for the program to start in the session; `actualSessionId` receives the session it
    // starts in. True when the request was handed on.
    virtual bool launchProcessAt(const helper::ApplicationType& application,
                                 const unsigned long& sessionId,
                                 unsigned long& actualSessionId) = 0;
    // Asks for the program in the session to quit.
    virtual bool killProcessAt(const helper::ApplicationType& application,
                               const unsigned long& sessionId) = 0;

    const std::string& helperId() const { return _helperId; }

private:
    using Self = AbstractLaunchInSessionActor;

    void init(common::Actor<Self>& actor, bool terminated);
    void starting(common::Actor<Self>& actor);
    void running(common::Actor<Self>& actor);

    std::string _helperId;
    unsigned long _sessionId;
    // Ticks seen in Starting. Each actor counts its own, so two actors never cut each other's
    // wait short.
    long _tickCounter = 0;
    // Last member: destroyed first, so no queued state change or event outlives the fields.
    common::Actor<Self> _actor;
};

}  // namespace interprocess
