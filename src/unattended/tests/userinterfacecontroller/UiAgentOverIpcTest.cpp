// The UI agent controller on the real IPC stack: the daemon's endpoint runs here on a clock the
// test moves; the UI agent is the ipcpeer program in its own process, over real message queues.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "common/params/JsonFileParams.h"
#include "common/safestore/ISafeStore.h"
#include "interprocess/controller/IpcController.h"
#include "interprocess/pm/IProcessManager.h"
#include "lib/common/tests/support/LogCapture.h"
#include "lib/interprocess/tests/support/IpcTestSupport.h"
#include "lib/interprocess/tests/support/PeerProcess.h"
#include "testsupport/TempDir.h"
#include "unattended/ipcmessages/UnattendedIpcMessage.h"
#include "unattended/userinterfacecontroller/IUserInterfaceController.h"

using namespace std::chrono_literals;
using corvalis::unattended::IUserInterfaceController;
using corvalis::unattended::UnattendedIpcMessage;
namespace msg = corvalis::unattended::ipcmessages;

namespace {

class IdleProcessManager : public interprocess::IProcessManager {
public:
    bool stop() override { return true; }
    bool start(const StartList&) override { return true; }
    int installHelperTool() override { return Installed; }
    bool uninstallHelperTool() const override { return true; }
    int reinstallHelperTool(bool) override { return Installed; }
};

class UiAgentOverIpc : public testing::Test {
protected:
    void SetUp() override {
        cleaner.add(prefix + "_Service");
        cleaner.add(prefix + "_UnattendedUi-501");
        service = std::make_unique<interprocess::IpcController>(
            "Service", prefix, *scheduler, common::ILogger::create("IpcController"),
            [this] { return time.now(); });
        ASSERT_TRUE(service->start());
        peer = std::make_unique<ipctest::PeerProcess>(std::vector<std::string>{
            ORV_IPCPEER_PATH, "endpoint", prefix, "UnattendedUi-501", "connect"});
        ASSERT_EQ(peer->readLine(), "ready");
        ASSERT_TRUE(pumpUntil([&] { return said("connected Service"); }));
    }

    bool pumpUntil(const std::function<bool()>& done, int steps = 3000) {
        for (int i = 0; i < steps && !done(); ++i) {
            time.advance(10ms);
            ipctest::runDue(*scheduler);
            const std::string line = peer->readLine(4ms);
            if (line != "<timeout>" && line != "<eof>") {
                lines.push_back(line);
            }
        }
        return done();
    }

    bool said(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    static std::string received(const UnattendedIpcMessage& message) {
        return "message 1 " + UnattendedIpcMessage::ToString(message);
    }

    std::shared_ptr<testsupport::LogCapture> logs = testsupport::LogCapture::install();
    std::string prefix = ipctest::uniquePrefix();
    ipctest::QueueCleaner cleaner;
    ipctest::FakeTime time;
    std::shared_ptr<ipctest::ManualScheduler> scheduler = time.makeScheduler();
    testsupport::TempDir dir;
    common::JsonFileParams params{dir / "unattended.json"};
    std::unique_ptr<common::ISafeStore> store = common::ISafeStore::create(params, {7}, {8});
    IdleProcessManager processManager;
    std::unique_ptr<interprocess::IpcController> service;
    std::unique_ptr<ipctest::PeerProcess> peer;
    std::vector<std::string> lines;
};

}  // namespace

TEST_F(UiAgentOverIpc, CredentialsStoredAndRevokedThenHideAndQuitAtDestruction) {
    auto controller = IUserInterfaceController::create(params, *store, *service, processManager,
                                                       scheduler->getTaskQueue("UiLauncher"),
                                                       common::ILogger::create("UiLauncher"));

    msg::StoreAutologonCredentials credentials;
    credentials.username = msg::Sensitive<std::wstring>{L"alice"};
    credentials.password = msg::Sensitive<std::wstring>{L"pw"};
    peer->writeLine("send 1 " + UnattendedIpcMessage::ToString(credentials));
    ASSERT_TRUE(pumpUntil([&] { return said(received(msg::AutologonCredentialsStored())); }));
    EXPECT_EQ(store->getValue("CredentialsStored", ""), "1");
    EXPECT_FALSE(store->getValue("Username", "").empty());

    peer->writeLine("send 1 " + UnattendedIpcMessage::ToString(msg::RevokeAutologonCredentials()));
    ASSERT_TRUE(pumpUntil([&] { return said(received(msg::AutologonCredentialsRevoked())); }));
    EXPECT_FALSE(store->hasValue("CredentialsStored"));
    EXPECT_FALSE(store->hasValue("Username"));

    // The synchronous HideIcon waits until the UI agent has handled it; QuitRequest follows.
    controller.reset();
    ASSERT_TRUE(pumpUntil([&] { return said(received(msg::QuitRequest())); }));
    const auto hide = std::find(lines.begin(), lines.end(),
                                "syncmessage 1 " + UnattendedIpcMessage::ToString(msg::HideIcon()));
    const auto quit = std::find(lines.begin(), lines.end(), received(msg::QuitRequest()));
    ASSERT_NE(hide, lines.end());
    EXPECT_LT(hide, quit);
    // The secrets never reached the log in clear.
    for (const auto& record : logs->all()) {
        EXPECT_EQ(record._message.find("\"alice\""), std::string::npos) << record._message;
    }
    peer->writeLine("quit");
}
