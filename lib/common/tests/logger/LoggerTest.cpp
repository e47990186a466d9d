#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TestSink.h"
#include "common/logger/Condition.h"
#include "common/logger/ILogger.h"
#include "common/logger/Logger.h"

using common::ILogger;
using common::Logger;
using loggertest::CollectingSink;

namespace {

// Every case starts from a logger without writer and sinks and with an empty queue.
class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::stop();
        Logger::init("TestApp", ILogger::Info);
    }
    void TearDown() override { Logger::stop(); }
};

}  // namespace

TEST_F(LoggerTest, FacadeWritesRecordsWithFacilityAndMainThreadFlag) {
    auto sink = std::make_shared<CollectingSink>("Collect");
    Logger::addSink(sink, true);
    EXPECT_EQ(sink->newLines(), 1);

    auto logger = ILogger::create("Connection");
    logger->info("plain %d", 7);
    logger->setSubFacility("Tick");
    logger->warning("with sub %s", "facility");
    logger->taggedLogEntry("checkpoint", ILogger::Info, "Reconnecting.");
    std::string otherThreadId;
    std::thread([&] {
        logger->error("from a thread");
        otherThreadId = common::ILoggerSink::Record::threadIdText(pthread_self());
    }).join();
    ASSERT_TRUE(sink->waitForRecords(4));
    Logger::stop();
    EXPECT_EQ(sink->flushes(), 1);

    const auto records = sink->records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]._facility, "Connection");
    EXPECT_EQ(records[0]._message, "plain 7");
    EXPECT_EQ(records[0]._level, ILogger::Info);
    EXPECT_EQ(records[0]._app, "TestApp");
    EXPECT_TRUE(records[0]._isMainThread);
    EXPECT_EQ(records[1]._facility, "Connection:Tick");
    EXPECT_EQ(records[1]._level, ILogger::Warning);
    EXPECT_EQ(records[1]._tag, "");
    EXPECT_EQ(records[2]._tag, "checkpoint");
    EXPECT_FALSE(records[3]._isMainThread);
    EXPECT_EQ(records[3]._threadId, otherThreadId);
    ASSERT_GT(records[3]._threadId.size(), 2u);
    EXPECT_EQ(records[3]._threadId.substr(0, 2), "0x");
    EXPECT_EQ(records[3]._threadId.find_first_not_of("0123456789abcdef", 2), std::string::npos);
    EXPECT_EQ(logger->getLevel(), ILogger::Info);
}

TEST_F(LoggerTest, MessagesAreCutAt16383BytesAndAtAZeroByte) {
    auto sink = std::make_shared<CollectingSink>("Collect", ILogger::Trace);
    Logger::addSink(sink, true);
    auto logger = ILogger::create("Cut");
    const std::string big(20000, 'x');
    logger->info("%s", big.c_str());
    logger->logEntry(ILogger::Info, std::string("ab\0cd", 5));
    // Forwarded messages (not printf-style) are cut the same way, also at the logger itself.
    logger->logEntry(ILogger::Info, big);
    logger->log(ILogger::Info, "Forwarded", big, "");
    Logger::stop();
    const auto messages = sink->messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], big.substr(0, 16383));
    EXPECT_EQ(messages[1], "ab");
    EXPECT_EQ(messages[2], big.substr(0, 16383));
    EXPECT_EQ(messages[3], big.substr(0, 16383));
}

// Secrets are masked before any sink gets the record; backslashes stay in the record and are
// removed only from the log line.
TEST_F(LoggerTest, SecretsAreMaskedBeforeAnySink) {
    auto sink = std::make_shared<CollectingSink>("Json", ILogger::Debug);
    Logger::addSink(sink, true);
    auto logger = ILogger::create("Params");
    logger->info(R"(set {"name":"Password","value":{"sensitive":"p}w\"x"}} in C:\dir)");
    logger->info(R"(sent "{\"token\":{\"sensitive\":\"a}b\\\"c\"}}")");
    // Unevenly escaped: only its log-line form (backslashes gone) opens a secret.
    logger->info(R"(uneven {\"sensitive":"pw"} end)");
    Logger::stop();
    const auto records = sink->records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2]._message, "uneven *** end");
    EXPECT_EQ(records[0]._message, R"(set {"name":"Password","value":***} in C:\dir)");
    EXPECT_EQ(records[1]._message, R"(sent "{\"token\":***}")");
    const auto lines = sink->lines();
    EXPECT_NE(lines[0].find(R"( - set {"name":"Password","value":***} in C:dir)"),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find(R"( - sent "{"token":***}")"), std::string::npos) << lines[1];
}

