#include "common/jsonsink/JsonSink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "../telemetrysupport/FakeEventBlockSender.h"
#include "common/jsonsink/ForwardedLogRecord.h"
#include "common/util/Util.h"
#include "lib/common/tests/support/ManualScheduler.h"
#include "platform/process/Process.h"

using common::ForwardedLogRecord;
using common::ILogger;
using common::ILoggerSink;
using common::JsonLogEvent;
using common::JsonSink;
using telemetrytest::FakeEventBlockSender;
using testing::HasSubstr;
using testsupport::ManualScheduler;
using namespace std::chrono_literals;

namespace {

ILoggerSink::Record localRecord(ILogger::Level level, const std::string& message,
                                const std::string& tag = "") {
    return ILoggerSink::Record(ILoggerSink::Record::Time(std::chrono::seconds(1796828727)),
                               pthread_self(), true, level, "Unattended", "Test", message, tag);
}

// A data link that refuses to start.
class BrokenDataLink : public interprocess::IDataLink {
public:
    bool stop() override { return markStopped(); }
    bool init(const unsigned long&, const unsigned long&) override { return false; }
    bool send(const std::string&, const unsigned long&, const std::vector<signed char>&,
              bool) override {
        return false;
    }
    bool receive(std::vector<signed char>&, std::string&, unsigned long&, bool&) override {
        return false;
    }
    std::string getName() const override { return "jsonsink"; }
    std::string getName(const std::string& participant) const override { return participant; }
};

TEST(ForwardedLogRecordTest, WritesTheMembersInOrderAndReadsThemBack) {
    auto record = localRecord(ILogger::Warning, "msg", "tag1");
    record._threadId = "0x2a";
    const std::string text = ForwardedLogRecord::write(record, 0x4000);
    EXPECT_EQ(
        text,
        R"({"_app":"Unattended","_epochMillis":1796828727000,"_threadId":"0x2a",)"
        R"("_isMainThread":true,"_level":3,"_facility":"Test","_message":"msg","_tag":"tag1"})");
    ILoggerSink::Record read;
    ASSERT_TRUE(ForwardedLogRecord::read(text, read));
    EXPECT_EQ(read._app, "Unattended");
    EXPECT_EQ(read._epochMillis, 1796828727000u);
    EXPECT_EQ(read._level, ILogger::Warning);
    EXPECT_TRUE(read._isMainThread);
    EXPECT_EQ(read._message, "msg");
    EXPECT_EQ(read._tag, "");  // not read
    EXPECT_EQ(read.formattedDate(), "2026-12-09T15:05:27.000Z");

    record._tag.clear();
    EXPECT_EQ(ForwardedLogRecord::write(record, 0x4000).find("_tag"), std::string::npos);
}

TEST(ForwardedLogRecordTest, ReadingRules) {
    struct Case {
        const char* text;
        bool accepted;
    } cases[] = {
        {"{}", true},
        {R"({"_epochMillis":18446744073709551615,"_level":4294967295})", true},
        {R"({"_epochMillis":"12"})", false},
        {R"({"_epochMillis":-1})", false},
        {R"({"_epochMillis":1.5})", false},
        {R"({"_level":4294967296})", false},
        {R"({"_isMainThread":1})", false},
        {R"({"_message":5})", false},
        {R"({"_tag":5})", true},
        {"[]", false},
        {"not json", false},
        {R"({"_app":"a")", false},
    };
    for (const auto& c : cases) {
        ILoggerSink::Record read;
        EXPECT_EQ(ForwardedLogRecord::read(c.text, read), c.accepted) << c.text;
    }
    ILoggerSink::Record defaults;
    ASSERT_TRUE(ForwardedLogRecord::read("{}", defaults));
    EXPECT_EQ(defaults._level, ILogger::Info);
    EXPECT_EQ(defaults._epochMillis, 0u);
    EXPECT_FALSE(defaults._isMainThread);
}

TEST(ForwardedLogRecordTest, ATooLongMessageIsShortenedToFitAtACharacterBoundary) {
    // "é" is two bytes: a cut must not split it.
    std::string message;
    for (int i = 0; i < 10000; ++i) {
        message += "\xC3\xA9";
    }
    message += "\"\n";  // characters that JSON escapes
    const auto record = localRecord(ILogger::Error, message);
    const std::size_t limit = ForwardedLogRecord::maxPayloadSize("helper");
    EXPECT_EQ(limit, 0x4000u - 33 - 6 - 8);
    const std::string text = ForwardedLogRecord::write(record, limit);
    ASSERT_FALSE(text.empty());
    EXPECT_LE(text.size(), limit);
    EXPECT_GT(text.size(), limit - 16);
    ILoggerSink::Record read;
    ASSERT_TRUE(ForwardedLogRecord::read(text, read));
    EXPECT_EQ(read._message.size() % 2, 0u);
    EXPECT_EQ(message.compare(0, read._message.size(), read._message), 0);
    EXPECT_EQ(ForwardedLogRecord::write(record, 10), "");  // not even the frame fits
}

class JsonSinkTest : public ::testing::Test {
protected:
    std::shared_ptr<ManualScheduler> scheduler = ManualScheduler::create();
    std::shared_ptr<FakeEventBlockSender> sender = std::make_shared<FakeEventBlockSender>();
    // Queue names are process-wide: one prefix per test run.
    std::string prefix = "jsonsinktest" + common::util::generateNanoId(8, "abcdefghijklmnop");
};

TEST_F(JsonSinkTest, CollectsDebugAndAboveWithTheSessionId) {
    JsonSink sink(scheduler->getTaskQueue("JsonSink"), std::make_unique<BrokenDataLink>(), sender,
                  "session-1");
    EXPECT_EQ(sink.getName(), "JsonSink");
    EXPECT_EQ(sink.getLevel(), ILogger::Debug);
    sink.write(localRecord(ILogger::Trace, "trace"), 23);
    sink.write(localRecord(ILogger::Debug, "debug"), 23);
    sink.write(localRecord(ILogger::Error, "error", "checkpoint"), 23);
    sink.flush();
    const auto batches = sender->takeEventBatches();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].method, common::IEventBlockSender::Blocking);
    ASSERT_EQ(batches[0].items.size(), 2u);
    EXPECT_EQ(batches[0].items[0].message, "debug");
    EXPECT_EQ(batches[0].items[0].level, "Debug");
    EXPECT_EQ(batches[0].items[0].sessionId, "session-1");
    EXPECT_EQ(batches[0].items[1].tag, "checkpoint");
    // Only the collector's periodic check is queued: without a data link there is no drain.
    EXPECT_EQ(scheduler->getTasksSize(), 1u);
}

