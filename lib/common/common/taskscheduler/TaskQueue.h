#pragma once

#include <memory>
#include <string>

#include "common/logger/ILogger.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "common/taskscheduler/ITaskSchedulerController.h"

namespace common {

// A named queue over a scheduler it does not own. Once the scheduler is gone, `push` answers
// -1, `hasTask` false, and `flush` and `finish` do nothing.
//
// Destroying the queue finishes it: its pending tasks run at once, so they may refer to the
// queue's owner without further guards.
class TaskQueue : public ITaskQueue {
public:
    TaskQueue(std::weak_ptr<ITaskSchedulerController> scheduler, const std::string& name);
    ~TaskQueue() override;

    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    std::string getName() const override;
    unsigned long push(Task task, const std::chrono::milliseconds& delay,
                       TaskPriority priority) override;
    unsigned long push(Task task, TaskPriority priority) override;
    void flush(std::function<bool()> predicate, bool force) override;
    void finish(
        Task lastTask = [](bool&, unsigned long) {}, bool dropPending = false) override;
    bool hasTask() const override;

private:
    std::weak_ptr<ITaskSchedulerController> _scheduler;
    std::string _name;
    std::unique_ptr<ILogger> _logger;
};

}  // namespace common