TEST_F(LoggerTest, SinkThresholdIsTheLowerOfOwnAndGlobalLevel) {
    struct Case {
        ILogger::Level global;
        std::vector<uint32_t> fileLevels;  // sink without a level of its own
        std::vector<uint32_t> jsonLevels;  // own level Debug
        std::vector<uint32_t> highLevels;  // own level Error
    };
    const Case cases[] = {
        {ILogger::Info, {2, 3, 4, 5, 9}, {1, 2, 3, 4, 5, 9}, {2, 3, 4, 5, 9}},
        {ILogger::None, {9}, {1, 2, 3, 4, 5, 9}, {4, 5, 9}},
        {ILogger::Trace, {0, 1, 2, 3, 4, 5, 9}, {0, 1, 2, 3, 4, 5, 9}, {0, 1, 2, 3, 4, 5, 9}},
    };
    for (const auto& c : cases) {
        Logger::stop();
        Logger::init("TestApp", c.global);
        auto file = std::make_shared<CollectingSink>("FileSink");
        auto json = std::make_shared<CollectingSink>("JsonSink", ILogger::Debug);
        auto high = std::make_shared<CollectingSink>("High", ILogger::Error);
        Logger::addSink(file, false);
        Logger::addSink(json, false);
        Logger::addSink(high, false);
        auto logger = ILogger::create("Levels");
        for (uint32_t level : {0u, 1u, 2u, 3u, 4u, 5u, 9u}) {
            logger->logEntry(static_cast<ILogger::Level>(level), std::to_string(level));
        }
        Logger::stop();
        auto levelsOf = [](const CollectingSink& sink) {
            std::vector<uint32_t> levels;
            for (const auto& record : sink.records()) {
                levels.push_back(record._level);
            }
            return levels;
        };
        EXPECT_EQ(levelsOf(*file), c.fileLevels) << "global " << c.global;
        EXPECT_EQ(levelsOf(*json), c.jsonLevels) << "global " << c.global;
        EXPECT_EQ(levelsOf(*high), c.highLevels) << "global " << c.global;
    }
}

