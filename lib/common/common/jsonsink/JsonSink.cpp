#include "common/jsonsink/JsonSink.h"

#include <chrono>
#include <utility>
#include <vector>

#include "common/collectors/EventCollector.h"
#include "common/jsonsink/ForwardedLogRecord.h"

namespace common {

JsonSink::JsonSink(std::unique_ptr<ITaskQueue> queue,
                   std::unique_ptr<interprocess::IDataLink> dataLink,
                   std::shared_ptr<IEventBlockSender> sender, const std::string& sessionId)
    : ILoggerSink("JsonSink"),
      _queue(std::move(queue)),
      _dataLink(std::move(dataLink)),
      _sessionId(sessionId),
      _eventCollector(std::make_unique<EventCollector<JsonLogEvent>>(*_queue, std::move(sender))) {
    setLevel(ILogger::Debug);
    setWriteLevel(ILogger::Debug);
    if (_dataLink && _dataLink->init(kMaxWaitingMessages, ForwardedLogRecord::kMaxMessageSize)) {
        _queue->push(
            [this](bool& reschedule, unsigned long) {
                drain();
                reschedule = true;
            },
            std::chrono::milliseconds(100), ITaskQueue::Normal);
    }
}

JsonSink::~JsonSink() {
    _queue->finish([](bool&, unsigned long) {}, true);
    _eventCollector.reset();
    if (_dataLink) {
        _dataLink->stop();
    }
    _dataLink.reset();
}

void JsonSink::write(const Record& record, unsigned long /*facilityWidth*/) {
    const auto threshold = getWriteLevel().value_or(ILogger::Debug);
    if (static_cast<uint32_t>(record._level) < static_cast<uint32_t>(threshold)) {
        return;
    }
    _eventCollector->addRecord(JsonLogEvent(record, _sessionId));
}

void JsonSink::writeNewLine() {}

void JsonSink::flush() {
    _eventCollector->flush();
}

void JsonSink::drain() {
    std::vector<signed char> payload;
    std::string source;
    unsigned long channel = 0;
    bool synchronous = false;
    for (int i = 0;
         i < kMaxMessagesPerDrain && _dataLink->receive(payload, source, channel, synchronous);
         ++i) {
        Record record;
        if (!ForwardedLogRecord::read(std::string(payload.begin(), payload.end()), record)) {
            continue;
        }
        // Secrets are masked here as the program's own logger masks its records: a forwarded
        // record reaches no sink unmasked, whatever its sender did.
        record._message = Record::asteriskSensitiveMessage(record._message);
        record._tag.clear();
        write(record, 0);
    }
}

}  // namespace common
