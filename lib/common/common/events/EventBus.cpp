#include "common/events/EventBus.h"

#include <chrono>
#include <exception>

namespace common {
namespace events {

namespace {

constexpr int kLockAttempts = 4;
constexpr std::chrono::milliseconds kLockAttemptTime(500);

}  // namespace

IEventBus& IEventBus::instance() {
    static EventBus bus;
    return bus;
}

EventBus::EventBus() : _logger(ILogger::create("EventBus")) {}

EventBus::~EventBus() = default;

bool EventBus::lock() {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (_mutex.try_lock_until(std::chrono::steady_clock::now() + kLockAttemptTime)) {
            return true;
        }
    }
    return false;
}

template <typename Call>
void EventBus::deliver(BaseEvent::Type type, const Call& call) {
    try {
        call();
    } catch (const std::exception& e) {
        _logger->error("event handler of type %d failed: %s", static_cast<int>(type), e.what());
    } catch (...) {
        _logger->error("event handler of type %d failed", static_cast<int>(type));
    }
}

boost::signals2::connection EventBus::subscribe(BaseEvent::Type type, Handler&& handler) {
    return connect(type, std::move(handler), false);
}

boost::signals2::connection EventBus::subscribeAndNotify(BaseEvent::Type type, Handler&& handler) {
    return connect(type, std::move(handler), true);
}

boost::signals2::connection EventBus::connect(BaseEvent::Type type, Handler&& handler,
                                              bool notify) {
    if (!handler) {
        _logger->error("failed to subscribe, no handler given");
        return boost::signals2::connection();
    }
    if (!lock()) {
        _logger->error("failed to subscribe, mutex lock can't be acquired in time");
        return boost::signals2::connection();
    }
    std::lock_guard<std::recursive_timed_mutex> guard(_mutex, std::adopt_lock);
    if (notify) {
        const auto last = _lastEvents.find(type);
        if (last != _lastEvents.end()) {
            const std::shared_ptr<BaseEvent> event = last->second;
            deliver(type, [&] { handler(event); });
        }
    }
    return _signals[type].connect(std::move(handler));
}

bool EventBus::post(const std::shared_ptr<BaseEvent>& event) {
    if (!event) {
        _logger->error("failed to post event, no event given");
        return false;
    }
    if (!lock()) {
        _logger->error("failed to post event, mutex lock can't be acquired in time");
        return false;
    }
    std::lock_guard<std::recursive_timed_mutex> guard(_mutex, std::adopt_lock);
    const BaseEvent::Type type = event->type();
    const auto signal = _signals.find(type);
    if (signal == _signals.end()) {
        return false;
    }
    _lastEvents[type] = event;
    deliver(type, [&] { signal->second(event); });
    return true;
}

}  // namespace events
}  // namespace common
