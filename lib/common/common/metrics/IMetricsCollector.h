#pragma once

#include <boost/signals2/connection.hpp>
#include <functional>

#include "common/metrics/Record.h"

namespace common {
namespace metrics {

// Takes metric records into batches for the monitoring service. Its owner holds it through a
// shared pointer, every other user through a weak one.
class IMetricsCollector {
public:
    virtual ~IMetricsCollector() = default;

    // Takes the record into the current batch.
    virtual void addRecord(Record&& record) = 0;
    // Fires the flushing signal, so that accumulators hand in their records, then sends the
    // whole batch.
    virtual void flush() = 0;
    // Connects the function to the flushing signal, which fires before every periodic
    // collection and at the start of every flush.
    virtual boost::signals2::connection connectFlushingSignal(std::function<void()>&& function) = 0;
};

}  // namespace metrics
}  // namespace common
