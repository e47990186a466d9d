#pragma once

#include <chrono>
#include <functional>

namespace standin {

// The main thread's run loop: it calls a tick handler at a fixed interval until it is asked
// to stop. The task scheduler drives its tasks from that handler.
//
// Stop requests are remembered: a `quit` that arrives while `run` is not looping (before it
// starts, or between two runs) makes the next `run` return at once, without a tick. This is
// how a stop posted to the main queue behaves when the loop starts after it was posted.
class IRunLoop {
public:
    virtual ~IRunLoop() = default;

    // Loops on the calling thread until `quit`. `onTick` runs on this thread, first one tick
    // after the loop starts and then every tick. Not reentrant: one `run` at a time.
    virtual void run(const std::chrono::milliseconds& tick,
                     const std::function<void()>& onTick) = 0;

    // Asks the loop to stop; any thread may call it. A loop that waits for its next tick wakes
    // at once; a loop inside `onTick` stops when the handler returns.
    virtual void quit() = 0;
};

}  // namespace standin
