#include "common/taskscheduler/TaskScheduler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>

#include "SchedulerTestSupport.h"

using common::ILogger;
using common::ITaskQueue;
using common::TaskScheduler;
using schedulertest::doNothing;
using schedulertest::LogRecords;
using schedulertest::RecordingLogger;
using namespace std::chrono_literals;

namespace {

constexpr unsigned long kRefused = TaskScheduler::kRefused;

// The scheduler without a run loop: tests call tick() themselves and count quit requests.
class ManualScheduler : public TaskScheduler {
public:
    using TaskScheduler::TaskScheduler;
    int run(const std::vector<std::string>&) override { return 0; }
    void quit() override { ++quitCalls; }
    std::atomic<int> quitCalls{0};
};

// Every scheduler here reads a clock the test moves; `flush`'s tick sleep moves it as well.
class TaskSchedulerTest : public ::testing::Test {
protected:
    std::shared_ptr<ManualScheduler> makeScheduler(std::chrono::milliseconds tick = 10ms) {
        TaskScheduler::TimeSource source{[this] { return now; },
                                         [this](const std::chrono::milliseconds& duration) {
                                             now += duration;
                                             ++sleeps;
                                         }};
        return std::make_shared<ManualScheduler>(std::make_unique<RecordingLogger>(logs), tick,
                                                 source);
    }

    // Ticks until the list is empty (bounded, so a fault cannot hang the test).
    void tickUntilEmpty() {
        for (int i = 0; i < 100 && scheduler->getTasksSize() > 0; ++i) {
            scheduler->tick();
        }
    }

    TaskScheduler::TimePoint now = TaskScheduler::TimePoint(std::chrono::hours(1));
    int sleeps = 0;
    std::shared_ptr<LogRecords> logs = std::make_shared<LogRecords>();
    std::shared_ptr<ManualScheduler> scheduler = makeScheduler();
};

TEST_F(TaskSchedulerTest, QueueNamesCarryAFreshTenCharacterId) {
    auto first = scheduler->getTaskQueue("Connection");
    auto second = scheduler->getTaskQueue("Connection");
    EXPECT_THAT(first->getName(), ::testing::MatchesRegex("Connection \\([0-9a-zA-Z]{10}\\)"));
    EXPECT_THAT(second->getName(), ::testing::MatchesRegex("Connection \\([0-9a-zA-Z]{10}\\)"));
    EXPECT_NE(first->getName(), second->getName());

    ManualScheduler unshared(std::make_unique<RecordingLogger>(logs), 10ms);
    EXPECT_THROW(unshared.getTaskQueue("Connection"), std::bad_weak_ptr);
}

TEST_F(TaskSchedulerTest, TaskIdsAreSharedByAllQueuesAndKeptOnReschedule) {
    auto one = scheduler->getTaskQueue("One");
    auto two = scheduler->getTaskQueue("Two");

    EXPECT_EQ(one->push(doNothing, ITaskQueue::Normal), 0u);
    EXPECT_EQ(two->push(doNothing, 5ms, ITaskQueue::High), 1u);
    // Refused pushes consume no id: an unknown queue, and a task without a function.
    EXPECT_EQ(scheduler->push("Unknown (0123456789)", doNothing, 0ms, ITaskQueue::Normal),
              kRefused);
    EXPECT_EQ(one->push(ITaskQueue::Task(), ITaskQueue::Normal), kRefused);

    std::vector<unsigned long> seen;
    const unsigned long periodic = two->push(
        [&](bool& reschedule, unsigned long id) {
            seen.push_back(id);
            reschedule = seen.size() < 3;
        },
        0ms, ITaskQueue::Normal);
    EXPECT_EQ(periodic, 2u);

    now += 10ms;
    tickUntilEmpty();
    EXPECT_EQ(seen, (std::vector<unsigned long>{2, 2, 2}));
    EXPECT_EQ(one->push(doNothing, ITaskQueue::Normal), 3u);
}

struct OrderStep {
    std::string label;
    int queue;
    int priority;
    int reschedules;  // how many times the task asks to run again
};

struct OrderCase {
    const char* description;
    std::vector<OrderStep> pushes;
    std::vector<std::string> expected;
};

TEST_F(TaskSchedulerTest, TasksRunOnePerTickInPriorityAndPushOrder) {
    const std::vector<OrderCase> cases = {
        {"normal tasks in push order, high ones first and among themselves in push order",
         {{"A", 0, 0, 0}, {"B", 1, 0, 0}, {"H1", 0, 2, 0}, {"H2", 1, 2, 0}},
         {"H1", "H2", "A", "B"}},
        {"a greater priority runs before a lower non-zero one",
         {{"A", 0, 0, 0}, {"M", 1, 1, 0}, {"H", 0, 2, 0}},
         {"H", "M", "A"}},
        {"a rescheduled high task goes after the first lower task (between A and B)",
         {{"P", 0, 2, 1}, {"A", 0, 0, 0}, {"B", 1, 0, 0}},
         {"P", "A", "P", "B"}},
        {"a rescheduled normal task goes to the end",
         {{"R", 0, 0, 1}, {"A", 1, 0, 0}, {"B", 1, 0, 0}},
         {"R", "A", "B", "R"}},
    };

    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.description);
        std::unique_ptr<ITaskQueue> queues[] = {scheduler->getTaskQueue("First"),
                                                scheduler->getTaskQueue("Second")};
        std::vector<std::string> ran;
        for (const auto& step : testCase.pushes) {
            auto remaining = std::make_shared<int>(step.reschedules);
            queues[step.queue]->push(
                [&ran, remaining, label = step.label](bool& reschedule, unsigned long) {
                    ran.push_back(label);
                    reschedule = (*remaining)-- > 0;
                },
                0ms, static_cast<ITaskQueue::TaskPriority>(step.priority));
        }
        // One tick runs exactly one task.
        scheduler->tick();
        EXPECT_EQ(ran.size(), 1u);
        tickUntilEmpty();
        EXPECT_EQ(ran, testCase.expected);
    }
}

