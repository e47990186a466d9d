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

    // Runs every task due now. Each tick runs at most one; ticking stops once the number of
    // queued tasks has stayed the same for more ticks than there are tasks (bounded, so tasks
    // that keep adding tasks cannot hang the test).
    void runDue() {
        std::size_t unchanged = 0;
        for (int i = 0; i < 10000 && unchanged <= getTasksSize(); ++i) {
            const std::size_t before = getTasksSize();
            tick();
            unchanged = getTasksSize() == before ? unchanged + 1 : 0;
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
