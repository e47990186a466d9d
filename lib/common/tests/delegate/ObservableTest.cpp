#include "common/delegate/Observable.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using common::Observable;

namespace {

class IListener {
public:
    virtual ~IListener() = default;
    virtual void onEvent(const std::string& text, int number) = 0;
};

class Subject : public Observable<IListener> {};

// Listeners live in one array, so the set's pointer order is their index order.
struct Listener : IListener {
    void onEvent(const std::string& text, int number) override {
        calls.push_back(text + ":" + std::to_string(number));
        if (action) {
            action();
        }
    }
    std::vector<std::string> calls;
    std::function<void()> action;
};

struct Fixture {
    Subject subject;
    Listener listeners[3];

    void subscribeAll() {
        for (auto& listener : listeners) {
            subject.subscribe(&listener);
        }
    }
    std::vector<size_t> callCounts() const {
        std::vector<size_t> counts;
        for (const auto& listener : listeners) {
            counts.push_back(listener.calls.size());
        }
        return counts;
    }
    void notify() { subject.notifyClients(&IListener::onEvent, std::string("e"), 1); }
};

struct ObservableTest : testing::Test, Fixture {};

}  // namespace

TEST_F(ObservableTest, NotifiesEveryListenerOnceWithTheArguments) {
    subscribeAll();
    subject.subscribe(&listeners[1]);  // a second subscribe keeps one entry
    const std::string text = "text";
    subject.notifyClients(&IListener::onEvent, text, 42);
    for (const auto& listener : listeners) {
        EXPECT_EQ(listener.calls, (std::vector<std::string>{"text:42"}));
    }
    subject.unsubscribe(&listeners[1]);  // one unsubscribe outside a notification removes it
    notify();
    EXPECT_EQ(callCounts(), (std::vector<size_t>{2, 1, 2}));
    EXPECT_FALSE(subject.isUnsubscribed(&listeners[1]));
}

// Who unsubscribes whom from inside a notification, and who is then called.
struct UnsubscribeCase {
    const char* name;
    size_t caller;               // the listener that unsubscribes during its call
    size_t target;               // the listener it unsubscribes
    std::vector<size_t> first;   // calls after the first notification
    std::vector<size_t> second;  // calls after a second notification
};

void PrintTo(const UnsubscribeCase& c, std::ostream* os) {
    *os << c.name;
}

class ObservableUnsubscribeDuringNotify : public testing::TestWithParam<UnsubscribeCase> {};

TEST_P(ObservableUnsubscribeDuringNotify, TakesEffectAtOnce) {
    const UnsubscribeCase& c = GetParam();
    Fixture f;
    f.subscribeAll();
    f.listeners[c.caller].action = [&] {
        f.subject.unsubscribe(&f.listeners[c.target]);
        f.listeners[c.caller].action = nullptr;
    };
    f.notify();
    EXPECT_EQ(f.callCounts(), c.first);
    EXPECT_TRUE(f.subject.isUnsubscribed(&f.listeners[c.target]));
    f.notify();
    EXPECT_EQ(f.callCounts(), c.second);
}

const UnsubscribeCase kUnsubscribeCases[] = {
    {"itself", 1, 1, {1, 1, 1}, {2, 1, 2}},
    {"a later listener is skipped", 0, 2, {1, 1, 0}, {2, 2, 0}},
    {"an earlier listener was already called", 2, 0, {1, 1, 1}, {1, 2, 2}},
};

INSTANTIATE_TEST_SUITE_P(Observable, ObservableUnsubscribeDuringNotify,
                         testing::ValuesIn(kUnsubscribeCases),
                         [](const testing::TestParamInfo<UnsubscribeCase>& info) {
                             std::string name;
                             for (const char ch : std::string(info.param.name)) {
                                 name += ch == ' ' ? '_' : ch;
                             }
                             return name;
                         });

TEST_F(ObservableTest, AMarkedListenerThatSubscribesAgainIsNotifiedAgain) {
    subscribeAll();
    listeners[0].action = [&] {
        subject.unsubscribe(&listeners[1]);
        subject.subscribe(&listeners[1]);  // back before its turn: still called
        subject.unsubscribe(&listeners[2]);
        listeners[0].action = nullptr;
    };
    notify();
    EXPECT_EQ(callCounts(), (std::vector<size_t>{1, 1, 0}));
    EXPECT_FALSE(subject.isUnsubscribed(&listeners[1]));

    subject.subscribe(&listeners[2]);
    EXPECT_FALSE(subject.isUnsubscribed(&listeners[2]));
    notify();
    EXPECT_EQ(callCounts(), (std::vector<size_t>{2, 2, 1}));
}

TEST_F(ObservableTest, NestedNotificationsKeepUnsubscribesMarkedUntilTheOuterOneEnds) {
    subscribeAll();
    listeners[0].action = [&] {
        listeners[0].action = nullptr;
        notify();  // nested: every active listener once
        subject.unsubscribe(&listeners[2]);
    };
    notify();
    EXPECT_EQ(callCounts(), (std::vector<size_t>{2, 2, 1}));
    EXPECT_TRUE(subject.isUnsubscribed(&listeners[2]));
    subject.unsubscribe(&listeners[2]);  // outside a notification: removed for good
    EXPECT_FALSE(subject.isUnsubscribed(&listeners[2]));
    notify();
    EXPECT_EQ(callCounts(), (std::vector<size_t>{3, 3, 1}));
}

TEST_F(ObservableTest, AThrowingListenerEndsTheNotificationButNotTheBookkeeping) {
    subscribeAll();
    listeners[1].action = [] { throw std::runtime_error("listener failed"); };
    EXPECT_THROW(notify(), std::runtime_error);
    listeners[1].action = nullptr;
    // The depth is back to zero: an unsubscribe removes at once instead of marking.
    subject.unsubscribe(&listeners[0]);
    EXPECT_FALSE(subject.isUnsubscribed(&listeners[0]));
    notify();
    EXPECT_EQ(callCounts(), (std::vector<size_t>{1, 2, 1}));
}

TEST_F(ObservableTest, NeverSubscribedPointersAreNotUnsubscribed) {
    EXPECT_FALSE(subject.isUnsubscribed(&listeners[0]));
    subject.unsubscribe(&listeners[0]);
    EXPECT_FALSE(subject.isUnsubscribed(&listeners[0]));
    subject.subscribe(nullptr);  // ignored: the notification must not call through it
    notify();
    EXPECT_EQ(callCounts(), (std::vector<size_t>{0, 0, 0}));
}