TEST_F(TaskSchedulerTest, ATaskIsDueWithinOneMillisecondOfItsDueTime) {
    struct Case {
        std::chrono::milliseconds delay;
        std::chrono::microseconds elapsed;
        bool runs;
    };
    const Case cases[] = {
        {5ms, 3900us, false}, {5ms, 4100us, true}, {5ms, 5000us, true},
        {5ms, 0us, false},    {0ms, 0us, true},    {-5ms, 0us, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "delay " << c.delay.count() << " ms, tick after "
                                        << c.elapsed.count() << " us");
        auto queue = scheduler->getTaskQueue("Timer");
        bool ran = false;
        queue->push([&](bool&, unsigned long) { ran = true; }, c.delay, ITaskQueue::Normal);
        now += c.elapsed;
        scheduler->tick();
        EXPECT_EQ(ran, c.runs);
        queue->finish(doNothing, true);
    }
}

TEST_F(TaskSchedulerTest, DelaysBeyondTheClockRangeNeverComeDue) {
    auto queue = scheduler->getTaskQueue("Far");
    bool ran = false;
    queue->push([&](bool&, unsigned long) { ran = true; }, std::chrono::milliseconds::max(),
                ITaskQueue::Normal);
    now += std::chrono::hours(24 * 365);
    scheduler->tick();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(queue->hasTask());
}

TEST_F(TaskSchedulerTest, RunNextTaskTakesTheFirstDueTaskOfTheNamedQueueOrForcesIt) {
    std::vector<std::string> ran;
    auto record = [&ran](const std::string& label) {
        return [&ran, label](bool&, unsigned long) { ran.push_back(label); };
    };

    // Nothing queued: nothing happens, forced or not.
    scheduler->runNextTask("", false);
    scheduler->runNextTask("", true);

    auto one = scheduler->getTaskQueue("One");
    auto two = scheduler->getTaskQueue("Two");
    one->push(record("one-late"), 1000ms, ITaskQueue::Normal);
    two->push(record("two-late"), 1000ms, ITaskQueue::Normal);

    scheduler->runNextTask("", false);              // nothing is due
    scheduler->runNextTask(one->getName(), false);  // nor in queue one
    EXPECT_TRUE(ran.empty());

    scheduler->runNextTask(two->getName(), true);  // forced: the first task of queue two
    EXPECT_EQ(ran, std::vector<std::string>{"two-late"});
    scheduler->runNextTask("", true);  // forced, any queue: the first task in the list
    EXPECT_EQ(ran, (std::vector<std::string>{"two-late", "one-late"}));

    // A later task is never chosen over an earlier due one, however overdue it is.
    ran.clear();
    one->push(record("earlier"), 10ms, ITaskQueue::Normal);
    two->push(record("overdue"), 0ms, ITaskQueue::Normal);
    now += 20ms;
    scheduler->tick();
    EXPECT_EQ(ran, std::vector<std::string>{"earlier"});
}

