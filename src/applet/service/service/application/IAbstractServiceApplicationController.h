#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace common {
class IParams;
class ITaskScheduler;
}  // namespace common

namespace corvalis {
namespace service {

// The installer's command-line flags of the daemon and its launchd job: `regsvc` writes and
// loads the job, `delsvc` removes it, a normal run only logs its start. The uninstall sequence
// uses it to remove the job and the installation folder.
class IAbstractServiceApplicationController {
public:
    enum class ServiceType : int32_t { Attended = 0, Unattended = 1 };

    virtual ~IAbstractServiceApplicationController() = default;

    static std::unique_ptr<IAbstractServiceApplicationController> create(
        common::ITaskScheduler& scheduler, common::IParams& params, ServiceType type, bool idFlag);

    // Logs the start; handles `regsvc` or `delsvc` and answers 0, else 3 (run the application).
    // The exit code is left as it is.
    virtual int processInput(const std::vector<std::string>& arguments, int& exitCode) = 0;
    virtual std::wstring GetServiceName() const = 0;
    // The installation id, which names the launchd jobs.
    virtual std::string GetUId() const = 0;
    virtual bool registerService(bool startedByInstaller) = 0;
    virtual void unregisterService() = 0;
    // Removes the folder that holds the application bundle, unless `NoDel` is set.
    virtual void cleanUpApplicationFiles() = 0;
};

}  // namespace service
}  // namespace corvalis
