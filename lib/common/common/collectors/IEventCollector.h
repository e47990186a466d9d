#pragma once

#include <boost/signals2/connection.hpp>
#include <functional>

namespace common {

// Gathers uploadable items and hands them in batches to the event-block sender.
template <class T>
class IEventCollector {
public:
    virtual ~IEventCollector() = default;

    virtual void addRecord(const T& record) = 0;
    virtual void addRecord(T&& record) = 0;
    // Sends every waiting item now and waits (boundedly) for the upload.
    virtual void flush() = 0;
    // The signal fires at the start of every periodic check.
    virtual boost::signals2::connection connectSendingEventsSignal(
        std::function<void()>&& function) = 0;
};

}  // namespace common
