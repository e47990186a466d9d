#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/taskscheduler/ITaskQueue.h"

namespace common {

// The main loop of a program: named task queues whose tasks run on the main thread, at most
// one per tick, and the run loop that drives them.
class ITaskScheduler {
public:
    virtual ~ITaskScheduler() = default;

    // A new live queue named `name` followed by " (", a fresh 10-character id and ")".
    virtual std::unique_ptr<ITaskQueue> getTaskQueue(const std::string& name) = 0;
    // Runs the main loop until `quit`: 0 when the loop ended, 1 at once when it already runs.
    virtual int run(const std::vector<std::string>& arguments) = 0;
    virtual void quit() = 0;
    // flush("", predicate, false)
    virtual void runTasksUntil(std::function<bool()> predicate) = 0;
    // Runs the first due task of `queueName` (of any queue when empty), or the first task
    // regardless of its due time when `force` is set.
    virtual void runNextTask(const std::string& queueName, bool force) = 0;
    virtual std::size_t getTasksSize() = 0;
    // The task id, or -1 (all bits set) when the queue is not live or is being finished.
    virtual unsigned long push(const std::string& queueName, ITaskQueue::Task task,
                               const std::chrono::milliseconds& delay,
                               ITaskQueue::TaskPriority priority) = 0;
    // While `predicate()` holds: run the next task of the queue, then sleep one tick.
    virtual void flush(const std::string& queueName, std::function<bool()> predicate,
                       bool force) = 0;
    // Runs out the queue's tasks (after dropping them when `dropPending`), then `lastTask`,
    // and forgets the queue; the last live queue to finish quits the main loop.
    virtual void finish(const std::string& queueName, ITaskQueue::Task lastTask,
                        bool dropPending) = 0;
    virtual bool hasTask(const std::string& queueName) const = 0;
};

}  // namespace common
