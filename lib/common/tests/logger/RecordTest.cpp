#include <gtest/gtest.h>
#include <pthread.h>

#include <ctime>
#include <string>

#include "common/logger/ILoggerSink.h"
#include "testsupport/ScopedEnv.h"

using common::ILogger;
using Record = common::ILoggerSink::Record;

namespace {

// 2024-03-05 14:07:09 UTC plus the given microseconds.
Record::Time fixedTime(long long micros) {
    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 14;
    tm.tm_min = 7;
    tm.tm_sec = 9;
    const long long seconds = static_cast<long long>(timegm(&tm));
    return Record::Time(std::chrono::microseconds(seconds * 1000000 + micros));
}

class RecordLineTest : public ::testing::Test {
protected:
    void SetUp() override { tzset(); }
    void TearDown() override { tzset(); }
    testsupport::ScopedEnv _tz{"TZ", std::string("UTC")};
};

}  // namespace

TEST_F(RecordLineTest, LogLineHasTheExactColumns) {
    struct Case {
        long long micros;
        bool isMain;
        std::string threadId;
        uint32_t level;
        std::string app;
        std::string facility;
        unsigned long width;
        std::string message;
        std::string expected;
    };
    const Case cases[] = {
        {42123, true, "", ILogger::Info, "Unattended", "TaskScheduler", 23, "hello",
         "[ 2024-03-05 14:07:09.042 ][      Main      ][ Info    ][ Unattended ][      "
         "TaskScheduler      ] - hello"},
        // Odd padding puts the larger half before the text.
        {0, false, "0x7f12abc", ILogger::Warning, "Helper", "Connection:Tick", 23, "m",
         "[ 2024-03-05 14:07:09.000 ][    0x7f12abc   ][ Warning ][   Helper  ][     "
         "Connection:Tick     ] - m"},
        {999999, false, "0x7f12ab", ILogger::Trace, "UI", "X", 23, "",
         "[ 2024-03-05 14:07:09.999 ][    0x7f12ab    ][ Trace   ][     UI    ][            X "
         "           ] - "},
        // Longer texts are not cut; the level beyond None prints as Unknown.
        {5000, false, "0x7f1234567890ab", 9, "Unattended", "AVeryLongFacilityNameOver23", 23, "x",
         "[ 2024-03-05 14:07:09.005 ][ 0x7f1234567890ab ][ Unknown ][ Unattended ][ "
         "AVeryLongFacilityNameOver23 ] - x"},
        {1000, true, "", ILogger::None, "Agent", "Params", 10, "z",
         "[ 2024-03-05 14:07:09.001 ][      Main      ][ None    ][   Agent   ][   Params   ] - "
         "z"},
        {1000, true, "", ILogger::Error, "Agent", "Params", 0, "z",
         "[ 2024-03-05 14:07:09.001 ][      Main      ][ Error   ][   Agent   ][ Params ] - z"},
        // Backslashes are removed and secrets masked in the line only.
        {1000, true, "", ILogger::Fatal, "Agent", "P", 0, R"(C:\dir {\"sensitive\":\"pw\"} done)",
         "[ 2024-03-05 14:07:09.001 ][      Main      ][ Fatal   ][   Agent   ][ P ] - C:dir *** "
         "done"},
        // A record that did not pass the logger: an escaped quote and a brace in the secret
        // do not end it once the backslashes are gone.
        {1000, true, "", ILogger::Info, "Agent", "P", 0, R"(x {"sensitive":"a\"}b"} y)",
         "[ 2024-03-05 14:07:09.001 ][      Main      ][ Info    ][   Agent   ][ P ] - x *** y"},
    };
    for (const auto& c : cases) {
        Record record(fixedTime(c.micros), pthread_self(), c.isMain,
                      static_cast<ILogger::Level>(c.level), c.app, c.facility, c.message, "");
        if (!c.threadId.empty()) {
            record._threadId = c.threadId;
        }
        EXPECT_EQ(record.toString(c.width), c.expected) << c.message;
    }
}

TEST_F(RecordLineTest, RecordKeepsTimeThreadAndText) {
    const Record record(fixedTime(42123), pthread_self(), false, ILogger::Debug, "App", "Fac",
                        R"(a\b)", "checkpoint");
    EXPECT_EQ(record._epochMillis,
              static_cast<uint64_t>(fixedTime(42123).time_since_epoch().count() / 1000));
    EXPECT_EQ(record._threadId, Record::threadIdText(pthread_self()));
    EXPECT_EQ(record._message, R"(a\b)");
    EXPECT_EQ(record._tag, "checkpoint");

    char expectedId[64];
    std::snprintf(expectedId, sizeof(expectedId), "0x%lx",
                  static_cast<unsigned long>(pthread_self()));
    EXPECT_EQ(Record::threadIdText(pthread_self()), expectedId);
}

