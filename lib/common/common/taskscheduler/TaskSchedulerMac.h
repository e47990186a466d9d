#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/taskscheduler/TaskScheduler.h"
#include "platform/runloop/IRunLoop.h"

namespace common {

// The scheduler of the programs: `run` enters the main thread's run loop, which calls
// `tick()` every tick, until `quit`.
//
// The run loop is a replaceable backend (the plain loop by default; a GUI program may pass
// one that runs its toolkit's event loop).
//
// `quit` posts a stop request to the run loop. A request made while the loop does not run is
// remembered, and the next `run` returns 0 at once without a tick. The scheduler's own stop
// when its last live queue is finished acts only on a running loop: a short-lived queue made
// and finished before `run` does not end the program.
//
// The scheduler is destroyed on the main thread: either while `run` is not on the stack, or
// from a task, in which case the loop is asked to stop and `run` returns 0 without touching
// the destroyed scheduler.
class TaskSchedulerMac : public TaskScheduler {
public:
    TaskSchedulerMac(std::unique_ptr<ILogger> logger, const std::chrono::milliseconds& tick);
    // `runLoop` null stands for the plain run loop.
    TaskSchedulerMac(std::unique_ptr<ILogger> logger, const std::chrono::milliseconds& tick,
                     std::unique_ptr<standin::IRunLoop> runLoop,
                     TimeSource timeSource = TimeSource());
    ~TaskSchedulerMac() override;

    // 1 at once when the loop already runs; otherwise loops until `quit` and returns 0.
    // The arguments are not used.
    int run(const std::vector<std::string>& arguments) override;
    void quit() override;

protected:
    void quitAfterLastQueue() override;

private:
    // Shared with a running `run`, which may outlive the scheduler when a task destroys it.
    struct LoopState {
        std::shared_ptr<standin::IRunLoop> runLoop;
        std::atomic<bool> running{false};
        std::atomic<bool> destroyed{false};
    };

    std::shared_ptr<LoopState> _loop;
};

}  // namespace common
