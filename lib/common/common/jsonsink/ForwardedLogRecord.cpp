#include "common/jsonsink/ForwardedLogRecord.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <cstdint>
#include <limits>

#include "foundation/persistence/JsonSerialization.h"

namespace common {

namespace {

using persistence::JsonValue;

// Frame overhead of the data link: four 64-bit lengths or numbers and the synchronous flag.
constexpr std::size_t kFrameFixedSize = 33;

std::string writeWith(const ILoggerSink::Record& record, const std::string& message) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    const auto text = [&writer](const std::string& value) {
        writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
    };
    writer.StartObject();
    writer.Key("_app");
    text(record._app);
    writer.Key("_epochMillis");
    writer.Uint64(record._epochMillis);
    writer.Key("_threadId");
    text(record._threadId);
    writer.Key("_isMainThread");
    writer.Bool(record._isMainThread);
    writer.Key("_level");
    writer.Uint(static_cast<unsigned>(record._level));
    writer.Key("_facility");
    text(record._facility);
    writer.Key("_message");
    text(message);
    if (!record._tag.empty()) {
        writer.Key("_tag");
        text(record._tag);
    }
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

// The length of the longest prefix of `text` not longer than `length` that ends at a UTF-8
// character boundary.
std::size_t characterBoundary(const std::string& text, std::size_t length) {
    while (length > 0 && length < text.size() &&
           (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        --length;
    }
    return length;
}

// A record of the forwarded format; members are looked up by name.
struct ForwardedRecordReader {
    ILoggerSink::Record& record;

    bool FromJSON(const JsonValue& value) {
        if (!value.IsObject()) {
            return false;
        }
        return text(value, "_app", record._app) && millis(value) &&
               text(value, "_threadId", record._threadId) && mainThread(value) && level(value) &&
               text(value, "_facility", record._facility) &&
               text(value, "_message", record._message);
    }

    static bool text(const JsonValue& object, const char* name, std::string& target) {
        const auto member = object.FindMember(name);
        return member == object.MemberEnd() ||
               persistence::JSONDeserializer<std::string>()(member->value, target);
    }
    bool millis(const JsonValue& object) {
        const auto member = object.FindMember("_epochMillis");
        if (member == object.MemberEnd()) {
            return true;
        }
        return persistence::JSONDeserializer<uint64_t>()(member->value, record._epochMillis);
    }
    bool mainThread(const JsonValue& object) {
        const auto member = object.FindMember("_isMainThread");
        return member == object.MemberEnd() ||
               persistence::JSONDeserializer<bool>()(member->value, record._isMainThread);
    }
    bool level(const JsonValue& object) {
        const auto member = object.FindMember("_level");
        if (member == object.MemberEnd()) {
            return true;
        }
        uint32_t value = 0;
        if (!persistence::JSONDeserializer<uint32_t>()(member->value, value)) {
            return false;
        }
        record._level = static_cast<ILogger::Level>(value);
        return true;
    }
};

}  // namespace

std::size_t ForwardedLogRecord::maxPayloadSize(const std::string& source) {
    const std::size_t overhead =
        kFrameFixedSize + source.size() + std::char_traits<char>::length(kParticipant);
    return overhead >= kMaxMessageSize ? 0 : kMaxMessageSize - overhead;
}

std::string ForwardedLogRecord::write(const ILoggerSink::Record& record, std::size_t maxSize) {
    std::string message = record._message;
    std::string json = writeWith(record, message);
    while (json.size() > maxSize) {
        if (message.empty()) {
            return std::string();
        }
        // Every byte cut from the message removes at least one byte of JSON.
        const std::size_t excess = json.size() - maxSize;
        const std::size_t keep = message.size() > excess ? message.size() - excess : 0;
        message.resize(characterBoundary(message, keep));
        json = writeWith(record, message);
    }
    return json;
}

bool ForwardedLogRecord::read(const std::string& text, ILoggerSink::Record& record) {
    ILoggerSink::Record read;
    ForwardedRecordReader reader{read};
    if (!persistence::json_deserialize(text, reader)) {
        return false;
    }
    read._time = ILoggerSink::Record::Time(
        std::chrono::microseconds(read._epochMillis > std::numeric_limits<int64_t>::max() / 1000
                                      ? std::numeric_limits<int64_t>::max()
                                      : static_cast<int64_t>(read._epochMillis) * 1000));
    record = std::move(read);
    return true;
}

}  // namespace common
