#include "platform/runloop/PlainRunLoop.h"

namespace standin {

void PlainRunLoop::run(const std::chrono::milliseconds& tick, const std::function<void()>& onTick) {
    using Clock = std::chrono::steady_clock;

    std::unique_lock<std::mutex> lock(_mutex);
    Clock::time_point next = Clock::now() + tick;
    while (!_quitRequested) {
        if (_wakeUp.wait_until(lock, next, [this] { return _quitRequested; })) {
            break;
        }
        lock.unlock();
        if (onTick) {
            onTick();
        }
        lock.lock();

        // A handler that overran its tick gets one tick at once, then the beat continues
        // from there (a timer does not fire the missed ticks one after the other).
        next += tick;
        const Clock::time_point now = Clock::now();
        if (next < now) {
            next = now;
        }
    }
    // The request that ended this run is used up.
    _quitRequested = false;
}

void PlainRunLoop::quit() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _quitRequested = true;
    }
    _wakeUp.notify_all();
}

}  // namespace standin
