#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "PmTestSupport.h"
#include "common/util/Util.h"
#include "interprocess/pm/AbstractLaunchInSessionActor.h"
#include "interprocess/pm/ILaunchActor.h"
#include "lib/common/tests/support/MemoryParams.h"
#include "lib/helper/tests/support/AgentQueue.h"

using helper::ApplicationType;
using helpertest::AgentQueue;
using interprocess::AbstractLaunchInSessionActor;
using interprocess::ILaunchActor;
using pmtest::Clock;
using pmtest::RecordingDelegate;
using pmtest::RecordingLogger;
using testsupport::MemoryParams;
using Lines = std::vector<std::string>;
using common::ILogger;

namespace {

// An in-session actor whose requests are recorded instead of sent.
class FakeInSessionActor : public AbstractLaunchInSessionActor {
public:
    using AbstractLaunchInSessionActor::AbstractLaunchInSessionActor;

    bool acceptLaunch = true;
    long actualOffset = 0;
    mutable Lines requests;

    Lines take() {
        auto result = requests;
        requests.clear();
        return result;
    }

protected:
    bool launchProcessAt(const ApplicationType& application, const unsigned long& sessionId,
                         unsigned long& actualSessionId) override {
        requests.push_back(std::string("launch ") + helper::ToString(application) + " " +
                           std::to_string(sessionId));
        actualSessionId = sessionId + actualOffset;
        return acceptLaunch;
    }
    bool killProcessAt(const ApplicationType& application,
                       const unsigned long& sessionId) override {
        requests.push_back(std::string("kill ") + helper::ToString(application) + " " +
                           std::to_string(sessionId));
        return true;
    }
};

class LaunchActorTest : public ::testing::Test {
protected:
    std::unique_ptr<FakeInSessionActor> makeFake(unsigned long sessionId) {
        auto actor = std::make_unique<FakeInSessionActor>(
            "k3J9x0Qa7L", ApplicationType::UnattendedUi,
            clock.scheduler->getTaskQueue("LaunchInSessionActor"), logger, params, sessionId);
        actor->setDelegate(&delegate);
        clock.runDue();
        return actor;
    }

    // One Tick a second, as the process manager gives them.
    void tick(ILaunchActor& actor, unsigned long uid, int times = 1) {
        for (int i = 0; i < times; ++i) {
            actor.dispatchTick(uid);
            clock.advance(std::chrono::seconds(1));
        }
    }

    Clock clock;
    RecordingLogger logger;
    MemoryParams params;
    RecordingDelegate delegate;
};

std::vector<std::string> narrow(const std::vector<std::wstring>& arguments) {
    std::vector<std::string> result;
    for (const auto& argument : arguments) {
        result.push_back(common::util::toString(argument));
    }
    return result;
}

}  // namespace

TEST_F(LaunchActorTest, TimelineOfTheInSessionActor) {
    auto actor = makeFake(501);
    // Created: a copy left from an earlier run is asked to quit, in the given session.
    EXPECT_EQ(actor->take(), Lines{"kill UnattendedUi 501"});
    EXPECT_EQ(logger.count(ILogger::Info, "run as user, app: 'UnattendedUi'"), 1u);
    EXPECT_TRUE(delegate.take().empty());
    EXPECT_EQ(actor->getAddress(), "UnattendedUi-501");

    // First Tick: launched in the Tick's session.
    tick(*actor, 501);
    EXPECT_EQ(actor->take(), Lines{"launch UnattendedUi 501"});
    EXPECT_EQ(logger.count(ILogger::Info, "app ('UnattendedUi') launched at: '501'"), 1u);
    EXPECT_EQ(delegate.take(), Lines{"starting UnattendedUi-501"});

    // No connection: nine Ticks change nothing, the tenth times out.
    tick(*actor, 501, 9);
    EXPECT_TRUE(actor->take().empty());
    tick(*actor, 501);
    EXPECT_EQ(logger.count(ILogger::Warning, "app ('UnattendedUi') connection timed out"), 1u);
    // The time-out's own kill request and the one of the Init entry.
    EXPECT_EQ(actor->take(), (Lines{"kill UnattendedUi 501", "kill UnattendedUi 501"}));
    EXPECT_EQ(delegate.take(), Lines{"terminated UnattendedUi-501"});

    // The next Tick launches again.
    tick(*actor, 501);
    EXPECT_EQ(actor->take(), Lines{"launch UnattendedUi 501"});
    EXPECT_EQ(delegate.take(), Lines{"starting UnattendedUi-501"});

    // Connected: running. Ticks while running, even of another user, change nothing.
    actor->dispatchConnected();
    clock.runDue();
    EXPECT_EQ(delegate.take(), Lines{"running UnattendedUi-501"});
    EXPECT_EQ(logger.count(ILogger::Info, "app ('UnattendedUi') running at: '501'"), 1u);
    tick(*actor, 502, 12);
    actor->dispatchConnected();
    clock.runDue();
    EXPECT_TRUE(actor->take().empty());
    EXPECT_TRUE(delegate.take().empty());
    EXPECT_EQ(actor->getSessionId(), 501u);

    // Disconnected: asked to quit (the handler and the Init entry), reported as terminated.
    actor->dispatchDisconnected();
    clock.runDue();
    EXPECT_EQ(actor->take(), (Lines{"kill UnattendedUi 501", "kill UnattendedUi 501"}));
    EXPECT_EQ(delegate.take(), Lines{"terminated UnattendedUi-501"});
    EXPECT_EQ(logger.count(ILogger::Debug, "Disconnected: app ('UnattendedUi') running at: '501'"),
              1u);

    // The console user changed meanwhile: the next launch goes to the new user's session.
    tick(*actor, 502);
    EXPECT_EQ(actor->take(), Lines{"launch UnattendedUi 502"});
    EXPECT_EQ(delegate.take(), Lines{"starting UnattendedUi-502"});
    EXPECT_EQ(actor->getAddress(), "UnattendedUi-502");
}

