#include "unattended/userinterfacecontroller/UserInterfaceController.h"

#include "common/logger/ILogger.h"
#include "common/safestore/ISafeStore.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/util/Util.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/pm/IProcessManager.h"
#include "unattended/ipcmessages/UnattendedIpcMessage.h"

namespace corvalis {
namespace unattended {

namespace {

const char kCredentialsStored[] = "CredentialsStored";
const char kUsername[] = "Username";
const char kPassword[] = "Password";

}  // namespace

std::unique_ptr<IUserInterfaceController> IUserInterfaceController::create(
    common::IParams& params, common::ISafeStore& safeStore,
    interprocess::IIpcController& ipcController, interprocess::IProcessManager& processManager,
    std::unique_ptr<common::ITaskQueue> taskQueue, std::unique_ptr<common::ILogger> logger) {
    return std::make_unique<UserInterfaceController>(
        params, safeStore, ipcController, processManager, std::move(taskQueue), std::move(logger));
}

UserInterfaceController::UserInterfaceController(common::IParams& params,
                                                 common::ISafeStore& safeStore,
                                                 interprocess::IIpcController& ipcController,
                                                 interprocess::IProcessManager& processManager,
                                                 std::unique_ptr<common::ITaskQueue> taskQueue,
                                                 std::unique_ptr<common::ILogger> logger)
    : _params(params),
      _safeStore(safeStore),
      _ipcController(ipcController),
      _processManager(processManager),
      _taskQueue(std::move(taskQueue)),
      _logger(std::move(logger)) {
    _processManager.subscribe(this);
    _ipcController.subscribe(this);
}

UserInterfaceController::~UserInterfaceController() {
    _ipcController.unsubscribe(this);
    _processManager.unsubscribe(this);
    requestQuitUiProcess();
    _logger.reset();
    _taskQueue.reset();
}

void UserInterfaceController::onProcessManagerApplicationRunning(
    const helper::ApplicationType& /*application*/, const std::string& /*address*/) const {
    if (_safeStore.hasValue(kCredentialsStored)) {
        _ipcController.send(
            helper::ApplicationType::UnattendedUi,
            UnattendedIpcMessage::ToString(ipcmessages::AutologonCredentialsStored()));
    }
}

void UserInterfaceController::onIpcClientMessageReceived(
    const helper::ApplicationType& /*application*/, const std::string& json) {
    const auto message = UnattendedIpcMessage::FromString(json);
    message.Handle<ipcmessages::StoreAutologonCredentials>(
        [this](const ipcmessages::StoreAutologonCredentials& credentials) {
            // Only a complete pair counts as stored: a lone user name or password is not
            // kept, and the UI agent is not told credentials are there.
            if (!credentials.username || !credentials.password) {
                return;
            }
            _logger->info("store autologon credentials");
            const bool stored =
                _safeStore.setValue(kUsername,
                                    common::util::toBase64(credentials.username->sensitive)) &&
                _safeStore.setValue(kPassword,
                                    common::util::toBase64(credentials.password->sensitive)) &&
                _safeStore.setValueAs<bool>(kCredentialsStored, true);
            if (!stored) {
                _logger->error("unable to store autologon credentials");
                return;
            }
            _ipcController.send(
                helper::ApplicationType::UnattendedUi,
                UnattendedIpcMessage::ToString(ipcmessages::AutologonCredentialsStored()));
        });
    message.Handle<ipcmessages::RevokeAutologonCredentials>(
        [this](const ipcmessages::RevokeAutologonCredentials&) {
            _logger->info("revoke autologon credentials");
            _safeStore.removeValue(kCredentialsStored);
            _safeStore.removeValue(kUsername);
            _safeStore.removeValue(kPassword);
            _ipcController.send(
                helper::ApplicationType::UnattendedUi,
                UnattendedIpcMessage::ToString(ipcmessages::AutologonCredentialsRevoked()));
        });
}

void UserInterfaceController::requestQuitUiProcess() {
    _ipcController.synchronousSend(helper::ApplicationType::UnattendedUi,
                                   UnattendedIpcMessage::ToString(ipcmessages::HideIcon()));
    _ipcController.send(helper::ApplicationType::UnattendedUi,
                        UnattendedIpcMessage::ToString(ipcmessages::QuitRequest()));
}

}  // namespace unattended
}  // namespace corvalis
