#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"
#include "interprocess/pm/ILaunchActor.h"
#include "interprocess/pm/ILaunchActorDelegate.h"

namespace pmtest {

// The scheduler on a clock the test moves: no run loop; the test runs the due tasks itself.
class ManualScheduler : public common::TaskScheduler {
public:
    explicit ManualScheduler(TimePoint& now)
        : TaskScheduler(common::ILogger::create("TaskScheduler"), std::chrono::milliseconds(10),
                        TimeSource{[&now] { return now; },
                                   [&now](const std::chrono::milliseconds& d) { now += d; }}) {}
    int run(const std::vector<std::string>&) override { return 0; }
    void quit() override {}
};

// The scheduler and the clock of one test.
class Clock {
public:
    Clock() : scheduler(std::make_shared<ManualScheduler>(now)) {}

    // Runs the tasks that are due now, including those that due tasks add (at most 100 of
    // them, so that a fault cannot hang the test).
    void runDue() {
        for (int i = 0; i < 100 && scheduler->getTasksSize() > 0; ++i) {
            scheduler->runNextTask("", false);
        }
    }

    // Moves the clock in steps of 100 ms, running what is due after each step.
    void advance(std::chrono::milliseconds duration) {
        const auto end = now + duration;
        runDue();
        while (now < end) {
            now += std::min<common::TaskScheduler::TimePoint::duration>(
                std::chrono::milliseconds(100), end - now);
            runDue();
        }
    }

    common::TaskScheduler::TimePoint now = common::TaskScheduler::TimePoint(std::chrono::hours(1));
    std::shared_ptr<ManualScheduler> scheduler;
};

// A logger that keeps what it was given.
class RecordingLogger : public common::ILogger {
public:
    struct Entry {
        Level level;
        std::string message;
    };

    RecordingLogger() : ILogger("ProcessManager") {}

    Level getLevel() const override { return Trace; }
    void log(const Level& level, const std::string& /*facility*/, const std::string& message,
             const std::string& /*tag*/) const override {
        std::lock_guard<std::mutex> lock(_mutex);
        _entries.push_back({level, message});
    }

    std::vector<Entry> entries() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _entries;
    }
    std::size_t count(Level level, const std::string& message) const {
        std::lock_guard<std::mutex> lock(_mutex);
        return static_cast<std::size_t>(std::count_if(
            _entries.begin(), _entries.end(),
            [&](const Entry& entry) { return entry.level == level && entry.message == message; }));
    }
    void clear() {
        std::lock_guard<std::mutex> lock(_mutex);
        _entries.clear();
    }

private:
    mutable std::mutex _mutex;
    mutable std::vector<Entry> _entries;
};

// Records the reports of launch actors as "terminated <address>", "starting <address>" and
// "running <address>".
class RecordingDelegate : public interprocess::ILaunchActorDelegate {
public:
    void onLaunchActorTerminated(const interprocess::ILaunchActor& actor) const override {
        events.push_back("terminated " + actor.getAddress());
    }
    void onLaunchActorStarting(const interprocess::ILaunchActor& actor) const override {
        events.push_back("starting " + actor.getAddress());
    }
    void onLaunchActorRunning(const interprocess::ILaunchActor& actor) const override {
        events.push_back("running " + actor.getAddress());
    }

    // The events so far, and forgets them.
    std::vector<std::string> take() const {
        auto result = events;
        events.clear();
        return result;
    }

    mutable std::vector<std::string> events;
};

}  // namespace pmtest
