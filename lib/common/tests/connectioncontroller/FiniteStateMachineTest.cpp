#include "common/connectioncontroller/FiniteStateMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum class Light : int { Off = 0, On = 1, Broken = 2 };
enum class Switch : int { Toggle = 0, Dim = 1, Hit = 2, Echo = 3 };

class Lamp;
using Machine = common::FiniteStateMachine<Lamp, Light, Switch>;

class Lamp {
public:
    Lamp() : machine(this, Light::Off) {
        machine.add(Light::Off, Switch::Toggle, &Lamp::turnOn);
        machine.add(Light::On, Switch::Toggle, &Lamp::turnOff);
        machine.add(Light::On, Switch::Dim, &Lamp::dim);
        machine.add(Light::On, Switch::Hit, &Lamp::hit);
        machine.add(Light::Off, Switch::Echo, &Lamp::echo);
    }

    Light turnOn() {
        calls.push_back("on");
        return Light::On;
    }
    Light turnOff() {
        calls.push_back("off");
        return Light::Off;
    }
    // Keeps the state.
    Light dim(int level, std::string label) {
        calls.push_back("dim " + std::to_string(level) + " " + label);
        return machine.getState();
    }
    Light hit(std::string, uint16_t, std::string, std::string what) {
        calls.push_back("hit " + what);
        return Light::Broken;
    }
    // Handles another event from inside a handler, on the same thread.
    Light echo() {
        machine.Do(Switch::Toggle);
        calls.push_back("echo in " + std::to_string(static_cast<int>(machine.getState())));
        return machine.getState();
    }

    Machine machine;
    std::vector<std::string> calls;
};

class Listener : public common::FiniteStateMachineDelegate<Lamp, Light, Switch> {
public:
    void finiteStateMachineDidChangeState(const Machine&, const Light& from,
                                          const Light& to) const override {
        heard.push_back("change " + std::to_string(static_cast<int>(from)) + "->" +
                        std::to_string(static_cast<int>(to)));
    }
    void finiteStateMachineWillDoEvent(const Machine&, const Light& state,
                                       const Switch& event) const override {
        heard.push_back("will " + std::to_string(static_cast<int>(event)) + " in " +
                        std::to_string(static_cast<int>(state)));
    }
    void finiteStateMachineDroppedEvent(const Machine&, const Light& state,
                                        const Switch& event) const override {
        heard.push_back("drop " + std::to_string(static_cast<int>(event)) + " in " +
                        std::to_string(static_cast<int>(state)));
    }
    mutable std::vector<std::string> heard;
};

class FiniteStateMachineTest : public ::testing::Test {
protected:
    void SetUp() override { lamp.machine.setDelegate(&listener); }
    Lamp lamp;
    Listener listener;
};

TEST_F(FiniteStateMachineTest, HandledEventIsAnnouncedThenChangesState) {
    lamp.machine.Do(Switch::Toggle);
    EXPECT_EQ(lamp.machine.getState(), Light::On);
    EXPECT_EQ(lamp.calls, (std::vector<std::string>{"on"}));
    EXPECT_EQ(listener.heard, (std::vector<std::string>{"will 0 in 0", "change 0->1"}));
}

TEST_F(FiniteStateMachineTest, EventWithoutRowIsOnlyReportedAsDropped) {
    lamp.machine.Do(Switch::Dim, 3, std::string("x"));
    EXPECT_EQ(lamp.machine.getState(), Light::Off);
    EXPECT_TRUE(lamp.calls.empty());
    EXPECT_EQ(listener.heard, (std::vector<std::string>{"drop 1 in 0"}));
}

TEST_F(FiniteStateMachineTest, ArgumentsOfOtherTypesCountAsNoRow) {
    lamp.machine.setState(Light::On);
    listener.heard.clear();
    lamp.machine.Do(Switch::Dim, 3L, std::string("x"));  // long, not int
    lamp.machine.Do(Switch::Dim, 3);                     // one argument too few
    lamp.machine.Do(Switch::Toggle, 1);                  // an argument the row does not take
    EXPECT_TRUE(lamp.calls.empty());
    EXPECT_EQ(listener.heard,
              (std::vector<std::string>{"drop 1 in 1", "drop 1 in 1", "drop 0 in 1"}));
}

TEST_F(FiniteStateMachineTest, ArgumentsReachTheHandlerAndKeepingTheStateIsNoChange) {
    lamp.machine.setState(Light::On);
    listener.heard.clear();
    lamp.machine.Do(Switch::Dim, 7, std::string("warm"));
    lamp.machine.Do(Switch::Hit, std::string("h"), uint16_t{80}, std::string("u"),
                    std::string("hammer"));
    EXPECT_EQ(lamp.calls, (std::vector<std::string>{"dim 7 warm", "hit hammer"}));
    EXPECT_EQ(lamp.machine.getState(), Light::Broken);
    EXPECT_EQ(listener.heard,
              (std::vector<std::string>{"will 1 in 1", "will 2 in 1", "change 1->2"}));
}

TEST_F(FiniteStateMachineTest, LastAddForARowWins) {
    lamp.machine.add(Light::Off, Switch::Toggle, &Lamp::turnOff);
    lamp.machine.Do(Switch::Toggle);
    EXPECT_EQ(lamp.calls, (std::vector<std::string>{"off"}));
    EXPECT_EQ(lamp.machine.getState(), Light::Off);
}

TEST_F(FiniteStateMachineTest, HandlerMayDriveTheMachineAgainOnTheSameThread) {
    lamp.machine.Do(Switch::Echo);
    // The inner Toggle moved to On; the outer handler returned the state it then read.
    EXPECT_EQ(lamp.calls, (std::vector<std::string>{"on", "echo in 1"}));
    EXPECT_EQ(lamp.machine.getState(), Light::On);
}

TEST_F(FiniteStateMachineTest, WithoutDelegateEventsAreHandledAndDroppedSilently) {
    lamp.machine.setDelegate(nullptr);
    lamp.machine.Do(Switch::Toggle);
    lamp.machine.Do(Switch::Echo);
    EXPECT_EQ(lamp.machine.getState(), Light::On);
    EXPECT_EQ(lamp.calls, (std::vector<std::string>{"on"}));
    EXPECT_TRUE(listener.heard.empty());
}

}  // namespace
