#include "interprocess/pm/LaunchAsChildActorMac.h"

namespace interprocess {

LaunchAsChildActorMac::~LaunchAsChildActorMac() {
    if (_processId != 0) {
        killApplication(_processId);
        _processId = 0;
    }
}

int LaunchAsChildActorMac::launchApplication(const helper::ApplicationType& /*application*/) {
    return 0;
}

void LaunchAsChildActorMac::killApplication(const int& /*processId*/) {
    // Nothing was started, so there is no task to terminate.
}

bool LaunchAsChildActorMac::isRunning(const int& /*processId*/) {
    return false;
}

}  // namespace interprocess