TEST(RecordTest, FormattedDateIsUtcWithThreeDigitMillis) {
    testsupport::ScopedEnv tz("TZ", std::string("Asia/Kolkata"));
    tzset();
    Record record;
    record._epochMillis = 1709647629005ULL;  // 2024-03-05 14:07:09.005 UTC
    EXPECT_EQ(record.formattedDate(), "2024-03-05T14:07:09.005Z");
    record._epochMillis = 0;
    EXPECT_EQ(record.formattedDate(), "1970-01-01T00:00:00.000Z");
}

TEST(RecordTest, LevelNames) {
    const char* names[] = {"Trace", "Debug", "Info",    "Warning", "Error",
                           "Fatal", "None",  "Unknown", "Unknown"};
    for (uint32_t level = 0; level < 9; ++level) {
        EXPECT_STREQ(Record::levelName(static_cast<ILogger::Level>(level)), names[level]);
    }
    EXPECT_STREQ(Record::levelName(static_cast<ILogger::Level>(0xFFFFFFFFu)), "Unknown");
}

TEST(RecordTest, MaskingOfSensitiveValues) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"", ""},
        {"no secret here", "no secret here"},
        {R"(a {"sensitive":"x"} b)", "a *** b"},
        {R"({"user":"u","password":{"sensitive":"pw"},"n":1})",
         R"({"user":"u","password":***,"n":1})"},
        {R"(two {"sensitive":"a"} and {"sensitive":"b"}.)", "two *** and ***."},
        // No closing: everything to the end.
        {R"(start {"sensitive":"abc)", "start ***"},
        {R"(start {"sensitive":"abc"  )", "start ***"},
        // A closing brace or an escaped quote inside the secret does not end it.
        {R"(x {"sensitive":"a}b"} y)", "x *** y"},
        {R"(x {"sensitive":"a\"}b"} y)", "x *** y"},
        {R"(x {"sensitive":"a\\"} y)", "x *** y"},
        // JSON escaped inside a message, once and twice.
        {R"(msg "{\"sensitive\":\"a}b\\\"c\"}" tail)", R"(msg "***" tail)"},
        {R"(m {\\\"sensitive\\\":\\\"s}\\\\\\\"x\\\"} t)", "m *** t"},
        // Values that are no strings are masked through their own end.
        {R"({"sensitive":12345} z)", "*** z"},
        {R"({"sensitive":{"a":"}","b":[1,{"c":2}]}} z)", "*** z"},
        {R"({"sensitive":null})", "***"},
        // White space after the brace and around the colon (pretty-printed JSON), also when
        // the JSON is escaped inside a string.
        {R"({"sensitive" : "x"})", "***"},
        {R"(a { "sensitive" : "x" } b)", "a *** b"},
        {"{\n    \"user\": \"u\",\n    \"password\": {\n        \"sensitive\": \"pw\"\n    }\n}",
         "{\n    \"user\": \"u\",\n    \"password\": ***\n}"},
        {"{\r\n\t\"sensitive\"\t:\r\n 7}", "***"},
        {R"(sent "{\n    \"sensitive\": \"a}b\"\n}" tail)", R"(sent "***" tail)"},
        {R"(sent "{\\n \\\"sensitive\\\" : \\\"s}\\\"} tail)", R"(sent "*** tail)"},
        // Not an opening of a secret.
        {R"({"sensitive" x : "x"})", R"({"sensitive" x : "x"})"},
        {R"({ x "sensitive": "x"})", R"({ x "sensitive": "x"})"},
        {R"("sensitive":"x")", R"("sensitive":"x")"},
        {R"({"insensitive":"x"})", R"({"insensitive":"x"})"},
        {R"({\"sensitive":"x"})", R"({\"sensitive":"x"})"},
        {"***", "***"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Record::asteriskSensitiveMessage(c.text), c.expected) << c.text;
    }
}

TEST(RecordTest, EscapeRemovalDropsEveryBackslash) {
    EXPECT_EQ(Record::replaceEscapeCharachers(R"(a\\b\"c\)"), R"(ab"c)");
    EXPECT_EQ(Record::replaceEscapeCharachers("plain"), "plain");
}
