#pragma once

#include <string>

#include "helper/apptype/ApplicationType.h"

namespace interprocess {

// An observer of the process manager.
class IProcessManagerClient {
public:
    virtual ~IProcessManagerClient() = default;

    // The program of that kind connected under the address.
    virtual void onProcessManagerApplicationRunning(const helper::ApplicationType& application,
                                                    const std::string& address) const = 0;
    // The program of that kind ended or did not connect in time.
    virtual void onProcessManagerApplicationTerminated(
        const helper::ApplicationType& /*application*/) const {}
};

}  // namespace interprocess
