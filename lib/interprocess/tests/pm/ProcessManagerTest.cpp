#include "interprocess/pm/ProcessManager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/signals2/connection.hpp>
#include <memory>
#include <string>
#include <vector>

#include "PmTestSupport.h"
#include "common/events/IEventBus.h"
#include "interprocess/controller/IIpcController.h"
#include "interprocess/pm/LogonSessionChangeEvent.h"
#include "lib/common/tests/support/LogCapture.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/helper/tests/support/AgentQueue.h"
#include "lib/helper/tests/support/HelperStandIn.h"
#include "testsupport/ScopedEnv.h"
#include "testsupport/TempDir.h"

using common::ILogger;
using helper::ApplicationType;
using helpertest::AgentQueue;
using helpertest::HelperStandIn;
using interprocess::IProcessManager;
using interprocess::ProcessManager;
using pmtest::Clock;
using testsupport::MemoryParams;
using Lines = std::vector<std::string>;
using Runs = std::vector<std::vector<std::string>>;

namespace {

// The IPC controller as the process manager sees it: observers and the two notifications.
class FakeController : public interprocess::IIpcController {
public:
    bool start() override { return true; }
    bool send(const ApplicationType&, const std::string&) override { return true; }
    void connectToService(std::function<void(bool)> completion) override { completion(false); }
    bool synchronousSend(const ApplicationType&, const std::string&) override { return false; }
    bool stop() override { return markStopped(); }

    void connect(const std::string& address) {
        notifyClients(&interprocess::IIpcControllerClient::onIpcClientConnected, address);
    }
    void disconnect(const std::string& address) {
        notifyClients(&interprocess::IIpcControllerClient::onIpcClientDisconnected, address);
    }
};

class RecordingClient : public interprocess::IProcessManagerClient {
public:
    void onProcessManagerApplicationRunning(const ApplicationType& application,
                                            const std::string& address) const override {
        events.push_back("running " + std::to_string(static_cast<int>(application)) + " " +
                         address);
    }
    void onProcessManagerApplicationTerminated(const ApplicationType& application) const override {
        events.push_back("terminated " + std::to_string(static_cast<int>(application)));
    }
    mutable Lines events;
};

IProcessManager::StartList uiAgentInSession() {
    return {
        {ApplicationType::UnattendedUi, IProcessManager::InSession, IProcessManager::UserType(0)}};
}

class ProcessManagerTest : public ::testing::Test {
protected:
    ProcessManagerTest() { setConsoleUser(501); }

    void setConsoleUser(unsigned long uid) {
        root.write("var/run/console-user", std::to_string(uid));
    }

    std::unique_ptr<IProcessManager> makeManager() {
        auto manager = IProcessManager::create(controller, params, *clock.scheduler);
        manager->subscribe(&client);
        return manager;
    }

    // How many requests were addressed to the queue of that user, by the "Send msg to" records.
    std::size_t requestsTo(unsigned long uid) {
        return log->count(ILogger::Info,
                          "Send msg to orvmq-" + helperId + "-" + std::to_string(uid));
    }

    testsupport::TempDir root;
    testsupport::ScopedEnv rootEnv{"ORV_SYSTEM_ROOT", root.path().string()};
    std::shared_ptr<testsupport::LogCapture> log = testsupport::LogCapture::install();
    Clock clock;
    FakeController controller;
    const std::string helperId = helpertest::uniqueHelperId();
    MemoryParams params{{{"HelperId", helperId},
                         {"InstallationId", "inst; rm -rf /"},
                         {"HostId", "host id"},
                         {"InstanceId", "k3J9x0Qa7L"},
                         {"MonitoringUrl", "https://m.example/?a=1&b=2"},
                         {"MonitoringToken", "\"tok\" & 'en'"}}};
    RecordingClient client;
};

std::vector<std::string> installRun(const std::string& helperId) {
    return {"-install",
            "-HelperId",
            helperId,
            "-starterpid",
            std::to_string(::getpid()),
            "-InstallationId",
            "inst; rm -rf /",
            "-HostId",
            "host id",
            "-InstanceId",
            "k3J9x0Qa7L",
            "-MonitoringUrl",
            "https://m.example/?a=1&b=2",
            "-MonitoringToken",
            "\"tok\" & 'en'"};
}

}  // namespace

TEST_F(ProcessManagerTest, DaemonStartReplacesTheHelperAgentInThreeRuns) {
    HelperStandIn standIn;
    auto manager = makeManager();
    EXPECT_EQ(manager->installHelperTool(), IProcessManager::AlreadyRunning);
    EXPECT_TRUE(standIn.runs().empty());

    EXPECT_EQ(manager->reinstallHelperTool(false), IProcessManager::Installed);
    const std::string fresh = params.getValue("HelperId", "");
    EXPECT_EQ(fresh.size(), 10u);
    EXPECT_NE(fresh, helperId);
    EXPECT_EQ(standIn.runs(), (Runs{{"-uninstall", "-HelperId", helperId, "-InstallationId",
                                     "inst; rm -rf /", "-HostId", "host id"},
                                    {"-uninstall", "-HelperId", "", "-InstallationId",
                                     "inst; rm -rf /", "-HostId", "host id"},
                                    installRun(fresh)}));
    EXPECT_FALSE(params.hasValue("Service"));
    EXPECT_EQ(log->count(ILogger::Info, "Helper id: '" + fresh + "'"), 1u);
    EXPECT_EQ(log->count(ILogger::Info, "Helper id generated: '" + fresh + "'"), 1u);
}

