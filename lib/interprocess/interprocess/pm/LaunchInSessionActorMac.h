#pragma once

#include "interprocess/pm/AbstractLaunchInSessionActor.h"

namespace interprocess {

// Starts and stops the program through the helper tool's agent of the session's user.
class LaunchInSessionActorMac : public AbstractLaunchInSessionActor {
public:
    using AbstractLaunchInSessionActor::AbstractLaunchInSessionActor;
    // Asks the program to quit first, unless the session is 0.
    ~LaunchInSessionActorMac() override;

protected:
    bool launchProcessAt(const helper::ApplicationType& application, const unsigned long& sessionId,
                         unsigned long& actualSessionId) override;
    bool killProcessAt(const helper::ApplicationType& application,
                       const unsigned long& sessionId) override;
};

}  // namespace interprocess
