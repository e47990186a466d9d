#pragma once

#include <boost/filesystem/path.hpp>
#include <chrono>
#include <string>
#include <vector>

#include "common/params/IParams.h"
#include "helper/apptype/ApplicationType.h"

namespace helper {

// The daemon's side of the helper tool: installing and removing its per-user launch agent by
// running the helper tool from the daemon's own folder, the launch and kill requests to the
// agent of a user, and the console-user query. Nothing here keeps state between calls.
class HelperClient {
public:
    static constexpr const char* kHelperToolName = "OrvantaRemoteSupportHelper";
    // The uid answered when nobody is at the console: (uid_t)-1, which names no user, so the
    // process manager sees a change of user when somebody logs in.
    static constexpr unsigned int kNoConsoleUser = static_cast<unsigned int>(-1);

    // Runs "<folder>/OrvantaRemoteSupportHelper -install -HelperId <id> -starterpid <pid>
    // -InstallationId <v> -HostId <v> -InstanceId <v> -MonitoringUrl <v> -MonitoringToken <v>"
    // and waits for it; true when it exited with 0.
    static bool installHelperService(const std::string& helperId, common::IParams& params);
    // Runs "<folder>/OrvantaRemoteSupportHelper -uninstall -HelperId <id> -InstallationId <v>
    // -HostId <v>" and waits for it; true when it exited with 0. The flag is not used here.
    static bool uninstallHelperService(const std::string& helperId,
                                       const std::string& installationId, const std::string& hostId,
                                       bool service);

    // Queues a launch request for `application` with the arguments to the agent of the user
    // `sessionId`; the program starts in that user's session, which is what `actualSessionId`
    // receives. The two flags are not used here. True when the request was queued.
    static bool sendRequestLaunchApplication(const std::string& helperId,
                                             const unsigned long& sessionId,
                                             const ApplicationType& application,
                                             const std::vector<std::wstring>& arguments,
                                             const bool& flag, bool otherFlag,
                                             unsigned long& actualSessionId);
    // Queues a kill request for `application` to the agent of the user `sessionId`.
    static bool sendRequestKillApplication(const std::string& helperId,
                                           const unsigned long& sessionId,
                                           const ApplicationType& application);

    // Always true: the agent of every user counts as running.
    static bool isProcessRunnig(const ApplicationType& application);

    // The uid of the user at the console, kNoConsoleUser when there is none.
    static unsigned int GetActiveUserId();

    // The helper tool beside the running executable.
    static boost::filesystem::path getHelperToolPath();
    // The argument vectors of the two commands (after the program path). Every value is one
    // argument as it is, an empty value included; nothing is quoted or split.
    static std::vector<std::string> getInstallArguments(const std::string& helperId,
                                                        const common::IParams& params);
    static std::vector<std::string> getUninstallArguments(const std::string& helperId,
                                                          const std::string& installationId,
                                                          const std::string& hostId);

    // How long a helper command may run before it is killed and counts as failed.
    static void setCommandTimeLimit(std::chrono::milliseconds limit);

private:
    static bool runHelperTool(const std::vector<std::string>& arguments);
};

}  // namespace helper
