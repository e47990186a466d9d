#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskSchedulerMac.h"

using common::ITaskQueue;
using common::TaskSchedulerMac;

// One push and the tick that runs it, with state.range(0) tasks in the list: the others are
// not due, so the tick scans past them to the new task at the end.
static void BM_PushAndTick(benchmark::State& state) {
    auto scheduler = std::make_shared<TaskSchedulerMac>(common::ILogger::create("TaskScheduler"),
                                                        std::chrono::milliseconds(10));
    auto queue = scheduler->getTaskQueue("Bench");
    for (int64_t i = 1; i < state.range(0); ++i) {
        queue->push([](bool&, unsigned long) {}, std::chrono::hours(1), ITaskQueue::Normal);
    }
    int64_t runs = 0;
    for (auto _ : state) {
        queue->push([&runs](bool&, unsigned long) { ++runs; }, ITaskQueue::Normal);
        scheduler->tick();
    }
    if (runs != state.iterations()) {
        state.SkipWithError("a pushed task did not run on its tick");
    }
    queue->finish([](bool&, unsigned long) {}, true);
}
BENCHMARK(BM_PushAndTick)->Arg(1)->Arg(10)->Arg(100);