TEST_F(LaunchActorTest, ALaunchThatCannotBeQueuedIsRetriedAtEveryTick) {
    auto actor = makeFake(501);
    actor->take();
    actor->acceptLaunch = false;
    tick(*actor, 501, 3);
    EXPECT_EQ(actor->take(), (Lines{"launch UnattendedUi 501", "launch UnattendedUi 501",
                                    "launch UnattendedUi 501"}));
    EXPECT_TRUE(delegate.take().empty());
    actor->acceptLaunch = true;
    tick(*actor, 501);
    EXPECT_EQ(actor->take(), Lines{"launch UnattendedUi 501"});
    EXPECT_EQ(delegate.take(), Lines{"starting UnattendedUi-501"});
}

TEST_F(LaunchActorTest, ADisconnectWhileStartingIsDroppedUntilTheTimeOut) {
    auto actor = makeFake(501);
    tick(*actor, 501);
    actor->take();
    delegate.take();
    actor->dispatchDisconnected();
    clock.runDue();
    EXPECT_TRUE(actor->take().empty());
    tick(*actor, 501, 9);
    EXPECT_TRUE(delegate.take().empty());
    tick(*actor, 501);
    EXPECT_EQ(delegate.take(), Lines{"terminated UnattendedUi-501"});
}

TEST_F(LaunchActorTest, ALaunchInAnotherSessionIsLoggedAndFollowed) {
    auto actor = makeFake(501);
    actor->actualOffset = 1;
    tick(*actor, 501);
    EXPECT_EQ(logger.count(ILogger::Warning,
                           "Process started in a different session. Expected SessionId: 501, "
                           "Actual SessionId: 502"),
              1u);
    EXPECT_EQ(actor->getAddress(), "UnattendedUi-502");
}

TEST_F(LaunchActorTest, AddressIsEmptyWhileTheSessionIsUnknown) {
    auto actor = makeFake(static_cast<unsigned long>(-1));
    EXPECT_EQ(actor->getAddress(), "");
    EXPECT_EQ(actor->getApplication(), ApplicationType::UnattendedUi);
}

TEST_F(LaunchActorTest, DestroyingTheActorDropsItsQueuedEvents) {
    auto actor = makeFake(501);
    actor->take();
    actor->dispatchTick(501);
    actor.reset();
    clock.runDue();
    EXPECT_TRUE(delegate.take().empty());
}

TEST_F(LaunchActorTest, CompanionArgumentsForTheUiAgent) {
    auto actor = makeFake(501);
    params.assign({{"InstanceId", "k3J9x0Qa7L"},
                   {"Lang", "de-DE"},
                   {"MonitoringToken", "tok en"},
                   {"HostId", ""},
                   {"LogLevel", "1"},
                   {"Unrelated", "x"},
                   {"SessionId", "7"},
                   {"DrawMouseCursor", "1"},
                   {"MinimumFrameTime", "20"}});
    EXPECT_EQ(narrow(actor->getApplicationParams(501, ApplicationType::UnattendedUi)),
              (Lines{"-HostId", "", "-InstanceId", "k3J9x0Qa7L", "-Lang", "de-DE", "-LogLevel", "1",
                     "-MonitoringToken", "tok en", "-ProcessAddress", "UnattendedUi-501"}));

    // Only InstanceId and Lang set: six elements.
    params.assign({{"InstanceId", "k3J9x0Qa7L"}, {"Lang", "en-US"}});
    EXPECT_EQ(narrow(actor->getApplicationParams(501, ApplicationType::UnattendedUi)),
              (Lines{"-InstanceId", "k3J9x0Qa7L", "-Lang", "en-US", "-ProcessAddress",
                     "UnattendedUi-501"}));

    // Lang and ProcessAddress are always there.
    params.assign({});
    EXPECT_EQ(narrow(actor->getApplicationParams(0, ApplicationType::UnattendedUi)),
              (Lines{"-Lang", "", "-ProcessAddress", "UnattendedUi-0"}));
}

