#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace common {

// One named queue of the task scheduler. Its tasks run on the main thread, one per tick.
class ITaskQueue {
public:
    // A greater value runs before queued tasks of a lower value; any int value is allowed.
    enum TaskPriority : int {
        Normal = 0,
        High = 2,
    };

    // Called with `reschedule` false and the task's id; setting `reschedule` queues the same
    // task again, one delay after it finished.
    using Task = std::function<void(bool& reschedule, unsigned long taskId)>;

    virtual ~ITaskQueue() = default;

    // The full name: the requested name, " (", a 10-character id and ")".
    virtual std::string getName() const = 0;
    // The task id, or -1 (all bits set) when the task was refused.
    virtual unsigned long push(Task task, const std::chrono::milliseconds& delay,
                               TaskPriority priority) = 0;
    virtual unsigned long push(Task task, TaskPriority priority) = 0;
    virtual void flush(std::function<bool()> predicate, bool force) = 0;
    virtual void finish(
        Task lastTask = [](bool&, unsigned long) {}, bool dropPending = false) = 0;
    virtual bool hasTask() const = 0;
};

}  // namespace common
