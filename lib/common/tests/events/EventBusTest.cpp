#include "common/events/EventBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

#include "common/events/Event.h"
#include "lib/common/tests/support/LogCapture.h"

using common::ILogger;
using common::events::BaseEvent;
using common::events::Event;
using common::events::EventBus;
using common::events::IEventBus;
using testsupport::LogCapture;

namespace {

constexpr BaseEvent::Type kSession = BaseEvent::LogonSessionChange;
constexpr BaseEvent::Type kOther = static_cast<BaseEvent::Type>(1);

struct SessionEvent : Event<kSession> {
    explicit SessionEvent(int id) : id(id) {}
    int id;
};

struct OtherEvent : Event<kOther> {};

// The number and the enumerator name the same event class.
static_assert(std::is_same<Event<0>, Event<BaseEvent::LogonSessionChange>>::value, "");
static_assert(Event<0>::kType == BaseEvent::LogonSessionChange, "");

int idOf(const std::shared_ptr<BaseEvent>& event) {
    return static_cast<SessionEvent&>(*event).id;
}

// A count of arrivals that other threads can wait for, without depending on how fast anything
// runs.
class Latch {
public:
    explicit Latch(int count) : _count(count) {}
    void arrive() {
        std::lock_guard<std::mutex> lock(_mutex);
        --_count;
        _changed.notify_all();
    }
    bool wait() {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, std::chrono::seconds(60), [&] { return _count <= 0; });
    }

private:
    std::mutex _mutex;
    std::condition_variable _changed;
    int _count;
};

}  // namespace

TEST(EventBus, APostWithoutSubscribersIsNeitherDeliveredNorRemembered) {
    EventBus bus;
    EXPECT_FALSE(bus.post(std::make_shared<SessionEvent>(1)));
    int calls = 0;
    auto connection =
        bus.subscribeAndNotify(kSession, [&](std::shared_ptr<BaseEvent>) { ++calls; });
    EXPECT_TRUE(connection.connected());
    EXPECT_EQ(calls, 0);
}

TEST(EventBus, TheLastEventIsReplayedOnlyToSubscribeAndNotify) {
    EventBus bus;
    std::vector<int> first;
    auto keep =
        bus.subscribe(kSession, [&](std::shared_ptr<BaseEvent> e) { first.push_back(idOf(e)); });
    EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(1)));
    EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(2)));
    EXPECT_EQ(first, (std::vector<int>{1, 2}));

    std::vector<int> plain;
    std::vector<int> notified;
    auto a =
        bus.subscribe(kSession, [&](std::shared_ptr<BaseEvent> e) { plain.push_back(idOf(e)); });
    auto b = bus.subscribeAndNotify(
        kSession, [&](std::shared_ptr<BaseEvent> e) { notified.push_back(idOf(e)); });
    EXPECT_TRUE(plain.empty());
    EXPECT_EQ(notified, (std::vector<int>{2}));

    // Other types keep their own last event; a type never posted replays nothing.
    int otherCalls = 0;
    auto c = bus.subscribeAndNotify(kOther, [&](std::shared_ptr<BaseEvent>) { ++otherCalls; });
    EXPECT_EQ(otherCalls, 0);
    EXPECT_TRUE(bus.post(std::make_shared<OtherEvent>()));
    EXPECT_EQ(otherCalls, 1);
    EXPECT_EQ(first, (std::vector<int>{1, 2}));
}

TEST(EventBus, HandlersRunInSubscriptionOrderUntilDisconnected) {
    EventBus bus;
    std::vector<std::string> calls;
    auto one = bus.subscribe(kSession, [&](std::shared_ptr<BaseEvent>) { calls.push_back("one"); });
    boost::signals2::scoped_connection two =
        bus.subscribe(kSession, [&](std::shared_ptr<BaseEvent>) { calls.push_back("two"); });
    auto three =
        bus.subscribe(kSession, [&](std::shared_ptr<BaseEvent>) { calls.push_back("three"); });
    EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(1)));
    EXPECT_EQ(calls, (std::vector<std::string>{"one", "two", "three"}));

    calls.clear();
    one.disconnect();
    two = boost::signals2::scoped_connection();  // the scoped handle ends the subscription
    EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(2)));
    EXPECT_EQ(calls, (std::vector<std::string>{"three"}));

    three.disconnect();
    calls.clear();
    EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(3)));  // still a subscribed type
    EXPECT_TRUE(calls.empty());
}

TEST(EventBus, HandlersMayPostAndSubscribeFromInside) {
    EventBus bus;
    std::vector<std::string> calls;
    boost::signals2::connection late;
    auto other =
        bus.subscribe(kOther, [&](std::shared_ptr<BaseEvent>) { calls.push_back("other"); });
    auto session = bus.subscribe(kSession, [&](std::shared_ptr<BaseEvent> e) {
        calls.push_back("session " + std::to_string(idOf(e)));
        if (idOf(e) == 1) {
            EXPECT_TRUE(bus.post(std::make_shared<OtherEvent>()));
            EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(2)));
            late = bus.subscribeAndNotify(
                kSession, [&](std::shared_ptr<BaseEvent>) { calls.push_back("late"); });
        }
    });
    EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(1)));
    EXPECT_EQ(calls, (std::vector<std::string>{"session 1", "other", "session 2", "late"}));
    EXPECT_TRUE(late.connected());
}