TEST_F(JsonSinkTest, RecordsOfAnotherProcessArriveOverTheDataLink) {
    JsonSink sink(scheduler->getTaskQueue("JsonSink"),
                  interprocess::IDataLink::create(prefix, "jsonsink"), sender, "S");
    EXPECT_EQ(scheduler->getTasksSize(), 2u);  // the drain and the collector's check
    const auto result = standin::Process::run(LOG_FORWARDER_PROGRAM, {prefix, "helperforwarder"});
    ASSERT_TRUE(result.succeeded()) << result.status;

    scheduler->advance(100ms);  // one drain takes every waiting message
    sink.flush();
    const auto batches = sender->takeEventBatches();
    ASSERT_EQ(batches.size(), 1u);
    const auto& events = batches[0].items;
    ASSERT_EQ(events.size(), 4u);

    EXPECT_EQ(events[0].app, "Helper");
    EXPECT_EQ(events[0].facility, "Forwarder");
    EXPECT_EQ(events[0].level, "Info");
    EXPECT_EQ(events[0].message, "hello");
    EXPECT_EQ(events[0].time, "2026-12-09T15:05:27.005Z");
    EXPECT_EQ(events[0].sessionId, "S");
    EXPECT_EQ(events[0].tag, "");  // a forwarded tag is not read

    EXPECT_EQ(events[1].level, "Warning");
    EXPECT_EQ(events[1].message, "login *** done");

    // The text that is not JSON and the string time were dropped.
    EXPECT_EQ(events[2].level, "Unknown");
    EXPECT_EQ(events[2].message, "odd level");
    EXPECT_EQ(events[2].time, "1970-01-01T00:00:00.000Z");

    EXPECT_EQ(events[3].level, "Error");
    EXPECT_THAT(events[3].message, testing::StartsWith("long:xxxx"));
    EXPECT_GT(events[3].message.size(), 16000u);
    EXPECT_LT(events[3].message.size(), 16384u);
}

TEST_F(JsonSinkTest, DestroyingTheSinkDropsItsTasksAndSendsNothing) {
    {
        JsonSink sink(scheduler->getTaskQueue("JsonSink"),
                      interprocess::IDataLink::create(prefix, "jsonsink"), sender, "S");
        sink.write(localRecord(ILogger::Info, "waiting"), 0);
    }
    EXPECT_EQ(scheduler->getTasksSize(), 0u);
    scheduler->advance(60000ms);
    EXPECT_TRUE(sender->takeEventBatches().empty());
}

}  // namespace
