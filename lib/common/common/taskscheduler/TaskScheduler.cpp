#include "common/taskscheduler/TaskScheduler.h"

#include <algorithm>
#include <limits>
#include <thread>
#include <utility>

#include "common/taskscheduler/TaskQueue.h"
#include "common/taskscheduler/TaskSchedulerMac.h"
#include "common/util/Util.h"
#include "platform/runloop/IRunLoop.h"

namespace common {

namespace {

const char* const kQueueIdAlphabet =
    "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::size_t kQueueIdLength = 10;

// A task due within the next millisecond counts as due.
constexpr std::chrono::nanoseconds kDueTolerance(999999);

void doNothing(bool&, unsigned long) {}

}  // namespace

std::shared_ptr<ITaskScheduler> TaskScheduler::create(const std::chrono::milliseconds& tick,
                                                      std::unique_ptr<ILogger> logger) {
    return create(tick, std::move(logger), nullptr, TimeSource());
}

std::shared_ptr<ITaskScheduler> TaskScheduler::create(const std::chrono::milliseconds& tick,
                                                      std::unique_ptr<ILogger> logger,
                                                      std::unique_ptr<standin::IRunLoop> runLoop,
                                                      TimeSource timeSource) {
    return std::make_shared<TaskSchedulerMac>(std::move(logger), tick, std::move(runLoop),
                                              std::move(timeSource));
}

TaskScheduler::TaskScheduler(std::unique_ptr<ILogger> logger, const std::chrono::milliseconds& tick,
                             TimeSource timeSource)
    : _logger(logger ? std::move(logger) : ILogger::create("TaskScheduler")),
      _tick(tick),
      _timeSource(std::move(timeSource)) {
    if (!_timeSource.now) {
        _timeSource.now = [] { return std::chrono::steady_clock::now(); };
    }
    if (!_timeSource.sleep) {
        _timeSource.sleep = [](const std::chrono::milliseconds& duration) {
            std::this_thread::sleep_for(duration);
        };
    }
}

TaskScheduler::~TaskScheduler() {
    // Queued tasks are destroyed without running, after the lock is released: what they hold
    // may still call into the scheduler (a queue's weak reference finds it gone by now).
    std::list<struct_tasks> tasks;
    {
        std::lock_guard<std::recursive_mutex> lock(_mutex);
        _liveQueues.clear();
        tasks.swap(_tasks);
    }
}

std::unique_ptr<ITaskQueue> TaskScheduler::getTaskQueue(const std::string& name) {
    std::weak_ptr<ITaskSchedulerController> controller =
        std::static_pointer_cast<ITaskSchedulerController>(shared_from_this());
    std::string fullName;
    {
        std::lock_guard<std::recursive_mutex> lock(_mutex);
        do {
            fullName = name + " (" + util::generateNanoId(kQueueIdLength, kQueueIdAlphabet) + ")";
        } while (_liveQueues.count(fullName) != 0 || _releasingQueues.count(fullName) != 0);
        _liveQueues.insert(fullName);
    }
    return std::make_unique<TaskQueue>(std::move(controller), fullName);
}

void TaskScheduler::runTasksUntil(std::function<bool()> predicate) {
    flush("", std::move(predicate), false);
}

void TaskScheduler::runNextTask(const std::string& queueName, bool force) {
    // A task may drop the last reference to the scheduler; it goes when this call is done.
    const std::shared_ptr<TaskScheduler> keepAlive = weak_from_this().lock();
    // Declared before the lock, so that the task is destroyed after the lock is released.
    struct_tasks task;
    std::unique_lock<std::recursive_mutex> lock(_mutex);

    const auto found = std::find_if(_tasks.begin(), _tasks.end(), [&](const struct_tasks& t) {
        if (!queueName.empty() && t.queueName != queueName) {
            return false;
        }
        return force || isDue(t);
    });
    if (found == _tasks.end()) {
        return;
    }
    task = std::move(*found);
    _tasks.erase(found);

    if (_liveQueues.count(task.queueName) == 0) {
        _logger->warning("Task '%lu' will be dropped, target queue not found: '%s'", task.id,
                         task.queueName.c_str());
        return;
    }

    lock.unlock();
    bool reschedule = false;
    task.task(reschedule, task.id);
    if (!reschedule) {
        return;
    }

    lock.lock();
    if (_releasingQueues.count(task.queueName) != 0) {
        _logger->warning("Taskqueue is in releasing state, task wont be rescheduled: '%s'",
                         task.queueName.c_str());
    } else if (_liveQueues.count(task.queueName) == 0) {
        _logger->warning("Task won't be re-scheduled, target queue not found: '%s'",
                         task.queueName.c_str());
    } else {
        task.dueTime = dueTimeAfter(now(), task.delay);
        insertRescheduled(std::move(task));
    }
}

std::size_t TaskScheduler::getTasksSize() {
    std::lock_guard<std::recursive_mutex> lock(_mutex);
    return _tasks.size();
}

unsigned long TaskScheduler::push(const std::string& queueName, Task task,
                                  const std::chrono::milliseconds& delay,
                                  ITaskQueue::TaskPriority priority) {
    if (!task) {
        _logger->error("Task refused, it has no function: '%s'", queueName.c_str());
        return kRefused;
    }
    std::lock_guard<std::recursive_mutex> lock(_mutex);
    if (_liveQueues.count(queueName) == 0 || _releasingQueues.count(queueName) != 0) {
        return kRefused;
    }

    struct_tasks queued;
    queued.task = std::move(task);
    queued.dueTime = dueTimeAfter(now(), delay);
    queued.delay = delay;
    queued.queueName = queueName;
    queued.id = _nextTaskId++;
    queued.priority = priority;
    const unsigned long id = queued.id;

    if (priority == ITaskQueue::Normal) {
        _tasks.push_back(std::move(queued));
    } else {
        const auto lower = std::find_if(_tasks.begin(), _tasks.end(), [&](const struct_tasks& t) {
            return static_cast<int>(t.priority) < static_cast<int>(priority);
        });
        _tasks.insert(lower, std::move(queued));
    }
    return id;
}

void TaskScheduler::flush(const std::string& queueName, std::function<bool()> predicate,
                          bool force) {
    const std::string name = queueName;
    if (!predicate) {
        _logger->error("Flush called without a predicate on messagequeue: %s", name.c_str());
        throw std::bad_function_call();
    }
    const std::shared_ptr<TaskScheduler> keepAlive = weak_from_this().lock();
    while (predicate()) {
        runNextTask(name, force);
        if (_tick.count() > 0) {
            _timeSource.sleep(_tick);
        }
    }
}

void TaskScheduler::finish(const std::string& queueName, Task lastTask, bool dropPending) {
    const std::string name = queueName;
    const std::shared_ptr<TaskScheduler> keepAlive = weak_from_this().lock();
    _logger->info("Finish called on messagequeue: %s", name.c_str());

    std::list<struct_tasks> dropped;
    {
        std::lock_guard<std::recursive_mutex> lock(_mutex);
        if (dropPending) {
            _logger->info("Drop all tasks on messagequeue: %s", name.c_str());
            for (auto it = _tasks.begin(); it != _tasks.end();) {
                const auto next = std::next(it);
                if (it->queueName == name) {
                    dropped.splice(dropped.end(), _tasks, it);
                }
                it = next;
            }
        }
        push(name, lastTask ? std::move(lastTask) : Task(doNothing), std::chrono::milliseconds(0),
             ITaskQueue::Normal);
        _releasingQueues.insert(name);
    }
    // Dropped tasks are destroyed without the lock held.
    dropped.clear();

    flush(
        name, [this, &name] { return hasTask(name); }, true);

    bool noQueueLeft = false;
    {
        std::lock_guard<std::recursive_mutex> lock(_mutex);
        _liveQueues.erase(name);
        _releasingQueues.erase(name);
        noQueueLeft = _liveQueues.empty();
    }
    if (noQueueLeft) {
        quitAfterLastQueue();
    }
}

void TaskScheduler::quitAfterLastQueue() {
    quit();
}

bool TaskScheduler::hasTask(const std::string& queueName) const {
    std::lock_guard<std::recursive_mutex> lock(_mutex);
    return std::any_of(_tasks.begin(), _tasks.end(),
                       [&](const struct_tasks& t) { return t.queueName == queueName; });
}

void TaskScheduler::tick() {
    runNextTask("", false);
}

TaskScheduler::TimePoint TaskScheduler::now() const {
    return _timeSource.now();
}

bool TaskScheduler::isDue(const struct_tasks& task) const {
    return task.dueTime <= now() + kDueTolerance;
}

TaskScheduler::TimePoint TaskScheduler::dueTimeAfter(const TimePoint& start,
                                                     const std::chrono::milliseconds& delay) {
    // Saturates instead of overflowing for delays beyond the clock's range.
    using Rep = TimePoint::rep;
    constexpr Rep kTicksPerMillisecond =
        std::chrono::duration_cast<TimePoint::duration>(std::chrono::milliseconds(1)).count();
    Rep delayTicks = 0;
    Rep due = 0;
    if (__builtin_mul_overflow(static_cast<Rep>(delay.count()), kTicksPerMillisecond,
                               &delayTicks) ||
        __builtin_add_overflow(start.time_since_epoch().count(), delayTicks, &due)) {
        return delay.count() < 0 ? TimePoint::min() : TimePoint::max();
    }
    return TimePoint(TimePoint::duration(due));
}

void TaskScheduler::insertRescheduled(struct_tasks task) {
    if (task.priority == ITaskQueue::Normal) {
        _tasks.push_back(std::move(task));
        return;
    }
    // A rescheduled task goes right after the first task of lower priority, one place later
    // than a new push of the same priority.
    auto lower = std::find_if(_tasks.begin(), _tasks.end(), [&](const struct_tasks& t) {
        return static_cast<int>(t.priority) < static_cast<int>(task.priority);
    });
    if (lower != _tasks.end()) {
        ++lower;
    }
    _tasks.insert(lower, std::move(task));
}

}  // namespace common
