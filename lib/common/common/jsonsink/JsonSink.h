#pragma once

#include <memory>
#include <string>

#include "common/collectors/IEventCollector.h"
#include "common/eventsender/IEventBlockSender.h"
#include "common/logevent/JsonLogEvent.h"
#include "common/logger/ILoggerSink.h"
#include "common/taskscheduler/ITaskQueue.h"
#include "interprocess/datalink/IDataLink.h"

namespace common {

// The log sink whose records (Debug and above) become log events for the monitoring service.
// It also drains, every 100 ms, the records that the companion programs forward over its
// data link (see ForwardedLogRecord), and treats them like its own.
class JsonSink : public ILoggerSink {
public:
    static constexpr unsigned long kMaxWaitingMessages = 100;
    // At most this many forwarded records are taken per drain, so a flooding sender cannot
    // hold the main thread.
    static constexpr int kMaxMessagesPerDrain = 1000;

    JsonSink(std::unique_ptr<ITaskQueue> queue, std::unique_ptr<interprocess::IDataLink> dataLink,
             std::shared_ptr<IEventBlockSender> sender, const std::string& sessionId);
    // Finishes the queue (the pending drain and collector tasks are dropped) and stops the data
    // link. Sends nothing: waiting events are sent by flush.
    ~JsonSink() override;

    JsonSink(const JsonSink&) = delete;
    JsonSink& operator=(const JsonSink&) = delete;

    void write(const Record& record, unsigned long facilityWidth) override;
    void writeNewLine() override;
    // Sends every waiting event now (blocking).
    void flush() override;

private:
    void drain();

    std::unique_ptr<ITaskQueue> _queue;
    std::unique_ptr<interprocess::IDataLink> _dataLink;
    std::string _sessionId;
    std::unique_ptr<IEventCollector<JsonLogEvent>> _eventCollector;
};

}  // namespace common
