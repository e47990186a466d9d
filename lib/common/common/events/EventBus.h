#pragma once

#include <boost/signals2/signal.hpp>
#include <map>
#include <memory>
#include <mutex>

#include "common/events/IEventBus.h"
#include "common/logger/ILogger.h"

namespace common {
namespace events {

// The event bus: one signal per subscribed type and the last event posted for each. One
// recursive lock guards the maps and every handler call, so a handler may post or subscribe
// again on its own thread. A thread that cannot take the lock within about 2 s gives up.
class EventBus : public IEventBus {
public:
    EventBus();
    ~EventBus() override;

    boost::signals2::connection subscribe(BaseEvent::Type type, Handler&& handler) override;
    boost::signals2::connection subscribeAndNotify(BaseEvent::Type type,
                                                   Handler&& handler) override;
    bool post(const std::shared_ptr<BaseEvent>& event) override;

private:
    using Signal = boost::signals2::signal<void(std::shared_ptr<BaseEvent>)>;

    boost::signals2::connection connect(BaseEvent::Type type, Handler&& handler, bool notify);
    // Up to 4 attempts of 500 ms each.
    bool lock();
    // Calls handlers; a handler's exception is logged and ends the delivery of this event.
    template <typename Call>
    void deliver(BaseEvent::Type type, const Call& call);

    std::map<BaseEvent::Type, Signal> _signals;
    std::map<BaseEvent::Type, std::shared_ptr<BaseEvent>> _lastEvents;
    std::recursive_timed_mutex _mutex;
    std::unique_ptr<ILogger> _logger;
};

}  // namespace events
}  // namespace common
