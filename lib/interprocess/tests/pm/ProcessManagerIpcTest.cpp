// The process manager on a real IPC controller, with the project's peer tool as the UI agent in
// another process.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PmTestSupport.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/pm/IProcessManager.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/helper/tests/support/AgentQueue.h"
#include "lib/helper/tests/support/IpcPeer.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using helper::ApplicationType;
using interprocess::IProcessManager;

namespace {

class Observer : public interprocess::IProcessManagerClient {
public:
    void onProcessManagerApplicationRunning(const ApplicationType&,
                                            const std::string& address) const override {
        events.push_back("running " + address);
    }
    void onProcessManagerApplicationTerminated(const ApplicationType&) const override {
        events.push_back("terminated");
    }
    bool has(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    mutable std::vector<std::string> events;
};

}  // namespace

TEST(ProcessManagerIpc, TheUiAgentConnectingAndLeavingIsReportedAndAskedToQuit) {
    testsupport::TempDir root;
    testsupport::ScopedEnv rootEnv("ORV_SYSTEM_ROOT", root.path().string());
    root.write("var/run/console-user", std::to_string(::getuid()));
    helpertest::AgentQueue agent;
    testsupport::MemoryParams params({{"HelperId", agent.helperId}});
    const std::string prefix = "orvpm" + agent.helperId;
    const std::string address = "UnattendedUi-" + std::to_string(::getuid());

    pmtest::Clock clock;
    auto controller = interprocess::IIpcController::create(
        "Service", prefix, *clock.scheduler, common::ILogger::create("IpcController"));
    ASSERT_TRUE(controller->start());
    auto manager = IProcessManager::create(*controller, params, *clock.scheduler);
    Observer observer;
    manager->subscribe(&observer);
    ASSERT_TRUE(manager->start({{ApplicationType::UnattendedUi, IProcessManager::InSession,
                                 IProcessManager::UserType(0)}}));
    clock.advance(std::chrono::milliseconds(1000));
    const auto started = agent.drain();
    ASSERT_EQ(started.size(), 2u);  // the kill of the first Init, then the launch

    // The launched UI agent connects. The peer answers in real time; the test's clock moves
    // 100 ms per 20 ms of real time, well inside the ten-tick wait for the connection.
    auto until = [&](const std::string& event) {
        for (int i = 0; i < 400 && !observer.has(event); ++i) {
            clock.advance(std::chrono::milliseconds(100));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return observer.has(event);
    };
    {
        helpertest::IpcPeer uiAgent({"endpoint", prefix, address, "connect"});
        ASSERT_EQ(uiAgent.readLine(), "ready");
        ASSERT_TRUE(until("running " + address));
        agent.drain();
    }
    // The UI agent has gone: it is asked to quit and reported terminated.
    ASSERT_TRUE(until("terminated"));
    EXPECT_GE(agent.drain().size(), 2u);

    manager->stop();
    controller->stop();
    clock.runDue();
}
