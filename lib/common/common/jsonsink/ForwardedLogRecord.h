#pragma once

#include <cstddef>
#include <string>

#include "common/logger/ILoggerSink.h"

namespace common {

// The log record a companion program sends to the daemon's participant "jsonsink", one JSON
// object per data-link message:
//   "_app" (string), "_epochMillis" (unsigned 64-bit), "_threadId" (string),
//   "_isMainThread" (bool), "_level" (unsigned 32-bit), "_facility" (string),
//   "_message" (string), then "_tag" (string) only when the tag is not empty.
class ForwardedLogRecord {
public:
    // The participant of the daemon's JSON sink.
    static constexpr const char* kParticipant = "jsonsink";
    // The message size of the sink's queue.
    static constexpr std::size_t kMaxMessageSize = 0x4000;

    // The largest record text that a participant named `source` can send to the sink in one
    // message (the queue's frame carries both participant names besides the text).
    static std::size_t maxPayloadSize(const std::string& source);

    // The record as JSON of at most `maxSize` bytes: a message that would not fit is shortened
    // (at a UTF-8 character boundary) until the text fits. Empty only when even an empty
    // message does not fit.
    static std::string write(const ILoggerSink::Record& record, std::size_t maxSize);

    // Reads a record: missing members keep the start values (empty texts, time 0, not the
    // main thread, level Info); invalid JSON or a member of the wrong kind fails. "_tag" is
    // not read. The record's time is set from "_epochMillis".
    static bool read(const std::string& text, ILoggerSink::Record& record);
};

}  // namespace common
