#pragma once

#include <unistd.h>

#include <boost/interprocess/shared_memory_object.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"

namespace ipctest {

// A queue prefix no other test (of this or another process) uses.
inline std::string uniquePrefix() {
    static std::atomic<int> counter{0};
    return "orvtest" + std::to_string(::getpid()) + "x" + std::to_string(counter++);
}

// Removes the queues of the given names when the test ends, whatever happened.
class QueueCleaner {
public:
    void add(const std::string& name) { _names.push_back(name); }
    ~QueueCleaner() {
        for (const auto& name : _names) {
            boost::interprocess::shared_memory_object::remove(name.c_str());
        }
    }

private:
    std::vector<std::string> _names;
};

// The scheduler without a run loop, on a clock the test moves.
class ManualScheduler : public common::TaskScheduler {
public:
    using TaskScheduler::TaskScheduler;
    int run(const std::vector<std::string>&) override { return 0; }
    void quit() override {}
};

// A scheduler whose time only moves when the test (or a flush's tick sleep) moves it.
class FakeTime {
public:
    using TimePoint = common::TaskScheduler::TimePoint;

    std::shared_ptr<ManualScheduler> makeScheduler() {
        common::TaskScheduler::TimeSource source{
            [this] { return _now; },
            [this](const std::chrono::milliseconds& duration) { _now += duration; }};
        return std::make_shared<ManualScheduler>(common::ILogger::create("TaskScheduler"),
                                                 std::chrono::milliseconds(10), source);
    }

    TimePoint now() const { return _now; }
    void advance(std::chrono::milliseconds duration) { _now += duration; }

private:
    TimePoint _now = TimePoint(std::chrono::hours(1));
};

// Runs the tasks that are due (up to `ticks` of them) without moving the clock.
inline void runDue(ManualScheduler& scheduler, int ticks = 64) {
    for (int i = 0; i < ticks && scheduler.getTasksSize() > 0; ++i) {
        scheduler.tick();
    }
}

// Moves the clock in 10 ms steps, running what is due after each step.
inline void advance(ManualScheduler& scheduler, FakeTime& time,
                    std::chrono::milliseconds duration) {
    runDue(scheduler);
    for (auto passed = std::chrono::milliseconds(0); passed < duration;
         passed += std::chrono::milliseconds(10)) {
        time.advance(std::chrono::milliseconds(10));
        runDue(scheduler);
    }
}

}  // namespace ipctest
