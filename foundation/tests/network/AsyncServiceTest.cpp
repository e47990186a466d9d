#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "LogRecorder.h"
#include "ServicePolling.h"
#include "foundation/logging/ThreadName.h"
#include "foundation/network/AsyncExecutor.h"
#include "foundation/network/AsyncService.h"

using network::AsyncService;
using std::chrono::steady_clock;

TEST(AsyncServiceTest, PolledServiceRunsHandlersOnlyInsidePoll) {
    AsyncService service(AsyncService::Polled, "PolledService");
    EXPECT_FALSE(service.HasOwnThread());
    ASSERT_TRUE(service.GetExecutor());

    const auto caller = std::this_thread::get_id();
    std::thread::id ranOn;
    int runs = 0;
    service.Schedule(steady_clock::now() - std::chrono::seconds(1), [&] {
        ++runs;
        ranOn = std::this_thread::get_id();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(runs, 0) << "nothing runs without a poll";

    EXPECT_EQ(service.Poll(), 1u);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ranOn, caller);
}

TEST(AsyncServiceTest, PollWithNothingReadyReturnsAtOnce) {
    AsyncService service(static_cast<AsyncService::StartupStrategy>(7), "AnyOtherValue");
    EXPECT_FALSE(service.HasOwnThread()) << "every value but OwnThread is polled";
    bool ran = false;
    service.Schedule(steady_clock::now() + std::chrono::hours(1), [&] { ran = true; });
    const auto start = steady_clock::now();
    EXPECT_EQ(service.Poll(), 0u);
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(ran);
}

TEST(AsyncServiceTest, ScheduledCallbacksRunInTimeOrder) {
    AsyncService service(AsyncService::Polled, "Order");
    std::vector<int> order;
    const auto now = steady_clock::now();
    service.Schedule(now + std::chrono::milliseconds(60), [&] { order.push_back(3); });
    service.Schedule(now - std::chrono::milliseconds(5), [&] { order.push_back(1); });
    service.Schedule(now + std::chrono::milliseconds(20), [&] { order.push_back(2); });
    ASSERT_TRUE(networktest::PollUntil(service, [&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(AsyncServiceTest, OwnThreadIsNamedBeforeItRunsHandlers) {
    networktest::ScopedLogRecorder log;
    AsyncService service(AsyncService::OwnThread, "NetworkWorker");
    EXPECT_TRUE(service.HasOwnThread());
    std::promise<std::string> name;
    service.Schedule(steady_clock::now() - std::chrono::seconds(1),
                     [&] { name.set_value(core::GetThreadName()); });
    auto future = name.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), "NetworkWorker");
    EXPECT_EQ(service.Poll(), 0u) << "an own-thread service is not polled";
}

TEST(AsyncServiceTest, TerminateDestroysPendingHandlersAndIsIdempotent) {
    auto token = std::make_shared<int>(1);
    std::weak_ptr<int> watch = token;
    bool ran = false;
    AsyncService service(AsyncService::Polled, "Terminate");
    service.Schedule(steady_clock::now() + std::chrono::hours(1),
                     [&ran, token] { ran = *token == 1; });
    token.reset();
    EXPECT_FALSE(watch.expired());
    service.Terminate();
    EXPECT_TRUE(watch.expired()) << "the pending handler was destroyed";
    EXPECT_FALSE(ran);
    EXPECT_FALSE(service.GetExecutor());
    service.Terminate();
    EXPECT_EQ(service.Poll(), 0u);
    EXPECT_THROW(service.GetImplementation(), std::logic_error);
}

TEST(AsyncServiceTest, DestroyedFromItsOwnHandlerDetachesTheThread) {
    auto* service = new AsyncService(AsyncService::OwnThread, "SelfDestroy");
    std::promise<void> done;
    service->Schedule(steady_clock::now(), [&] {
        delete service;  // joining here would deadlock
        done.set_value();
    });
    auto future = done.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    // Give the detached thread the moment it needs to release the executor.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(AsyncServiceTest, OwnThreadServiceStopsWhenDestroyed) {
    std::atomic<int> runs{0};
    {
        AsyncService service(AsyncService::OwnThread, "Stopper");
        std::promise<void> first;
        service.Schedule(steady_clock::now(), [&] {
            ++runs;
            first.set_value();
        });
        first.get_future().wait_for(std::chrono::seconds(10));
        service.Schedule(steady_clock::now() + std::chrono::hours(1), [&] { ++runs; });
    }
    EXPECT_EQ(runs.load(), 1);
}
