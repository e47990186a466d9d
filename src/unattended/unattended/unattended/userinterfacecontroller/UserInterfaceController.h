#pragma once

#include <memory>
#include <string>

#include "interprocess/controller/IIpcControllerClient.h"
#include "interprocess/pm/IProcessManagerClient.h"
#include "unattended/userinterfacecontroller/IUserInterfaceController.h"

namespace corvalis {
namespace unattended {

class UserInterfaceController : public IUserInterfaceController,
                                public interprocess::IProcessManagerClient,
                                public interprocess::IIpcControllerClient {
public:
    UserInterfaceController(common::IParams& params, common::ISafeStore& safeStore,
                            interprocess::IIpcController& ipcController,
                            interprocess::IProcessManager& processManager,
                            std::unique_ptr<common::ITaskQueue> taskQueue,
                            std::unique_ptr<common::ILogger> logger);
    ~UserInterfaceController() override;

    void onProcessManagerApplicationRunning(const helper::ApplicationType& application,
                                            const std::string& address) const override;
    void onIpcClientMessageReceived(const helper::ApplicationType& application,
                                    const std::string& json) override;

    // Tells the UI agent to hide its icon (waiting for it) and then to quit.
    void requestQuitUiProcess();

private:
    common::IParams& _params;
    common::ISafeStore& _safeStore;
    interprocess::IIpcController& _ipcController;
    interprocess::IProcessManager& _processManager;
    std::unique_ptr<common::ITaskQueue> _taskQueue;
    std::unique_ptr<common::ILogger> _logger;
};

}  // namespace unattended
}  // namespace corvalis
