#pragma once

#include <boost/signals2/connection.hpp>
#include <functional>
#include <memory>

#include "common/events/BaseEvent.h"

namespace common {
namespace events {

// Process-wide publish-subscribe channel. Handlers run on the posting thread; the returned
// connection is the subscriber's handle (disconnect it, or let a scoped connection end, to
// stop receiving).
class IEventBus {
public:
    using Handler = std::function<void(std::shared_ptr<BaseEvent>)>;

    IEventBus() = default;
    virtual ~IEventBus() = default;
    IEventBus(const IEventBus&) = delete;
    IEventBus& operator=(const IEventBus&) = delete;

    // Connects the handler to the events of the type; an empty connection on failure.
    virtual boost::signals2::connection subscribe(BaseEvent::Type type, Handler&& handler) = 0;
    // The same, after calling the handler once with the last event of the type, if any.
    virtual boost::signals2::connection subscribeAndNotify(BaseEvent::Type type,
                                                           Handler&& handler) = 0;
    // Calls every handler of the event's type. False when nobody ever subscribed to the type
    // (the event is then neither delivered nor remembered) or the bus is busy for too long.
    virtual bool post(const std::shared_ptr<BaseEvent>& event) = 0;

    // The bus of the process, created on first use.
    static IEventBus& instance();
};

}  // namespace events
}  // namespace common