TEST_F(ProcessManagerTest, StartWithoutStoredIdUninstallsWithAnEmptyIdThenInstalls) {
    HelperStandIn standIn;
    params.removeValue("HelperId");
    auto manager = makeManager();
    EXPECT_EQ(manager->reinstallHelperTool(true), IProcessManager::Installed);
    const std::string fresh = params.getValue("HelperId", "");
    EXPECT_EQ(standIn.runs(), (Runs{{"-uninstall", "-HelperId", "", "-InstallationId",
                                     "inst; rm -rf /", "-HostId", "host id"},
                                    installRun(fresh)}));
    EXPECT_EQ(params.getValue("Service", ""), "1");
    EXPECT_EQ(log->count(ILogger::Error, "Helper Id not exists."), 1u);
}

TEST_F(ProcessManagerTest, AFailedUninstallDoesNotBlockTheInstall) {
    HelperStandIn standIn;
    standIn.setUninstallExit(1);
    auto manager = makeManager();
    EXPECT_EQ(manager->reinstallHelperTool(false), IProcessManager::Installed);
    const std::string fresh = params.getValue("HelperId", "");
    EXPECT_EQ(fresh.size(), 10u);
    EXPECT_NE(fresh, helperId);
    const Runs runs = standIn.runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[2], installRun(fresh));
    EXPECT_EQ(log->count(ILogger::Error, "Unable to uninstall previously installed helper tool"),
              2u);
    EXPECT_EQ(log->count(ILogger::Warning, "Cannot uninstall running process checker"), 1u);
}

TEST_F(ProcessManagerTest, AFailedInstallAnswersOne) {
    HelperStandIn standIn;
    standIn.setInstallExit(2);
    params.removeValue("HelperId");
    auto manager = makeManager();
    EXPECT_EQ(manager->installHelperTool(), IProcessManager::InstallFailed);
    EXPECT_EQ(log->count(ILogger::Error, "Unable to install helper tool"), 1u);
}

TEST_F(ProcessManagerTest, UninstallRemovesTheIdOnlyOnSuccess) {
    HelperStandIn standIn;
    auto manager = makeManager();
    standIn.setUninstallExit(1);
    EXPECT_FALSE(manager->uninstallHelperTool());
    EXPECT_EQ(params.getValue("HelperId", ""), helperId);
    standIn.setUninstallExit(0);
    EXPECT_TRUE(manager->uninstallHelperTool());
    EXPECT_FALSE(params.hasValue("HelperId"));
}

TEST_F(ProcessManagerTest, StartCreatesTheInSessionActorAndTicksItEverySecond) {
    auto manager = makeManager();
    ASSERT_TRUE(manager->start(uiAgentInSession()));
    clock.runDue();
    // The first Init asks a left-over UI agent of the console user to quit.
    clock.advance(std::chrono::milliseconds(990));
    const auto atStart = log->all();
    auto count = [&](const std::string& text) {
        return std::count_if(
            atStart.begin(), atStart.end(),
            [&](const testsupport::LogCapture::Record& r) { return r._message == text; });
    };
    EXPECT_EQ(count("Starting sessionId: 501"), 1);
    EXPECT_EQ(count("Process manager running"), 1);
    EXPECT_EQ(count("run as user, app: 'UnattendedUi'"), 1);
    EXPECT_EQ(count("Send msg to orvmq-" + helperId + "-501"), 1);  // the kill of Init

    log = testsupport::LogCapture::install();
    clock.advance(std::chrono::milliseconds(20));
    EXPECT_EQ(log->count(ILogger::Info, "app ('UnattendedUi') launched at: '501'"), 0u);
    EXPECT_EQ(requestsTo(501), 1u);  // the launch request, tried at the first watch
}

TEST_F(ProcessManagerTest, ADuplicateKindFailsStart) {
    auto manager = makeManager();
    auto list = uiAgentInSession();
    list.push_back(list.front());
    EXPECT_FALSE(manager->start(list));
    EXPECT_EQ(
        log->count(ILogger::Error, "'UnattendedUi' already registered - Unable to create actors"),
        1u);
}

TEST_F(ProcessManagerTest, UnknownRunAsCreatesNothing) {
    auto manager = makeManager();
    EXPECT_TRUE(manager->start(
        {{ApplicationType::AppletUi, IProcessManager::RunAs(3), IProcessManager::UserType(0)}}));
    clock.advance(std::chrono::seconds(3));
    EXPECT_EQ(log->count(ILogger::Info, "run as user, app: 'AppletUi'"), 0u);
    EXPECT_EQ(log->count(ILogger::Info, "run as child, application: 'AppletUi'"), 0u);
}

