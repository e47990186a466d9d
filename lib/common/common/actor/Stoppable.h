#pragma once

#include <atomic>

namespace common {

// Base of every long-lived object that must be stopped before it is released.
//
// Contract of `stop` for every implementation: when the object is already stopped, answer
// false at once and do nothing; otherwise do the class's own stopping work, then set the flag
// with `markStopped` and answer its result. A second `stop` therefore does nothing and answers
// false. Destructors of implementing classes call `stop`.
class Stoppable {
public:
    Stoppable() = default;
    virtual ~Stoppable() = default;
    Stoppable(const Stoppable&) = delete;
    Stoppable& operator=(const Stoppable&) = delete;

    virtual bool stop() = 0;
    virtual bool isStopped() const { return _stopped.load(); }

protected:
    // Sets the flag; true when it was clear before.
    bool markStopped() { return !_stopped.exchange(true); }

private:
    std::atomic<bool> _stopped{false};
};

}  // namespace common