TEST(EventBus, ABusyBusMakesOtherThreadsGiveUpWithAnError) {
    using Clock = std::chrono::steady_clock;
    auto log = LogCapture::install();
    EventBus bus;
    Latch inHandler(1);
    Latch othersDone(3);
    // Holds the bus until every other thread has given up, however long that takes.
    auto blocker = bus.subscribe(kSession, [&](std::shared_ptr<BaseEvent>) {
        inHandler.arrive();
        EXPECT_TRUE(othersDone.wait());
    });

    // The three operations wait side by side, so the test lasts one give-up, not three.
    std::atomic<bool> posted{true};
    std::atomic<bool> subscribed{true};
    std::atomic<bool> subscribedAndNotified{true};
    std::atomic<int> calls{0};
    std::vector<Clock::duration> waited(3);
    auto attempt = [&](size_t index, const std::function<void()>& operation) {
        return std::thread([&, index, operation] {
            EXPECT_TRUE(inHandler.wait());
            const auto start = Clock::now();
            operation();
            waited[index] = Clock::now() - start;
            othersDone.arrive();
        });
    };
    std::thread threads[] = {
        attempt(0, [&] { posted = bus.post(std::make_shared<SessionEvent>(2)); }),
        attempt(1,
                [&] {
                    subscribed =
                        bus.subscribe(kSession, [&](std::shared_ptr<BaseEvent>) { ++calls; })
                            .connected();
                }),
        attempt(2,
                [&] {
                    subscribedAndNotified =
                        bus.subscribeAndNotify(kSession,
                                               [&](std::shared_ptr<BaseEvent>) { ++calls; })
                            .connected();
                }),
    };
    EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(1)));
    for (auto& thread : threads) {
        thread.join();
    }

    EXPECT_FALSE(posted);
    EXPECT_FALSE(subscribed);
    EXPECT_FALSE(subscribedAndNotified);
    EXPECT_EQ(calls, 0);
    // Four attempts of 500 ms each before giving up: a lower bound, which load only lengthens.
    for (const auto& duration : waited) {
        EXPECT_GE(duration, std::chrono::milliseconds(2000));
    }
    EXPECT_TRUE(
        log->waitFor(ILogger::Error, "failed to post event, mutex lock can't be acquired in time"));
    EXPECT_TRUE(
        log->waitFor(ILogger::Error, "failed to subscribe, mutex lock can't be acquired in time"));
    // Once free again, the bus works for everybody.
    blocker.disconnect();
    std::thread later([&] { posted = bus.post(std::make_shared<SessionEvent>(3)); });
    later.join();
    EXPECT_TRUE(posted);
}

TEST(EventBus, BadInputAndFailingHandlersAreLoggedNotThrown) {
    auto log = LogCapture::install();
    EventBus bus;
    EXPECT_FALSE(bus.post(nullptr));
    EXPECT_FALSE(bus.subscribe(kSession, IEventBus::Handler()).connected());

    int afterFailure = 0;
    auto failing = bus.subscribe(
        kSession, [](std::shared_ptr<BaseEvent>) { throw std::runtime_error("handler broke"); });
    EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(1)));
    EXPECT_TRUE(log->waitFor(ILogger::Error, "handler broke"));

    // The replay of subscribeAndNotify is protected the same way.
    auto replayFailing = bus.subscribeAndNotify(
        kSession, [](std::shared_ptr<BaseEvent>) { throw std::runtime_error("replay broke"); });
    EXPECT_TRUE(replayFailing.connected());
    EXPECT_TRUE(log->waitFor(ILogger::Error, "replay broke"));

    failing.disconnect();
    replayFailing.disconnect();
    auto counting = bus.subscribe(kSession, [&](std::shared_ptr<BaseEvent>) { ++afterFailure; });
    EXPECT_TRUE(bus.post(std::make_shared<SessionEvent>(2)));
    EXPECT_EQ(afterFailure, 1);
}

TEST(EventBus, TheProcessBusIsOneObject) {
    IEventBus& bus = IEventBus::instance();
    EXPECT_EQ(&bus, &IEventBus::instance());
    int calls = 0;
    boost::signals2::scoped_connection connection =
        bus.subscribe(kOther, [&](std::shared_ptr<BaseEvent> e) { calls += e->type() == kOther; });
    EXPECT_TRUE(IEventBus::instance().post(std::make_shared<OtherEvent>()));
    EXPECT_EQ(calls, 1);
}
