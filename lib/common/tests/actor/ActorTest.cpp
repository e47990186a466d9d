#include "common/actor/Actor.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/actor/Stoppable.h"
#include "common/taskscheduler/TaskScheduler.h"

using namespace std::chrono_literals;

namespace {

class ManualScheduler : public common::TaskScheduler {
public:
    using TaskScheduler::TaskScheduler;
    int run(const std::vector<std::string>&) override { return 0; }
    void quit() override {}
};

// A small state machine: state A takes Ping and the query Ask; state B takes Ping and Pong.
class Machine {
public:
    struct Ping {
        int value;
    };
    struct Pong {};
    struct Ask {};

    explicit Machine(std::unique_ptr<common::ITaskQueue> queue) : actor(this, std::move(queue)) {}

    void stateA(common::Actor<Machine>& a) {
        log.push_back("enter A");
        a.subscribe<Ping>([this](common::Actor<Machine>&, Ping p) {
            log.push_back("A ping " + std::to_string(p.value));
        });
        a.subscribe<bool, Ask>([](common::Actor<Machine>&, Ask) { return true; });
    }
    void stateB(common::Actor<Machine>& a, std::string tag) {
        log.push_back("enter B " + tag);
        a.subscribe<Ping>([this](common::Actor<Machine>&, Ping p) {
            log.push_back("B ping " + std::to_string(p.value));
        });
        a.subscribe<Pong>([this](common::Actor<Machine>&, Pong) { log.push_back("B pong"); });
        // A void subscription does not answer a query of the same type.
        a.subscribe<Ask>([this](common::Actor<Machine>&, Ask) { log.push_back("B ask"); });
    }

    std::vector<std::string> log;
    common::Actor<Machine> actor;
};

class ActorTest : public ::testing::Test {
protected:
    void drain() {
        for (int i = 0; i < 1000 && scheduler->getTasksSize() > 0; ++i) {
            scheduler->tick();
        }
    }

    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>(
        common::ILogger::create("TaskScheduler"), 10ms,
        common::TaskScheduler::TimeSource{
            [] { return common::TaskScheduler::TimePoint(std::chrono::hours(1)); },
            [](const std::chrono::milliseconds&) {}});
};

TEST_F(ActorTest, EventsMeetTheStateCurrentWhenTheirTaskRuns) {
    Machine machine(scheduler->getTaskQueue("ActorTest"));
    // Before any state everything is discarded.
    machine.actor.dispatch(Machine::Ping{0});
    EXPECT_FALSE(machine.actor.query<bool>(Machine::Ask{}));
    machine.actor.became(&Machine::stateA);
    machine.actor.dispatch(Machine::Ping{1});
    // Not accepted by A: gone, also once B accepts it.
    machine.actor.dispatch(Machine::Pong{});
    machine.actor.became<std::string>(&Machine::stateB, "x");
    machine.actor.dispatch(Machine::Ping{2});
    // The query still sees A until the change of state has run.
    drain();
    EXPECT_EQ(machine.log,
              (std::vector<std::string>{"enter A", "A ping 1", "enter B x", "B ping 2"}));
    EXPECT_FALSE(machine.actor.query<bool>(Machine::Ask{}));
}

TEST_F(ActorTest, QueryBeforeTheChangeOfStateRunsSeesTheOldState) {
    Machine machine(scheduler->getTaskQueue("ActorTest"));
    machine.actor.became(&Machine::stateA);
    drain();
    machine.actor.became<std::string>(&Machine::stateB, "y");
    EXPECT_TRUE(machine.actor.query<bool>(Machine::Ask{}));
    drain();
    EXPECT_FALSE(machine.actor.query<bool>(Machine::Ask{}));
}

TEST_F(ActorTest, ASecondSubscriptionReplacesTheFirst) {
    struct Owner {
        explicit Owner(std::unique_ptr<common::ITaskQueue> q) : actor(this, std::move(q)) {}
        void state(common::Actor<Owner>& a) {
            a.subscribe<int>([this](common::Actor<Owner>&, int v) { seen.push_back(v); });
            a.subscribe<int>([this](common::Actor<Owner>&, int v) { seen.push_back(v * 10); });
        }
        std::vector<int> seen;
        common::Actor<Owner> actor;
    };
    Owner owner(scheduler->getTaskQueue("ActorTest"));
    owner.actor.became(&Owner::state);
    owner.actor.dispatch(4);
    drain();
    EXPECT_EQ(owner.seen, std::vector<int>{40});
}

TEST_F(ActorTest, DestroyingTheActorRunsNoneOfItsQueuedWork) {
    std::weak_ptr<int> held;
    {
        Machine machine(scheduler->getTaskQueue("ActorTest"));
        machine.actor.became(&Machine::stateA);
        auto probe = std::make_shared<int>(0);
        held = probe;
        machine.actor.dispatch(Machine::Ping{7});
        machine.actor.dispatch(std::function<void()>([probe] { FAIL() << "must not run"; }));
        probe.reset();
        EXPECT_FALSE(held.expired());
        EXPECT_TRUE(machine.log.empty());
    }
    // The dropped event held the last reference: released, never called.
    EXPECT_TRUE(held.expired());
    EXPECT_EQ(scheduler->getTasksSize(), 0u);
}

TEST_F(ActorTest, HandlerThatChangesStateAndCallsBackMeetsTheNewStateWithLaterEvents) {
    struct Owner {
        explicit Owner(std::unique_ptr<common::ITaskQueue> q) : actor(this, std::move(q)) {}
        void first(common::Actor<Owner>& a) {
            a.subscribe<int>([this](common::Actor<Owner>& self, int) {
                self.became(&Owner::second);
                // A "completion" that dispatches: queued behind the change of state.
                self.dispatch(std::string("after"));
            });
            a.subscribe<std::string>(
                [this](common::Actor<Owner>&, std::string s) { seen.push_back("first " + s); });
        }
        void second(common::Actor<Owner>& a) {
            a.subscribe<std::string>(
                [this](common::Actor<Owner>&, std::string s) { seen.push_back("second " + s); });
        }
        std::vector<std::string> seen;
        common::Actor<Owner> actor;
    };
    Owner owner(scheduler->getTaskQueue("ActorTest"));
    owner.actor.became(&Owner::first);
    owner.actor.dispatch(1);
    drain();
    EXPECT_EQ(owner.seen, std::vector<std::string>{"second after"});
}

class Stopper : public common::Stoppable {
public:
    bool stop() override {
        if (isStopped()) {
            return false;
        }
        ++work;
        return markStopped();
    }
    int work = 0;
};

TEST(StoppableTest, SecondStopAnswersFalseAndDoesNothing) {
    Stopper stopper;
    EXPECT_FALSE(stopper.isStopped());
    EXPECT_TRUE(stopper.stop());
    EXPECT_TRUE(stopper.isStopped());
    EXPECT_FALSE(stopper.stop());
    EXPECT_EQ(stopper.work, 1);
}

}  // namespace
