#include "common/taskscheduler/TaskQueue.h"

#include <utility>

namespace common {

TaskQueue::TaskQueue(std::weak_ptr<ITaskSchedulerController> scheduler, const std::string& name)
    : _scheduler(std::move(scheduler)), _name(name), _logger(ILogger::create("TaskQueue")) {
    _logger->trace("create task queue: '%s'", _name.c_str());
}

TaskQueue::~TaskQueue() {
    _logger->trace("destroy task queue: '%s'", _name.c_str());
    finish([](bool&, unsigned long) {}, false);
}

std::string TaskQueue::getName() const {
    return _name;
}

unsigned long TaskQueue::push(Task task, const std::chrono::milliseconds& delay,
                              TaskPriority priority) {
    if (auto scheduler = _scheduler.lock()) {
        return scheduler->push(_name, std::move(task), delay, priority);
    }
    return static_cast<unsigned long>(-1);
}

unsigned long TaskQueue::push(Task task, TaskPriority priority) {
    return push(std::move(task), std::chrono::milliseconds(0), priority);
}

void TaskQueue::flush(std::function<bool()> predicate, bool force) {
    if (auto scheduler = _scheduler.lock()) {
        scheduler->flush(_name, std::move(predicate), force);
    }
}

void TaskQueue::finish(Task lastTask, bool dropPending) {
    if (auto scheduler = _scheduler.lock()) {
        scheduler->finish(_name, std::move(lastTask), dropPending);
    }
}

bool TaskQueue::hasTask() const {
    if (auto scheduler = _scheduler.lock()) {
        return scheduler->hasTask(_name);
    }
    return false;
}

}  // namespace common
