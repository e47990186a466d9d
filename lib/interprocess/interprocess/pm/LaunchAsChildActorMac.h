#pragma once

#include "interprocess/pm/AbstractLaunchAsChildActor.h"

namespace interprocess {

// The as-child actor of this platform: it starts nothing (`launchApplication` answers 0), so it
// stays in Init and logs "unable to launch application" at every Tick. The daemon creates none.
class LaunchAsChildActorMac : public AbstractLaunchAsChildActor {
public:
    using AbstractLaunchAsChildActor::AbstractLaunchAsChildActor;
    ~LaunchAsChildActorMac() override;

protected:
    int launchApplication(const helper::ApplicationType& application) override;
    void killApplication(const int& processId) override;
    bool isRunning(const int& processId) override;
};

}  // namespace interprocess
