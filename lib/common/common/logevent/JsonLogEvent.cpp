#include "common/logevent/JsonLogEvent.h"

#include "foundation/persistence/JSONDeserializer.h"

namespace common {

namespace {

using persistence::JsonAllocator;
using persistence::JsonValue;

void addText(JsonValue& object, const char* name, const std::string& text,
             JsonAllocator& allocator) {
    object.AddMember(
        rapidjson::StringRef(name),
        JsonValue(text.data(), static_cast<rapidjson::SizeType>(text.size()), allocator),
        allocator);
}

// A missing member keeps the target as it is; a member that is not a string fails.
bool readText(const JsonValue& object, const char* name, std::string& target) {
    const auto member = object.FindMember(name);
    if (member == object.MemberEnd()) {
        return true;
    }
    return persistence::JSONDeserializer<std::string>()(member->value, target);
}

}  // namespace

JsonLogEvent::JsonLogEvent(const ILoggerSink::Record& record, const std::string& sessionId_)
    : time(record.formattedDate()),
      level(ILoggerSink::Record::levelName(record._level)),
      app(record._app),
      facility(record._facility),
      message(record._message),
      sessionId(sessionId_),
      tag(record._tag) {}

std::string JsonLogEvent::toString() const {
    return "JsonLogEvent{time=" + time + ", level=" + level + ", app=" + app +
           ", facility=" + facility + ", message=\"" + message + "\", sessionId=" + sessionId +
           ", tag=" + tag + "}";
}

bool JsonLogEvent::ToJSON(JsonValue& value, JsonAllocator& allocator) const {
    value.SetObject();
    addText(value, "time", time, allocator);
    addText(value, "level", level, allocator);
    addText(value, "app", app, allocator);
    addText(value, "facility", facility, allocator);
    addText(value, "message", message, allocator);
    addText(value, "sessionId", sessionId, allocator);
    if (!tag.empty()) {
        addText(value, "tag", tag, allocator);
    }
    return true;
}

bool JsonLogEvent::FromJSON(const JsonValue& value) {
    if (!value.IsObject()) {
        return false;
    }
    return readText(value, "time", time) && readText(value, "level", level) &&
           readText(value, "app", app) && readText(value, "facility", facility) &&
           readText(value, "message", message) && readText(value, "sessionId", sessionId);
}

bool JsonLogEvent::operator==(const JsonLogEvent& other) const {
    return time == other.time && level == other.level && app == other.app &&
           facility == other.facility && message == other.message && sessionId == other.sessionId &&
           tag == other.tag;
}

}  // namespace common
