#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "common/taskscheduler/ITaskQueue.h"

namespace common {

// What a task queue needs of its scheduler. Every operation takes the queue's full name.
class ITaskSchedulerController {
public:
    virtual ~ITaskSchedulerController() = default;

    virtual unsigned long push(const std::string& queueName, ITaskQueue::Task task,
                               const std::chrono::milliseconds& delay,
                               ITaskQueue::TaskPriority priority) = 0;
    virtual void flush(const std::string& queueName, std::function<bool()> predicate,
                       bool force) = 0;
    virtual void finish(const std::string& queueName, ITaskQueue::Task lastTask,
                        bool dropPending) = 0;
    virtual bool hasTask(const std::string& queueName) const = 0;
};

}  // namespace common