TEST_F(TaskSchedulerTest, FlushRunsDueTasksWithOneTickSleepBetweenThem) {
    auto queue = scheduler->getTaskQueue("Flushed");
    int runs = 0;
    queue->push([&](bool&, unsigned long) { ++runs; }, 50ms, ITaskQueue::Normal);

    // Not forced: the sleeps (which move the clock) let the task come due.
    queue->flush([&] { return queue->hasTask(); }, false);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(sleeps, 6);  // five ticks waiting for +50 ms, then one after the task

    EXPECT_THROW(queue->flush(std::function<bool()>(), false), std::bad_function_call);

    // runTasksUntil runs the due tasks of every queue.
    auto other = scheduler->getTaskQueue("Other");
    other->push([&](bool&, unsigned long) { ++runs; }, ITaskQueue::Normal);
    queue->push([&](bool&, unsigned long) { ++runs; }, ITaskQueue::Normal);
    scheduler->runTasksUntil([&] { return scheduler->getTasksSize() > 0; });
    EXPECT_EQ(runs, 3);
}

TEST_F(TaskSchedulerTest, FlushDoesNotSleepWithAZeroTick) {
    scheduler = makeScheduler(0ms);
    auto queue = scheduler->getTaskQueue("NoTick");
    queue->push(doNothing, ITaskQueue::Normal);
    queue->push(doNothing, ITaskQueue::Normal);
    queue->flush([&] { return queue->hasTask(); }, true);
    EXPECT_EQ(sleeps, 0);
}

TEST_F(TaskSchedulerTest, FinishRunsOutTheQueueAndForgetsIt) {
    struct Case {
        bool dropPending;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {false, {"a1", "a2", "last"}},
        {true, {"last"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dropPending ? "dropping pending tasks" : "keeping pending tasks");
        scheduler->quitCalls = 0;
        auto finished = scheduler->getTaskQueue("Finished");
        auto other = scheduler->getTaskQueue("Other");
        std::vector<std::string> ran;
        auto record = [&ran](const std::string& label) {
            return [&ran, label](bool&, unsigned long) { ran.push_back(label); };
        };
        finished->push(record("a1"), 60s, ITaskQueue::Normal);  // not due: runs anyway
        other->push(record("b1"), ITaskQueue::Normal);
        finished->push(record("a2"), ITaskQueue::Normal);
        const int sleepsBefore = sleeps;

        finished->finish(record("last"), c.dropPending);

        EXPECT_EQ(ran, c.expected);
        EXPECT_EQ(sleeps - sleepsBefore, static_cast<int>(c.expected.size()));
        EXPECT_FALSE(finished->hasTask());
        EXPECT_TRUE(other->hasTask());  // the other queue keeps its task
        EXPECT_EQ(finished->push(doNothing, ITaskQueue::Normal), kRefused);
        EXPECT_TRUE(
            logs->contains(ILogger::Info, "Finish called on messagequeue: " + finished->getName()));
        EXPECT_EQ(
            logs->contains(ILogger::Info, "Drop all tasks on messagequeue: " + finished->getName()),
            c.dropPending);
        EXPECT_EQ(scheduler->quitCalls, 0);  // "Other" is still live

        other->finish();
        EXPECT_EQ(ran.back(), "b1");
        EXPECT_EQ(scheduler->quitCalls, 1);  // the last live queue quits
    }
}

TEST_F(TaskSchedulerTest, PushesToAQueueBeingFinishedAreRefused) {
    auto finished = scheduler->getTaskQueue("Finished");
    auto other = scheduler->getTaskQueue("Other");
    std::vector<unsigned long> results;
    auto pushBoth = [&](bool&, unsigned long) {
        results.push_back(finished->push(doNothing, ITaskQueue::Normal));
        results.push_back(other->push(doNothing, ITaskQueue::Normal));
    };
    finished->push(pushBoth, ITaskQueue::Normal);
    finished->finish(pushBoth, false);
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[0], kRefused);
    EXPECT_NE(results[1], kRefused);
    EXPECT_EQ(results[2], kRefused);
    EXPECT_NE(results[3], kRefused);
}

