#pragma once

#include <memory>

namespace common {
class IParams;
class ISafeStore;
class ITaskQueue;
class ILogger;
}  // namespace common
namespace interprocess {
class IIpcController;
class IProcessManager;
}  // namespace interprocess

namespace corvalis {
namespace unattended {

// The daemon's side of the UI agent outside the backend session: autologon credentials, and
// hiding and quitting the UI agent when the controller is destroyed.
class IUserInterfaceController {
public:
    virtual ~IUserInterfaceController() = default;

    static std::unique_ptr<IUserInterfaceController> create(
        common::IParams& params, common::ISafeStore& safeStore,
        interprocess::IIpcController& ipcController, interprocess::IProcessManager& processManager,
        std::unique_ptr<common::ITaskQueue> taskQueue, std::unique_ptr<common::ILogger> logger);
};

}  // namespace unattended
}  // namespace corvalis