TEST_F(LaunchActorTest, CompanionArgumentsForOtherPrograms) {
    auto applet = std::make_unique<FakeInSessionActor>(
        "id", ApplicationType::AppletUi, clock.scheduler->getTaskQueue("LaunchInSessionActor"),
        logger, params, 501);
    EXPECT_EQ(narrow(applet->getApplicationParams(501, ApplicationType::AppletUi)),
              (Lines{"-DrawMouseCursor", "0", "-Lang", "", "-MinimumFrameTime", "30",
                     "-ProcessAddress", "AppletUi-501"}));
    params.assign({{"DrawMouseCursor", "1"},
                   {"MinimumFrameTime", "16"},
                   {"SessionId", "3"},
                   {"SelectedMonitorId", "2"},
                   {"Offline", "0"}});
    EXPECT_EQ(
        narrow(applet->getApplicationParams(501, ApplicationType::AppletUi)),
        (Lines{"-DrawMouseCursor", "1", "-Lang", "", "-MinimumFrameTime", "16", "-Offline", "0",
               "-ProcessAddress", "AppletUi-501", "-SelectedMonitorId", "2", "-SessionId", "3"}));
}

TEST_F(LaunchActorTest, InSessionActorSendsItsRequestsToTheUsersAgentQueue) {
    AgentQueue agent;
    params.assign({{"InstanceId", "k3J9x0Qa7L"}, {"Lang", "fr"}});
    auto actor = ILaunchActor::createLaunchInSessionActor(
        agent.helperId, ApplicationType::UnattendedUi,
        clock.scheduler->getTaskQueue("LaunchInSessionActor"), logger, params, true, agent.uid);
    actor->setDelegate(&delegate);
    clock.runDue();
    const std::string kill = R"({"message":{"application":4,"$":"RequestKillApplication"}})";
    EXPECT_EQ(agent.drain(), Lines{kill});

    tick(*actor, agent.uid);
    const std::string address = "UnattendedUi-" + std::to_string(agent.uid);
    EXPECT_EQ(agent.drain(),
              Lines{R"({"message":{"application":4,"arguments":["-InstanceId","k3J9x0Qa7L",)"
                    R"("-Lang","fr","-ProcessAddress",")" +
                    address + R"("],"$":"RequestLaunchApplication"}})"});
    EXPECT_EQ(delegate.take(), Lines{"starting " + address});

    // Destroyed: asked to quit, unless its session is 0.
    actor.reset();
    EXPECT_EQ(agent.drain(), agent.uid != 0 ? Lines{kill} : Lines{});
}

TEST_F(LaunchActorTest, InSessionActorOfSessionZeroSendsNoKillWhenDestroyed) {
    AgentQueue agent(helpertest::uniqueHelperId(), 0);
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a queue of uid 0 needs root";
    }
    auto actor = ILaunchActor::createLaunchInSessionActor(
        agent.helperId, ApplicationType::UnattendedUi,
        clock.scheduler->getTaskQueue("LaunchInSessionActor"), logger, params, false, 0);
    clock.runDue();
    EXPECT_EQ(agent.drain().size(), 1u);  // the kill of the first Init
    actor.reset();
    EXPECT_TRUE(agent.drain().empty());
}

TEST_F(LaunchActorTest, AsChildActorStartsNothing) {
    auto actor = ILaunchActor::createLaunchAsChildActor(
        ApplicationType::AppletUi, clock.scheduler->getTaskQueue("LaunchAsChildActor"), logger,
        params);
    actor->setDelegate(&delegate);
    clock.runDue();
    EXPECT_EQ(logger.count(ILogger::Info, "run as child, application: 'AppletUi'"), 1u);
    EXPECT_EQ(logger.count(ILogger::Info, "launching"), 1u);
    tick(*actor, 501, 3);
    EXPECT_EQ(logger.count(ILogger::Error, "unable to launch application: 'AppletUi'"), 3u);
    actor->dispatchConnected();
    actor->dispatchDisconnected();
    clock.runDue();
    EXPECT_TRUE(delegate.take().empty());
    EXPECT_EQ(actor->getAddress(), "AppletUi");
    EXPECT_EQ(actor->getSessionId(), static_cast<unsigned long>(-1));
    actor->killProcessIfExists();
}
