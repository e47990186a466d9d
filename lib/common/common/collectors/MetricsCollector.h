#pragma once

#include <boost/signals2/connection.hpp>
#include <boost/signals2/signal.hpp>
#include <functional>
#include <memory>

#include "common/collectors/EventCollector.h"
#include "common/eventsender/IEventBlockSender.h"
#include "common/metrics/IMetricsCollector.h"
#include "common/metrics/Record.h"
#include "common/taskscheduler/ITaskQueue.h"

namespace common {
namespace metrics {

// Batches metric records for the monitoring service. Before every periodic check and at the
// start of every flush it fires the flushing signal, on which the accumulators hand in their
// sums.
class MetricsCollector : public IMetricsCollector {
public:
    MetricsCollector(std::unique_ptr<ITaskQueue> queue, std::shared_ptr<IEventBlockSender> sender,
                     EventCollector<Record>::Clock now = EventCollector<Record>::Clock());
    // Finishes the queue, dropping the pending periodic check; sends nothing.
    ~MetricsCollector() override;

    MetricsCollector(const MetricsCollector&) = delete;
    MetricsCollector& operator=(const MetricsCollector&) = delete;

    void addRecord(Record&& record) override;
    void flush() override;
    boost::signals2::connection connectFlushingSignal(std::function<void()>&& function) override;

private:
    std::unique_ptr<ITaskQueue> _queue;
    std::unique_ptr<EventCollector<Record>> _eventCollector;
    boost::signals2::scoped_connection _sendingConnection;
    boost::signals2::signal<void()> _flushingSignal;
};

}  // namespace metrics
}  // namespace common