TEST_F(LoggerTest, AddSinkWithReplaceKeepsOneSinkOfTheNameAtTheEnd) {
    std::vector<std::string> order;
    auto first = std::make_shared<CollectingSink>("FileSink", std::nullopt, &order);
    auto other = std::make_shared<CollectingSink>("Other", std::nullopt, &order);
    auto second = std::make_shared<CollectingSink>("FileSink", std::nullopt, &order);
    auto third = std::make_shared<CollectingSink>("FileSink", std::nullopt, &order);
    Logger::addSink(first, true);
    Logger::addSink(other, true);
    Logger::addSink(second, true);
    EXPECT_EQ(first->newLines(), 1);
    EXPECT_EQ(second->newLines(), 1);
    ILogger::create("Sinks")->info("one");
    ASSERT_TRUE(second->waitForRecords(1));
    Logger::addSink(third, false);  // without replace both stay
    ILogger::create("Sinks")->info("two");
    Logger::stop();

    EXPECT_TRUE(first->records().empty());
    EXPECT_EQ(other->messages(), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(second->messages(), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(third->messages(), (std::vector<std::string>{"two"}));
    EXPECT_EQ(order,
              (std::vector<std::string>{"Other", "FileSink", "Other", "FileSink", "FileSink"}));
    EXPECT_EQ(first->flushes(), 0);
    EXPECT_EQ(second->flushes(), 1);
    EXPECT_EQ(third->flushes(), 1);
}

TEST_F(LoggerTest, RecordsBeforeInitOrAfterStopNeverReachASink) {
    Logger::stop();
    auto logger = ILogger::create("Early");
    logger->info("before init");
    auto sink = std::make_shared<CollectingSink>("Collect");
    Logger::addSink(sink, true);
    logger->info("still before init");
    Logger::init("TestApp", ILogger::Info);
    logger->info("after init");
    Logger::stop();
    logger->info("after stop");
    EXPECT_EQ(sink->messages(), (std::vector<std::string>{"after init"}));

    // A new init starts a new writer; what was queued after the stop is discarded.
    auto later = std::make_shared<CollectingSink>("Collect");
    Logger::init("TestApp", ILogger::Info);
    Logger::addSink(later, true);
    logger->info("second run");
    Logger::stop();
    EXPECT_EQ(later->messages(), (std::vector<std::string>{"second run"}));
    EXPECT_EQ(sink->messages().size(), 1u);
}

TEST_F(LoggerTest, ManyThreadsLoseAndReorderNothing) {
    auto sink = std::make_shared<CollectingSink>("Collect");
    Logger::addSink(sink, true);
    const uint64_t droppedBefore = Logger::droppedRecords();
    constexpr int kThreads = 8;
    constexpr int kPerThread = 3000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            auto logger = ILogger::create("Thread" + std::to_string(t));
            for (int i = 0; i < kPerThread; ++i) {
                logger->info("%d", i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    Logger::stop();
    std::vector<int> next(kThreads, 0);
    std::vector<std::string> threadIds(kThreads);
    for (const auto& record : sink->records()) {
        const int t = std::stoi(record._facility.substr(6));
        ASSERT_EQ(std::stoi(record._message), next[t]) << record._facility;
        ++next[t];
        if (threadIds[t].empty()) {
            threadIds[t] = record._threadId;
        }
        EXPECT_EQ(record._threadId, threadIds[t]);
        EXPECT_FALSE(record._isMainThread);
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(next[t], kPerThread) << t;
    }
    EXPECT_EQ(Logger::droppedRecords(), droppedBefore);
}

TEST_F(LoggerTest, QueueWithoutWriterIsBoundedAndCountsDrops) {
    Logger::stop();
    const uint64_t droppedBefore = Logger::droppedRecords();
    auto logger = ILogger::create("Bound");
    for (std::size_t i = 0; i < Logger::kMaxQueuedRecords + 25; ++i) {
        logger->logEntry(ILogger::Info, "x");
    }
    EXPECT_EQ(Logger::droppedRecords() - droppedBefore, 25u);
}

// A sink may log while it writes (the record goes to a later pass) and may stop the logger.
TEST_F(LoggerTest, SinkThatLogsWhileWriting) {
    class EchoSink : public CollectingSink {
    public:
        EchoSink() : CollectingSink("Echo") {}
        void write(const Record& record, unsigned long width) override {
            CollectingSink::write(record, width);
            if (record._message == "ping") {
                _logger->info("pong");
            }
        }

    private:
        std::unique_ptr<ILogger> _logger = ILogger::create("Echo");
    };
    auto sink = std::make_shared<EchoSink>();
    Logger::addSink(sink, true);
    ILogger::create("Test")->info("ping");
    ASSERT_TRUE(sink->waitForRecords(2));
    Logger::stop();
    EXPECT_EQ(sink->messages(), (std::vector<std::string>{"ping", "pong"}));
}

// A sink that throws loses that call only: the writer goes on, other sinks get every record,
// and neither addSink nor stop passes the exception on.
TEST_F(LoggerTest, ASinkThatThrowsLosesOnlyItsOwnCalls) {
    class ThrowingSink : public CollectingSink {
    public:
        ThrowingSink() : CollectingSink("Throwing") {}
        void write(const Record& record, unsigned long width) override {
            if (record._message == "bad") {
                throw std::runtime_error("write failed");
            }
            CollectingSink::write(record, width);
        }
        void writeNewLine() override { throw std::runtime_error("new line failed"); }
        void flush() override { throw std::runtime_error("flush failed"); }
    };
    auto throwing = std::make_shared<ThrowingSink>();
    auto sink = std::make_shared<CollectingSink>("Collect");
    EXPECT_NO_THROW(Logger::addSink(throwing, true));
    Logger::addSink(sink, true);
    auto logger = ILogger::create("Throw");
    logger->info("bad");
    logger->info("good");
    ASSERT_TRUE(sink->waitForRecords(2));
    EXPECT_NO_THROW(Logger::stop());
    EXPECT_EQ(sink->messages(), (std::vector<std::string>{"bad", "good"}));
    EXPECT_EQ(throwing->messages(), (std::vector<std::string>{"good"}));
    EXPECT_EQ(sink->flushes(), 1);
}

// A sink that stops the logger ends the writer after its pass; a new init starts another one.
TEST_F(LoggerTest, InitAfterASinkStoppedTheWriterStartsANewOne) {
    class StoppingSink : public CollectingSink {
    public:
        StoppingSink() : CollectingSink("Stopping") {}
        void write(const Record& record, unsigned long width) override {
            CollectingSink::write(record, width);
            if (record._message == "stop") {
                Logger::stop();
                stopped.set_value();
            }
        }
        std::promise<void> stopped;
    };
    auto stopping = std::make_shared<StoppingSink>();
    Logger::addSink(stopping, true);
    auto logger = ILogger::create("Restart");
    auto stopped = stopping->stopped.get_future();
    logger->info("stop");
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(30)), std::future_status::ready);

    Logger::init("TestApp", ILogger::Info);
    auto sink = std::make_shared<CollectingSink>("Collect");
    Logger::addSink(sink, true);
    logger->info("after restart");
    EXPECT_TRUE(sink->waitForRecords(1));
    Logger::stop();
    EXPECT_EQ(sink->messages(), (std::vector<std::string>{"after restart"}));
}

TEST(ConditionTest, SignalIsConsumedByOneWait) {
    common::Condition<int> condition;
    int value = 0;
    EXPECT_FALSE(condition.wait(std::chrono::milliseconds(1), value));
    condition.set(5);
    EXPECT_TRUE(condition.wait(std::chrono::milliseconds(1), value));
    EXPECT_EQ(value, 5);
    EXPECT_FALSE(condition.wait(std::chrono::milliseconds(1), value));

    std::thread setter([&] { condition.set(7); });
    EXPECT_EQ(condition.wait(), 7);
    setter.join();
    setter = std::thread([&] { condition.set(9); });
    EXPECT_TRUE(condition.wait(std::chrono::milliseconds::max(), value));
    EXPECT_EQ(value, 9);
    setter.join();
}
