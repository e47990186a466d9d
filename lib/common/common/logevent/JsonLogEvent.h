#pragma once

#include <string>

#include "common/logger/ILoggerSink.h"
#include "foundation/persistence/JsonTypes.h"

namespace common {

// One log record as it is uploaded to the monitoring service.
class JsonLogEvent {
public:
    // Level "Info", every other text empty.
    JsonLogEvent() = default;
    JsonLogEvent(const ILoggerSink::Record& record, const std::string& sessionId);

    // JsonLogEvent{time=..., level=..., app=..., facility=..., message="...", sessionId=...,
    // tag=...}
    std::string toString() const;

    // "time", "level", "app", "facility", "message", "sessionId", then "tag" when it is not
    // empty; all strings.
    bool ToJSON(persistence::JsonValue& value, persistence::JsonAllocator& allocator) const;
    // Reads the members by name; missing ones keep their defaults and "tag" is not read.
    // False when the value is not an object or a member read is not a string.
    bool FromJSON(const persistence::JsonValue& value);

    bool operator==(const JsonLogEvent& other) const;
    bool operator!=(const JsonLogEvent& other) const { return !(*this == other); }

    std::string time;
    std::string level = "Info";
    std::string app;
    std::string facility;
    std::string message;
    std::string sessionId;
    std::string tag;
};

}  // namespace common
