#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace common {

// A one-slot signal: set() stores a value and wakes one waiter; a wait consumes the signal.
template <typename T>
class Condition {
public:
    Condition() = default;
    virtual ~Condition() = default;
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;

    void set(const T& value) {
        std::lock_guard<std::mutex> lock(_mutex);
        _signalled = true;
        _value = value;
        _condition.notify_one();
    }

    // Blocks until the signal is set, then returns its value and clears it.
    T wait() {
        std::unique_lock<std::mutex> lock(_mutex);
        _condition.wait(lock, [this] { return _signalled; });
        _signalled = false;
        return _value;
    }

    // Waits at most `timeout` (steady clock). True with the value stored in `value` when the
    // signal was set; false on timeout. The largest duration waits without limit.
    bool wait(std::chrono::milliseconds timeout, T& value) {
        if (timeout == std::chrono::milliseconds::max()) {
            value = wait();
            return true;
        }
        std::unique_lock<std::mutex> lock(_mutex);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        if (!_condition.wait_until(lock, deadline, [this] { return _signalled; })) {
            return false;
        }
        _signalled = false;
        value = _value;
        return true;
    }

private:
    bool _signalled = false;
    T _value{};
    std::mutex _mutex;
    std::condition_variable _condition;
};

}  // namespace common
