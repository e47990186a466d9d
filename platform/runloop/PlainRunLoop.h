#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/runloop/IRunLoop.h"

namespace standin {

// A run loop without a GUI toolkit: it sleeps on a condition variable until the next tick is
// due or `quit` wakes it.
class PlainRunLoop : public IRunLoop {
public:
    PlainRunLoop() = default;
    PlainRunLoop(const PlainRunLoop&) = delete;
    PlainRunLoop& operator=(const PlainRunLoop&) = delete;

    void run(const std::chrono::milliseconds& tick, const std::function<void()>& onTick) override;
    void quit() override;

private:
    std::mutex _mutex;
    std::condition_variable _wakeUp;
    bool _quitRequested = false;
};

}  // namespace standin
