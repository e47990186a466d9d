#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"

namespace testsupport {

// The task scheduler on a clock the test moves: no run loop; `runDue` runs every task that is
// due now, `advance` moves the clock and runs what falls due on the way. A flush's tick sleep
// moves the clock as well. Other threads may push tasks (the clock is atomic).
class ManualScheduler : public common::TaskScheduler {
public:
    class QuietLogger : public common::ILogger {
    public:
        QuietLogger() : ILogger("TaskScheduler") {}
        Level getLevel() const override { return None; }
        void log(const Level&, const std::string&, const std::string&,
                 const std::string&) const override {}
    };

    using Clock = std::atomic<TimePoint::rep>;

    static std::shared_ptr<ManualScheduler> create() {
        auto clock =
            std::make_shared<Clock>(TimePoint(std::chrono::hours(1)).time_since_epoch().count());
        TimeSource source{
            [clock] { return TimePoint(TimePoint::duration(clock->load())); },
            [clock](const std::chrono::milliseconds& duration) {
                clock->fetch_add(std::chrono::duration_cast<TimePoint::duration>(duration).count());
            }};
        auto scheduler = std::make_shared<ManualScheduler>(source);
        scheduler->_clock = clock;
        return scheduler;
    }

    explicit ManualScheduler(TimeSource source)
        : TaskScheduler(std::make_unique<QuietLogger>(), std::chrono::milliseconds(10), source) {}

    int run(const std::vector<std::string>&) override { return 0; }
    void quit() override {}

    TimePoint now() const { return TimePoint(TimePoint::duration(_clock->load())); }

    // Runs the due tasks: ticks until several ticks in a row leave the task list unchanged
    // (bounded, so that a task that keeps rescheduling itself cannot hang the test).
    void runDue(int limit = 10000) {
        int unchanged = 0;
        for (int i = 0; i < limit && unchanged < 8; ++i) {
            const std::size_t before = getTasksSize();
            tick();
            unchanged = getTasksSize() == before ? unchanged + 1 : 0;
        }
    }

    // Moves the clock in 10 ms steps, running what falls due on the way.
    void advance(std::chrono::milliseconds duration) {
        const auto end = now() + duration;
        runDue();
        while (now() < end) {
            const auto step =
                std::min<TimePoint::duration>(std::chrono::milliseconds(10), end - now());
            _clock->fetch_add(step.count());
            runDue();
        }
    }

private:
    std::shared_ptr<Clock> _clock;
};

}  // namespace testsupport
