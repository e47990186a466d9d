#include "common/logevent/JsonLogEvent.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "foundation/persistence/JsonSerialization.h"
#include "testsupport/ScopedEnv.h"

using common::ILogger;
using common::ILoggerSink;
using common::JsonLogEvent;

namespace {

ILoggerSink::Record makeRecord(uint64_t epochMillis, uint32_t level, const std::string& tag) {
    const ILoggerSink::Record::Time time{std::chrono::microseconds(epochMillis * 1000)};
    return ILoggerSink::Record(time, pthread_self(), true, static_cast<ILogger::Level>(level),
                               "Unattended", "Session", "hello \"world\"", tag);
}

std::string toJson(const JsonLogEvent& event) {
    std::string text;
    EXPECT_TRUE(persistence::json_serialize(event, text));
    return text;
}

TEST(JsonLogEventTest, TimeIsUtcWithThreeDigitMillisecondsWhateverTheLocalZone) {
    // 2026-12-09T15:05:27Z; the machine's zone must not move the clock time of a "Z" text.
    const uint64_t seconds = 1796828727;
    std::optional<testsupport::ScopedEnv> zone;
    zone.emplace("TZ", std::string("America/New_York"));
    tzset();
    struct Case {
        uint64_t millis;
        const char* text;
    } cases[] = {
        {seconds * 1000 + 5, "2026-12-09T15:05:27.005Z"},
        {seconds * 1000, "2026-12-09T15:05:27.000Z"},
        {seconds * 1000 + 999, "2026-12-09T15:05:27.999Z"},
        {0, "1970-01-01T00:00:00.000Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonLogEvent(makeRecord(c.millis, ILogger::Info, ""), "s").time, c.text);
    }
    zone.reset();
    tzset();
}

TEST(JsonLogEventTest, LevelNamesWithUnknownBeyondNone) {
    const char* names[] = {"Trace", "Debug", "Info", "Warning", "Error", "Fatal", "None"};
    for (uint32_t level = 0; level < 7; ++level) {
        EXPECT_EQ(JsonLogEvent(makeRecord(0, level, ""), "").level, names[level]);
    }
    EXPECT_EQ(JsonLogEvent(makeRecord(0, 7, ""), "").level, "Unknown");
    EXPECT_EQ(JsonLogEvent(makeRecord(0, 9, ""), "").level, "Unknown");
}

TEST(JsonLogEventTest, JsonFormWritesTagOnlyWhenSetAndReadsBackWithoutIt) {
    const JsonLogEvent plain(makeRecord(1000, ILogger::Warning, ""), "S1");
    EXPECT_EQ(toJson(plain),
              "{\"time\":\"1970-01-01T00:00:01.000Z\",\"level\":\"Warning\",\"app\":"
              "\"Unattended\",\"facility\":\"Session\",\"message\":\"hello \\\"world\\\"\","
              "\"sessionId\":\"S1\"}");

    const JsonLogEvent tagged(makeRecord(1000, ILogger::Warning, "checkpoint"), "S1");
    const std::string text = toJson(tagged);
    EXPECT_NE(text.find(",\"tag\":\"checkpoint\"}"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("\"tag\""), text.size() - 19);  // the last member

    JsonLogEvent readBack;
    ASSERT_TRUE(persistence::json_deserialize(text, readBack));
    JsonLogEvent expected = tagged;
    expected.tag.clear();
    EXPECT_EQ(readBack, expected);
}

TEST(JsonLogEventTest, ReadingKeepsDefaultsForMissingMembersAndRefusesWrongKinds) {
    JsonLogEvent event;
    ASSERT_TRUE(persistence::json_deserialize(std::string("{\"message\":\"m\"}"), event));
    EXPECT_EQ(event.level, "Info");
    EXPECT_EQ(event.message, "m");
    EXPECT_EQ(event.time, "");

    JsonLogEvent wrong;
    EXPECT_FALSE(persistence::json_deserialize(std::string("{\"level\":3}"), wrong));
    EXPECT_FALSE(persistence::json_deserialize(std::string("[1]"), wrong));
    EXPECT_FALSE(persistence::json_deserialize(std::string("{\"time\":"), wrong));
}

TEST(JsonLogEventTest, TextFormQuotesTheMessage) {
    const JsonLogEvent event(makeRecord(0, ILogger::Error, "t"), "sid");
    EXPECT_EQ(event.toString(),
              "JsonLogEvent{time=1970-01-01T00:00:00.000Z, level=Error, app=Unattended, "
              "facility=Session, message=\"hello \"world\"\", sessionId=sid, tag=t}");
}

}  // namespace
