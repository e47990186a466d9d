#pragma once

#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "common/params/IParams.h"
#include "helper/apptype/ApplicationType.h"
#include "interprocess/pm/ILaunchActor.h"

namespace interprocess {

// What both kinds of launch actor share: the kind of program, the process manager's logger,
// the daemon's parameters, and the command line the started program receives.
class AbstractLaunchActor : public ILaunchActor {
public:
    AbstractLaunchActor(const helper::ApplicationType& application, common::ILogger& logger,
                        common::IParams& params);
    ~AbstractLaunchActor() override;

    void killProcessIfExists() override {}
    helper::ApplicationType getApplication() const override { return _application; }

    // The started program's command line as "-Name value" pairs, in ascending byte order of
    // the names: ProcessAddress ("<kind>-<session id>") and Lang always; DrawMouseCursor and
    // MinimumFrameTime (default "30") always for programs other than the UI agent; the
    // installation, host, instance, monitoring, log level, offline, monitor and (not for the
    // UI agent) session settings when the parameters hold them.
    std::vector<std::wstring> getApplicationParams(
        const unsigned long& sessionId, const helper::ApplicationType& application) const;

protected:
    const char* applicationName() const { return helper::ToString(_application); }

    helper::ApplicationType _application;
    common::ILogger& _logger;
    common::IParams& _params;
};

}  // namespace interprocess
