#include "common/taskscheduler/TaskSchedulerMac.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "SchedulerTestSupport.h"
#include "platform/runloop/PlainRunLoop.h"

using common::ITaskQueue;
using common::ITaskScheduler;
using common::TaskScheduler;
using schedulertest::doNothing;
using schedulertest::LogRecords;
using schedulertest::RecordingLogger;
using namespace std::chrono_literals;

namespace {

// Hands the scheduler a plain run loop that the test can still reach, so a watchdog can end a
// run that a fault would otherwise leave looping.
class SharedRunLoop : public standin::IRunLoop {
public:
    explicit SharedRunLoop(std::shared_ptr<standin::PlainRunLoop> loop) : _loop(std::move(loop)) {}
    void run(const std::chrono::milliseconds& tick, const std::function<void()>& onTick) override {
        _loop->run(tick, onTick);
    }
    void quit() override { _loop->quit(); }

private:
    std::shared_ptr<standin::PlainRunLoop> _loop;
};

class TaskSchedulerMacTest : public ::testing::Test {
protected:
    std::shared_ptr<ITaskScheduler> makeScheduler() {
        return TaskScheduler::create(1ms, std::make_unique<RecordingLogger>(logs),
                                     std::make_unique<SharedRunLoop>(loop));
    }

    // scheduler.run({}), ended by the watchdog (and failing the test) if it is still running
    // after a minute.
    int runGuarded(ITaskScheduler& scheduler) {
        std::mutex mutex;
        std::condition_variable done;
        bool returned = false;
        bool timedOut = false;
        std::thread watchdog([&] {
            std::unique_lock<std::mutex> lock(mutex);
            if (!done.wait_for(lock, 60s, [&] { return returned; })) {
                timedOut = true;
                loop->quit();
            }
        });
        const int result = scheduler.run({});
        {
            std::lock_guard<std::mutex> lock(mutex);
            returned = true;
        }
        done.notify_all();
        watchdog.join();
        EXPECT_FALSE(timedOut) << "run did not return";
        return result;
    }

    std::shared_ptr<LogRecords> logs = std::make_shared<LogRecords>();
    std::shared_ptr<standin::PlainRunLoop> loop = std::make_shared<standin::PlainRunLoop>();
};

TEST_F(TaskSchedulerMacTest, QuitFromATaskEndsRunWithZero) {
    // The default run loop of create(tick, logger).
    std::shared_ptr<ITaskScheduler> scheduler =
        TaskScheduler::create(1ms, std::make_unique<RecordingLogger>(logs));
    auto queue = scheduler->getTaskQueue("Main");
    int runs = 0;
    queue->push(
        [&](bool& reschedule, unsigned long) {
            reschedule = ++runs < 3;
            if (!reschedule) {
                scheduler->quit();
            }
        },
        1ms, ITaskQueue::Normal);
    EXPECT_EQ(scheduler->run({}), 0);
    EXPECT_EQ(runs, 3);
}

TEST_F(TaskSchedulerMacTest, QuitBeforeRunEndsTheNextRunAtOnce) {
    auto scheduler = makeScheduler();
    auto queue = scheduler->getTaskQueue("Main");
    bool ran = false;
    queue->push(
        [&](bool&, unsigned long) {
            ran = true;
            scheduler->quit();
        },
        ITaskQueue::Normal);

    scheduler->quit();
    EXPECT_EQ(runGuarded(*scheduler), 0);
    EXPECT_FALSE(ran);  // ended before its first tick

    // The early request is used up: this run ticks until the task quits.
    EXPECT_EQ(runGuarded(*scheduler), 0);
    EXPECT_TRUE(ran);
}

TEST_F(TaskSchedulerMacTest, RunWhileRunningReturnsOne) {
    auto scheduler = makeScheduler();
    auto queue = scheduler->getTaskQueue("Main");
    int nested = -1;
    queue->push(
        [&](bool&, unsigned long) {
            nested = scheduler->run({});
            scheduler->quit();
        },
        ITaskQueue::Normal);
    EXPECT_EQ(runGuarded(*scheduler), 0);
    EXPECT_EQ(nested, 1);
}

TEST_F(TaskSchedulerMacTest, FinishingTheLastLiveQueueEndsRun) {
    auto scheduler = makeScheduler();
    auto first = scheduler->getTaskQueue("First");
    auto second = scheduler->getTaskQueue("Second");
    std::vector<std::string> ran;
    first->push(
        [&](bool&, unsigned long) {
            ran.push_back("destroy second");
            second.reset();  // another queue is still live: the loop goes on
            first->push(
                [&](bool&, unsigned long) {
                    ran.push_back("destroy first");
                    first.reset();  // the last live queue: the loop ends
                },
                5ms, ITaskQueue::Normal);
        },
        ITaskQueue::Normal);
    EXPECT_EQ(runGuarded(*scheduler), 0);
    EXPECT_EQ(ran, (std::vector<std::string>{"destroy second", "destroy first"}));
}

TEST_F(TaskSchedulerMacTest, AShortLivedQueueBeforeRunDoesNotEndTheProgram) {
    auto scheduler = makeScheduler();
    // A component that makes and drops a temporary queue while the program is set up: it is
    // the last live queue when it is finished, but the loop has not started yet.
    scheduler->getTaskQueue("Temporary").reset();

    auto queue = scheduler->getTaskQueue("Main");
    int ticks = 0;
    queue->push(
        [&](bool& reschedule, unsigned long) {
            reschedule = ++ticks < 3;
            if (!reschedule) {
                scheduler->quit();
            }
        },
        1ms, ITaskQueue::Normal);
    EXPECT_EQ(runGuarded(*scheduler), 0);
    EXPECT_EQ(ticks, 3);  // the loop ran until the program quit it
}

TEST_F(TaskSchedulerMacTest, DestroyingTheSchedulerFromATaskEndsRun) {
    std::shared_ptr<ITaskScheduler> scheduler = makeScheduler();
    ITaskScheduler* running = scheduler.get();
    auto queue = scheduler->getTaskQueue("Owner");
    auto held = std::make_shared<int>(0);
    // The task drops the last reference and then asks to run again, so the scheduler is
    // still used after the task returns.
    queue->push(
        [&](bool& reschedule, unsigned long) {
            scheduler.reset();
            reschedule = true;
        },
        ITaskQueue::Normal);
    queue->push([held](bool&, unsigned long) {}, 1h, ITaskQueue::Normal);

    EXPECT_EQ(runGuarded(*running), 0);
    EXPECT_EQ(scheduler, nullptr);
    EXPECT_EQ(held.use_count(), 1);  // the pending task was dropped with the scheduler
    EXPECT_EQ(queue->push(doNothing, ITaskQueue::Normal), TaskScheduler::kRefused);
}

}  // namespace
