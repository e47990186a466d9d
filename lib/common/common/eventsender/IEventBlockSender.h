#pragma once

#include <boost/signals2/connection.hpp>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/logevent/JsonLogEvent.h"
#include "common/metrics/Record.h"

namespace common {

// Uploads batches of log events and metric records to the monitoring service.
class IEventBlockSender {
public:
    enum SendingMethod : int32_t {
        // Send, then wait for the answer (at most 5000 ms).
        Blocking = 0,
        // Send and return; the answer is handled when it comes.
        Asynchronous = 1,
    };

    virtual ~IEventBlockSender() = default;

    virtual void sendEvents(std::vector<JsonLogEvent>&& events, SendingMethod method) = 0;
    virtual void sendEvents(std::vector<metrics::Record>&& records, SendingMethod method) = 0;
    // The signal fires when the sender can no longer obtain a monitoring token.
    virtual boost::signals2::connection connectErrorSignal(std::function<void()>&& function) = 0;
};

}  // namespace common
