#include "interprocess/pm/LaunchInSessionActorMac.h"

#include "helper/client/HelperClient.h"

namespace interprocess {

LaunchInSessionActorMac::~LaunchInSessionActorMac() {
    if (getSessionId() != 0) {
        helper::HelperClient::sendRequestKillApplication(helperId(), getSessionId(),
                                                         getApplication());
    }
}

bool LaunchInSessionActorMac::launchProcessAt(const helper::ApplicationType& application,
                                              const unsigned long& sessionId,
                                              unsigned long& actualSessionId) {
    return helper::HelperClient::sendRequestLaunchApplication(
        helperId(), sessionId, application, getApplicationParams(sessionId, application), false,
        false, actualSessionId);
}

bool LaunchInSessionActorMac::killProcessAt(const helper::ApplicationType& application,
                                            const unsigned long& sessionId) {
    return helper::HelperClient::sendRequestKillApplication(helperId(), sessionId, application);
}

}  // namespace interprocess
