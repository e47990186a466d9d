#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"

namespace telemetrytest {

// The task scheduler without a run loop, on a steady clock the test moves. `advance` moves
// the clock and runs every task that has become due.
class ManualScheduler : public common::TaskScheduler {
public:
    ManualScheduler() : ManualScheduler(std::make_shared<TimePoint>(std::chrono::hours(1))) {}

    int run(const std::vector<std::string>&) override { return 0; }
    void quit() override {}

    TimePoint now() const { return *_now; }

    // Runs what is due now, then moves the clock in ticks of 10 ms up to `duration`.
    void advance(std::chrono::milliseconds duration) {
        runDue();
        for (std::chrono::milliseconds moved{0}; moved < duration;
             moved += std::chrono::milliseconds(10)) {
            *_now += std::chrono::milliseconds(10);
            runDue();
        }
    }

    // Runs every task due now: each tick runs at most one, so one tick per queued task (and
    // one more) is enough; bounded, so tasks that keep adding tasks cannot hang the test.
    void runDue() {
        for (std::size_t i = 0; i <= getTasksSize() && i < 1000; ++i) {
            tick();
        }
    }

private:
    explicit ManualScheduler(std::shared_ptr<TimePoint> now)
        : common::TaskScheduler(
              common::ILogger::create("TaskScheduler"), std::chrono::milliseconds(10),
              TimeSource{[now] { return *now; },
                         [now](const std::chrono::milliseconds& d) { *now += d; }}),
          _now(std::move(now)) {}

    std::shared_ptr<TimePoint> _now;
};

}  // namespace telemetrytest