TEST_F(ProcessManagerTest, AChangeOfConsoleUserIsReportedAndTheNextTickGoesToTheNewUser) {
    int events = 0;
    boost::signals2::scoped_connection subscription(common::events::IEventBus::instance().subscribe(
        common::events::BaseEvent::LogonSessionChange,
        [&events](std::shared_ptr<common::events::BaseEvent> event) {
            auto* change = dynamic_cast<common::events::LogonSessionChangeEvent*>(event.get());
            ASSERT_NE(change, nullptr);
            EXPECT_EQ(change->first(), 0);
            EXPECT_EQ(change->second(), 5);
            ++events;
        }));
    auto manager = makeManager();
    ASSERT_TRUE(manager->start(uiAgentInSession()));
    clock.advance(std::chrono::milliseconds(500));

    // The console user changes from 501 to 502 before the first watch: that run reports it and
    // ticks nobody.
    setConsoleUser(502);
    log = testsupport::LogCapture::install();
    clock.advance(std::chrono::milliseconds(1000));
    EXPECT_EQ(events, 1);
    const auto records = log->all();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const testsupport::LogCapture::Record& r) {
                                return r._message ==
                                       "Active session id changed. Restart application to session "
                                       "'502' (old: '501')";
                            }),
              1);
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [](const testsupport::LogCapture::Record& r) {
                                return r._message.find("Send msg to") == 0;
                            }),
              0);

    // The next run ticks the actor with 502: the launch goes to the new user's queue.
    log = testsupport::LogCapture::install();
    clock.advance(std::chrono::milliseconds(1000));
    EXPECT_EQ(requestsTo(502), 1u);
    EXPECT_EQ(events, 1);
}

TEST_F(ProcessManagerTest, ConnectsAndDisconnectsReachTheActorsOfTheirKind) {
    setConsoleUser(::getuid());
    AgentQueue agent(helperId);
    auto manager = makeManager();
    ASSERT_TRUE(manager->start(uiAgentInSession()));
    clock.advance(std::chrono::milliseconds(1000));
    const std::string address = "UnattendedUi-" + std::to_string(::getuid());
    const Lines started = agent.drain();
    ASSERT_EQ(started.size(), 2u);  // kill at creation, then the launch
    EXPECT_NE(started[1].find("\"-ProcessAddress\",\"" + address + "\""), std::string::npos);

    controller.connect("Helper");
    controller.connect(address);
    clock.runDue();
    EXPECT_EQ(client.events, Lines{"running 4 " + address});

    controller.disconnect(address);
    clock.runDue();
    // The manager's direct kill, the Running state's and the Init entry's.
    const std::string kill = R"({"message":{"application":4,"$":"RequestKillApplication"}})";
    EXPECT_EQ(agent.drain(), (Lines{kill, kill, kill}));
    EXPECT_EQ(client.events, (Lines{"running 4 " + address, "terminated 4"}));
    EXPECT_EQ(log->count(ILogger::Debug, "Ipc client connected: '" + address + "'"), 1u);
    EXPECT_EQ(log->count(ILogger::Debug, "Ipc client disconnected: '" + address + "'"), 1u);
}

TEST_F(ProcessManagerTest, ADisconnectWhileStartingSendsOneKill) {
    setConsoleUser(::getuid());
    AgentQueue agent(helperId);
    auto manager = makeManager();
    ASSERT_TRUE(manager->start(uiAgentInSession()));
    clock.advance(std::chrono::milliseconds(1000));
    agent.drain();
    controller.disconnect("UnattendedUi-" + std::to_string(::getuid()));
    clock.runDue();
    EXPECT_EQ(agent.drain().size(), 1u);
    EXPECT_TRUE(client.events.empty());
}

TEST_F(ProcessManagerTest, StopDestroysTheActorsOnceAndUnsubscribes) {
    auto manager = makeManager();
    ASSERT_TRUE(manager->start(uiAgentInSession()));
    clock.advance(std::chrono::milliseconds(1500));
    log = testsupport::LogCapture::install();
    EXPECT_TRUE(manager->stop());
    EXPECT_TRUE(manager->isStopped());
    EXPECT_FALSE(manager->stop());
    controller.connect("UnattendedUi-501");
    clock.advance(std::chrono::seconds(3));
    const auto records = log->all();
    auto count = [&](const std::string& text) {
        return std::count_if(
            records.begin(), records.end(),
            [&](const testsupport::LogCapture::Record& r) { return r._message == text; });
    };
    EXPECT_EQ(count("Process manager quitting.."), 1);
    EXPECT_EQ(count("Process manager done"), 1);
    // The in-session actor asks its program to quit when it is destroyed.
    EXPECT_GE(count("Send msg to orvmq-" + helperId + "-501"), 1);
    EXPECT_EQ(count("Ipc client connected: 'UnattendedUi-501'"), 0);
    manager.reset();
}
