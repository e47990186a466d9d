#include "common/collectors/MetricsCollector.h"

#include <utility>

namespace common {
namespace metrics {

MetricsCollector::MetricsCollector(std::unique_ptr<ITaskQueue> queue,
                                   std::shared_ptr<IEventBlockSender> sender,
                                   EventCollector<Record>::Clock now)
    : _queue(std::move(queue)),
      _eventCollector(
          std::make_unique<EventCollector<Record>>(*_queue, std::move(sender), std::move(now))) {
    _sendingConnection = _eventCollector->connectSendingEventsSignal([this] { _flushingSignal(); });
}

MetricsCollector::~MetricsCollector() {
    _queue->finish([](bool&, unsigned long) {}, true);
    _sendingConnection.disconnect();
    _eventCollector.reset();
}

void MetricsCollector::addRecord(Record&& record) {
    _eventCollector->addRecord(std::move(record));
}

void MetricsCollector::flush() {
    _flushingSignal();
    _eventCollector->flush();
}

boost::signals2::connection MetricsCollector::connectFlushingSignal(
    std::function<void()>&& function) {
    return _flushingSignal.connect(std::move(function));
}

}  // namespace metrics
}  // namespace common
