#include "unattended/userinterfacecontroller/UserInterfaceController.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "common/logger/ILogger.h"
#include "common/params/JsonFileParams.h"
#include "common/safestore/ISafeStore.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/pm/IProcessManager.h"
#include "testsupport/TempDir.h"
#include "unattended/ipcmessages/UnattendedIpcMessage.h"

using corvalis::unattended::IUserInterfaceController;
using corvalis::unattended::UnattendedIpcMessage;
namespace msg = corvalis::unattended::ipcmessages;
using helper::ApplicationType;

namespace {

// Records what the controller hands to the IPC controller, in order.
class RecordingIpcController : public interprocess::IIpcController {
public:
    struct Sent {
        ApplicationType to;
        std::string json;
        bool synchronous;
    };
    bool start() override { return true; }
    bool stop() override { return true; }
    bool send(const ApplicationType& to, const std::string& json) override {
        sent.push_back({to, json, false});
        return true;
    }
    void connectToService(std::function<void(bool)> completion) override { completion(false); }
    bool synchronousSend(const ApplicationType& to, const std::string& json) override {
        sent.push_back({to, json, true});
        return false;  // as when no UI agent is connected
    }
    void deliver(const std::string& json) {
        notifyClients(&interprocess::IIpcControllerClient::onIpcClientMessageReceived,
                      ApplicationType::UnattendedUi, json);
    }
    std::vector<Sent> sent;
};

class IdleProcessManager : public interprocess::IProcessManager {
public:
    bool stop() override { return true; }
    bool start(const StartList&) override { return true; }
    int installHelperTool() override { return Installed; }
    bool uninstallHelperTool() const override { return true; }
    int reinstallHelperTool(bool) override { return Installed; }
    void reportRunning() {
        notifyClients(&interprocess::IProcessManagerClient::onProcessManagerApplicationRunning,
                      ApplicationType::UnattendedUi, std::string("UnattendedUi-501"));
    }
};

std::string text(const UnattendedIpcMessage& message) {
    return UnattendedIpcMessage::ToString(message);
}

class UiController : public testing::Test {
protected:
    UiController()
        : _params(_dir / "unattended.json"),
          _store(common::ISafeStore::create(_params, {1, 2, 3}, {4, 5})),
          _scheduler(common::TaskScheduler::create(std::chrono::milliseconds(10),
                                                   common::ILogger::create("TaskScheduler"))) {}

    std::unique_ptr<IUserInterfaceController> make() {
        return IUserInterfaceController::create(_params, *_store, _ipc, _pm,
                                                _scheduler->getTaskQueue("UiLauncher"),
                                                common::ILogger::create("UiLauncher"));
    }

    static msg::StoreAutologonCredentials credentials(bool user, bool password) {
        msg::StoreAutologonCredentials record;
        if (user)
            record.username = msg::Sensitive<std::wstring>{L"alice"};
        if (password)
            record.password = msg::Sensitive<std::wstring>{L"s\u00e9cret"};
        return record;
    }

    testsupport::TempDir _dir;
    common::JsonFileParams _params;
    std::unique_ptr<common::ISafeStore> _store;
    std::shared_ptr<common::ITaskScheduler> _scheduler;
    RecordingIpcController _ipc;
    IdleProcessManager _pm;
};

}  // namespace

TEST_F(UiController, StoresACompletePairAndReportsItWhenTheAgentRuns) {
    auto controller = make();
    _pm.reportRunning();
    EXPECT_TRUE(_ipc.sent.empty());

    _ipc.deliver(text(credentials(true, true)));
    EXPECT_EQ(_store->getValue("CredentialsStored", ""), "1");
    EXPECT_EQ(_store->getValue("Username", ""), "YQAAAGwAAABpAAAAYwAAAGUAAAA=");
    EXPECT_FALSE(_store->getValue("Password", "").empty());
    // The secrets are only in the encrypted form.
    EXPECT_FALSE(_params.hasValue("Username"));
    EXPECT_TRUE(_params.hasValue("Encrypted"));
    ASSERT_EQ(_ipc.sent.size(), 1u);
    EXPECT_EQ(_ipc.sent[0].json, text(msg::AutologonCredentialsStored()));

    _pm.reportRunning();
    ASSERT_EQ(_ipc.sent.size(), 2u);
    EXPECT_EQ(_ipc.sent[1].json, text(msg::AutologonCredentialsStored()));
    EXPECT_EQ(_ipc.sent[1].to, ApplicationType::UnattendedUi);
    EXPECT_FALSE(_ipc.sent[1].synchronous);
}

TEST_F(UiController, AnIncompletePairStoresNothing) {
    auto controller = make();
    _ipc.deliver(text(credentials(true, false)));
    _ipc.deliver(text(credentials(false, true)));
    EXPECT_FALSE(_store->hasValue("CredentialsStored"));
    EXPECT_FALSE(_store->hasValue("Username"));
    EXPECT_FALSE(_store->hasValue("Password"));
    _pm.reportRunning();
    EXPECT_TRUE(_ipc.sent.empty());
}

TEST_F(UiController, RevokeRemovesEverythingAndAlwaysAnswers) {
    auto controller = make();
    _ipc.deliver(text(msg::RevokeAutologonCredentials()));
    _ipc.deliver(text(credentials(true, true)));
    _ipc.deliver(text(msg::RevokeAutologonCredentials()));
    _ipc.deliver("not a message");
    _ipc.deliver(text(msg::QuitRequest()));
    EXPECT_TRUE(_store->loadStore().empty());
    _pm.reportRunning();
    std::vector<std::string> sent;
    for (const auto& s : _ipc.sent)
        sent.push_back(s.json);
    EXPECT_EQ(sent, (std::vector<std::string>{text(msg::AutologonCredentialsRevoked()),
                                              text(msg::AutologonCredentialsStored()),
                                              text(msg::AutologonCredentialsRevoked())}));
}

TEST_F(UiController, DestructionHidesTheIconThenAsksTheAgentToQuit) {
    make().reset();
    ASSERT_EQ(_ipc.sent.size(), 2u);
    EXPECT_EQ(_ipc.sent[0].json, text(msg::HideIcon()));
    EXPECT_TRUE(_ipc.sent[0].synchronous);
    EXPECT_EQ(_ipc.sent[1].json, text(msg::QuitRequest()));
    EXPECT_FALSE(_ipc.sent[1].synchronous);
    // Unsubscribed: later messages reach nothing.
    _ipc.deliver(text(credentials(true, true)));
    EXPECT_FALSE(_store->hasValue("CredentialsStored"));
}