TEST_F(TaskSchedulerTest, DestroyingAQueueRunsItsPendingTasksWithoutRescheduling) {
    auto queue = scheduler->getTaskQueue("Periodic");
    auto other = scheduler->getTaskQueue("Other");
    const std::string name = queue->getName();
    std::vector<std::string> ran;
    queue->push(
        [&](bool& reschedule, unsigned long) {
            ran.push_back("periodic");
            reschedule = true;
        },
        60s, ITaskQueue::Normal);
    queue->push([&](bool&, unsigned long) { ran.push_back("pending"); }, ITaskQueue::Normal);

    queue.reset();

    EXPECT_EQ(ran, (std::vector<std::string>{"periodic", "pending"}));
    EXPECT_EQ(scheduler->getTasksSize(), 0u);
    EXPECT_TRUE(logs->contains(
        ILogger::Warning,
        "Taskqueue is in releasing state, task wont be rescheduled: '" + name + "'"));
    EXPECT_EQ(scheduler->push(name, doNothing, 0ms, ITaskQueue::Normal), kRefused);
}

TEST_F(TaskSchedulerTest, ATaskThatFinishesItsOwnQueueIsNotRescheduled) {
    auto queue = scheduler->getTaskQueue("SelfFinishing");
    auto other = scheduler->getTaskQueue("Other");
    const std::string name = queue->getName();
    int runs = 0;
    queue->push(
        [&](bool& reschedule, unsigned long) {
            ++runs;
            queue->finish();
            reschedule = true;
        },
        ITaskQueue::Normal);
    tickUntilEmpty();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(logs->contains(
        ILogger::Warning, "Task won't be re-scheduled, target queue not found: '" + name + "'"));
}

TEST_F(TaskSchedulerTest, QueuesOutliveTheirSchedulerHarmlessly) {
    auto queue = scheduler->getTaskQueue("Orphan");
    auto held = std::make_shared<int>(0);
    bool ran = false;
    queue->push([&ran, held](bool&, unsigned long) { ran = true; }, ITaskQueue::Normal);
    EXPECT_EQ(held.use_count(), 2);

    scheduler.reset();  // drops the queued task without running it
    EXPECT_FALSE(ran);
    EXPECT_EQ(held.use_count(), 1);

    EXPECT_EQ(queue->push(doNothing, ITaskQueue::Normal), kRefused);
    EXPECT_FALSE(queue->hasTask());
    queue->flush([] { return true; }, true);  // does nothing, so it returns
    queue->finish();
    queue.reset();
    EXPECT_FALSE(ran);
}

TEST_F(TaskSchedulerTest, PushesFromOtherThreadsAllRunWithDistinctIds) {
    auto queue = scheduler->getTaskQueue("Shared");
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::atomic<int> runs{0};
    std::mutex idsMutex;
    std::set<unsigned long> ids;

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kPerThread; ++i) {
                const unsigned long id = queue->push([&runs](bool&, unsigned long) { ++runs; },
                                                     static_cast<ITaskQueue::TaskPriority>(i % 3));
                std::lock_guard<std::mutex> lock(idsMutex);
                ids.insert(id);
            }
        });
    }
    // The main thread ticks and reads the size meanwhile.
    while (runs < kThreads * kPerThread) {
        scheduler->tick();
        EXPECT_LE(scheduler->getTasksSize(), static_cast<std::size_t>(kThreads * kPerThread));
        std::this_thread::yield();
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kThreads * kPerThread));
    EXPECT_EQ(ids.count(kRefused), 0u);
}

}  // namespace
