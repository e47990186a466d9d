#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/taskscheduler/ITaskScheduler.h"
#include "common/taskscheduler/ITaskSchedulerController.h"

namespace standin {
class IRunLoop;
}

namespace common {

// The task list and the queue bookkeeping of the main loop; `TaskSchedulerMac` adds the tick
// and the run loop. The scheduler must be owned by a shared pointer (queues hold a weak
// reference to it): obtain it through `create`.
//
// All state is guarded by one recursive mutex; a task runs with the mutex released, so it may
// call any operation of the scheduler, including `flush` or `finish`. `push` may be called
// from any thread.
class TaskScheduler : public ITaskScheduler,
                      public ITaskSchedulerController,
                      public std::enable_shared_from_this<TaskScheduler> {
public:
    using Task = ITaskQueue::Task;
    using TimePoint = std::chrono::steady_clock::time_point;

    // Where the scheduler reads the time and how `flush` sleeps one tick. Empty members stand
    // for the steady clock and a real sleep on the calling thread; tests pass their own.
    struct TimeSource {
        std::function<TimePoint()> now;
        std::function<void(const std::chrono::milliseconds&)> sleep;
    };

    // One queued task.
    struct struct_tasks {
        Task task;
        TimePoint dueTime;
        std::chrono::milliseconds delay{0};
        std::string queueName;
        unsigned long id = 0;
        ITaskQueue::TaskPriority priority = ITaskQueue::Normal;
    };

    static constexpr unsigned long kRefused = static_cast<unsigned long>(-1);

    // A `TaskSchedulerMac` on the plain run loop, ticking every `tick`.
    static std::shared_ptr<ITaskScheduler> create(const std::chrono::milliseconds& tick,
                                                  std::unique_ptr<ILogger> logger);
    // The same on the given run loop (the plain loop when null) and time source.
    static std::shared_ptr<ITaskScheduler> create(const std::chrono::milliseconds& tick,
                                                  std::unique_ptr<ILogger> logger,
                                                  std::unique_ptr<standin::IRunLoop> runLoop,
                                                  TimeSource timeSource = TimeSource());

    TaskScheduler(std::unique_ptr<ILogger> logger, const std::chrono::milliseconds& tick,
                  TimeSource timeSource = TimeSource());
    ~TaskScheduler() override;

    TaskScheduler(const TaskScheduler&) = delete;
    TaskScheduler& operator=(const TaskScheduler&) = delete;

    // Throws std::bad_weak_ptr when the scheduler is not owned by a shared pointer.
    std::unique_ptr<ITaskQueue> getTaskQueue(const std::string& name) override;
    void runTasksUntil(std::function<bool()> predicate) override;
    void runNextTask(const std::string& queueName, bool force) override;
    std::size_t getTasksSize() override;
    unsigned long push(const std::string& queueName, Task task,
                       const std::chrono::milliseconds& delay,
                       ITaskQueue::TaskPriority priority) override;
    // Throws std::bad_function_call when `predicate` is empty.
    void flush(const std::string& queueName, std::function<bool()> predicate, bool force) override;
    void finish(const std::string& queueName, Task lastTask, bool dropPending) override;
    bool hasTask(const std::string& queueName) const override;

    // Runs the first due task of any queue; the run loop calls it every tick.
    void tick();

protected:
    const std::chrono::milliseconds& getTick() const { return _tick; }
    // Called when the last live queue has been finished. Ends the main loop (`quit`); a
    // scheduler whose loop can tell whether it runs ends only a running one.
    virtual void quitAfterLastQueue();

private:
    TimePoint now() const;
    bool isDue(const struct_tasks& task) const;
    static TimePoint dueTimeAfter(const TimePoint& start, const std::chrono::milliseconds& delay);
    void insertRescheduled(struct_tasks task);

    std::unique_ptr<ILogger> _logger;
    mutable std::recursive_mutex _mutex;
    std::list<struct_tasks> _tasks;
    std::set<std::string> _liveQueues;
    unsigned long _nextTaskId = 0;
    std::chrono::milliseconds _tick;
    std::set<std::string> _releasingQueues;
    TimeSource _timeSource;
};

}  // namespace common
