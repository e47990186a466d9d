#pragma once

#include <boost/filesystem/path.hpp>

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

#include "common/launchctl/ILaunchCtl.h"
#include "service/application/AbstractServiceApplicationController.h"

namespace corvalis {
namespace service {

class ServiceApplicationController : public AbstractServiceApplicationController {
public:
    // What the controller takes from its surroundings; the defaults are the real ones.
    struct Environment {
        std::function<std::unique_ptr<common::ILaunchCtl>(const std::string&)> launchCtl;
        // Where the `regsvc` answer line goes.
        std::ostream* output = nullptr;
        // The running executable (its folder or bundle decides what an uninstall removes).
        boost::filesystem::path executable;
        // Where a failed folder removal is reported (the system log).
        std::function<void(const std::string&)> systemLog;
    };

    ServiceApplicationController(common::ITaskScheduler& scheduler, common::IParams& params,
                                 ServiceType type, bool idFlag);
    ServiceApplicationController(common::ITaskScheduler& scheduler, common::IParams& params,
                                 ServiceType type, bool idFlag, Environment environment);

    int processInput(const std::vector<std::string>& arguments, int& exitCode) override;
    bool registerService(bool startedByInstaller) override;
    void unregisterService() override;
    void cleanUpApplicationFiles() override;

private:
    bool RegisterDeamon(bool startedByInstaller);
    void UnregisterApplications();
    void printAnswer(int code);
    common::ILogger& logger();

    Environment _environment;
};

}  // namespace service
}  // namespace corvalis
