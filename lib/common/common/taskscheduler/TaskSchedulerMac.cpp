#include "common/taskscheduler/TaskSchedulerMac.h"

#include <utility>

#include "platform/runloop/PlainRunLoop.h"

namespace common {

TaskSchedulerMac::TaskSchedulerMac(std::unique_ptr<ILogger> logger,
                                   const std::chrono::milliseconds& tick)
    : TaskSchedulerMac(std::move(logger), tick, nullptr, TimeSource()) {}

TaskSchedulerMac::TaskSchedulerMac(std::unique_ptr<ILogger> logger,
                                   const std::chrono::milliseconds& tick,
                                   std::unique_ptr<standin::IRunLoop> runLoop,
                                   TimeSource timeSource)
    : TaskScheduler(std::move(logger), tick, std::move(timeSource)),
      _loop(std::make_shared<LoopState>()) {
    if (runLoop) {
        _loop->runLoop = std::move(runLoop);
    } else {
        _loop->runLoop = std::make_shared<standin::PlainRunLoop>();
    }
}

TaskSchedulerMac::~TaskSchedulerMac() {
    // No tick reaches this scheduler from now on; a running loop is asked to stop, and its
    // stop request refers to the loop only.
    _loop->destroyed = true;
    if (_loop->running) {
        _loop->runLoop->quit();
    }
}

int TaskSchedulerMac::run(const std::vector<std::string>& /*arguments*/) {
    // Only the local copy of the loop state is touched once the loop has started.
    const std::shared_ptr<LoopState> loop = _loop;
    if (loop->running.exchange(true)) {
        return 1;
    }
    loop->runLoop->run(getTick(), [this, loop] {
        if (!loop->destroyed) {
            tick();
        }
    });
    loop->running = false;
    return 0;
}

void TaskSchedulerMac::quit() {
    _loop->runLoop->quit();
}

void TaskSchedulerMac::quitAfterLastQueue() {
    // `running` is set before the loop starts, so a queue finished by a task, or between the
    // start of `run` and its first tick, still ends the run.
    if (_loop->running) {
        _loop->runLoop->quit();
    }
}

}  // namespace common
