#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <thread>

#include "LoggingTestFixture.h"
#include "foundation/logging/LogSource.h"
#include "foundation/logging/ScopedEntryExitLogger.h"
#include "foundation/logging/ThreadName.h"

namespace {

using testing_logging::Captured;
using testing_logging::LoggingTest;
using testing_logging::RecordingBackend;

class Resolver : private logging::LogSource {
public:
    Resolver() : logging::LogSource("HostResolver") {}
    void Write(logging::severity_level level, const std::string& text) { Log(level) << text; }
    void WriteDefault(const std::string& text) { Log() << text << ' ' << 42; }
    int Traced(int* line) const {
        *line = __LINE__ + 1;
        FOUNDATION_LOG_ENTRY_EXIT(logging::Debug);
        Log(logging::Info) << "inside";
        return 1;
    }
    long Identifier() const { return GetObjectIdentifier(); }
    template <typename T>
    void WriteValue(logging::severity_level level, const T& value) {
        Log(level) << value;
    }
};

// Counts how often it is formatted.
struct Formatted {
    int* count;
};
std::ostream& operator<<(std::ostream& stream, const Formatted& value) {
    ++*value.count;
    return stream << "formatted";
}

TEST(LogLevelToStringTest, NamesEveryLevelAndNothingElse) {
    const char* const names[] = {"Trace", "Debug",    "Info",  "Notice",   "Warning",
                                 "Error", "Critical", "Alert", "Emergency"};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(logging::LogLevelToString(static_cast<logging::severity_level>(i)), names[i]);
    }
    EXPECT_EQ(logging::LogLevelToString(static_cast<logging::severity_level>(9)), "");
    EXPECT_EQ(logging::LogLevelToString(static_cast<logging::severity_level>(-1)), "");
}

TEST_F(LoggingTest, LevelFiltersConsoleAndCustomSink) {
    const logging::severity_level levels[] = {logging::Trace, logging::Debug, logging::Info,
                                              logging::Error, logging::Emergency};
    Resolver resolver;
    for (logging::severity_level level : levels) {
        SCOPED_TRACE(logging::LogLevelToString(level));
        ClearCaptured();
        logging::SetGlobalSeverityLevel(level);
        for (int s = 0; s <= 8; ++s) {
            resolver.Write(static_cast<logging::severity_level>(s), "m" + std::to_string(s));
        }
        // The custom sink takes everything but Trace (all of it when the level is Trace);
        // the console takes what reaches the level.
        std::vector<std::string> expectedCustom, custom;
        for (int s = level == logging::Trace ? 0 : 1; s <= 8; ++s) {
            expectedCustom.push_back("m" + std::to_string(s));
        }
        for (const Captured& record : m_Backend->Records()) {
            custom.push_back(record.message);
        }
        EXPECT_EQ(custom, expectedCustom);
        std::vector<std::string> lines = ConsoleLines();
        ASSERT_EQ(lines.size(), 9u - static_cast<unsigned>(level));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string suffix = " - m" + std::to_string(level + static_cast<int>(i));
            EXPECT_EQ(lines[i].substr(lines[i].size() - suffix.size()), suffix);
        }
    }
}

TEST_F(LoggingTest, ConsoleLineFormat) {
    Resolver resolver;
    resolver.Write(logging::Info, "resolving example.test");
    resolver.Write(logging::Emergency, "x");
    logging::GlobalLog(logging::Warning) << "no object";
    const std::vector<std::string> lines = ConsoleLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(testing_logging::IsTimedLine(
        lines[0], " - Info      - HostResolver - resolving example.test"))
        << lines[0];
    EXPECT_TRUE(testing_logging::IsTimedLine(lines[1], " - Emergency - HostResolver - x"))
        << lines[1];
    EXPECT_TRUE(testing_logging::IsTimedLine(lines[2], " - Warning   -  - no object")) << lines[2];
}

TEST_F(LoggingTest, RecordsCarryChannelSeverityObjectAndGlobalAttributes) {
    Resolver resolver;
    resolver.WriteDefault("default level");
    logging::GlobalLog(logging::Error) << "global";
    const auto records = m_Backend->Records();
    ASSERT_EQ(records.size(), 2u);

    EXPECT_EQ(records[0].severity, logging::Info);
    EXPECT_EQ(records[0].channel, "HostResolver");
    EXPECT_EQ(records[0].message, "default level 42");
    EXPECT_EQ(records[0].objectIdentifier, resolver.Identifier());
    EXPECT_NE(records[0].objectIdentifier, 0);
    EXPECT_EQ(records[0].threadName, core::GetThreadName());
    EXPECT_TRUE(records[0].hasUniversalTime);
    EXPECT_TRUE(records[0].hasLocalTime);

    EXPECT_EQ(records[1].severity, logging::Error);
    EXPECT_EQ(records[1].channel, "");
    EXPECT_EQ(records[1].objectIdentifier, 0);
}

TEST_F(LoggingTest, StatementThatNoSinkTakesFormatsNothing) {
    Resolver resolver;
    int count = 0;
    logging::SetGlobalSeverityLevel(logging::Info);
    resolver.WriteValue(logging::Trace, Formatted{&count});  // held back at the core
    EXPECT_EQ(count, 0);
    resolver.WriteValue(logging::Debug, Formatted{&count});  // the custom sink takes it
    EXPECT_EQ(count, 1);
    logging::SetGlobalSink(nullptr);
    resolver.WriteValue(logging::Debug, Formatted{&count});  // the console alone refuses it
    EXPECT_EQ(count, 1);
    EXPECT_EQ(m_Backend->Records().size(), 1u);
}

TEST_F(LoggingTest, ReplacingAndRemovingTheCustomSink) {
    Resolver resolver;
    auto second = std::make_shared<RecordingBackend>();
    std::weak_ptr<RecordingBackend> firstAlive = m_Backend;
    logging::SetGlobalSink(second);
    m_Backend.reset();
    EXPECT_TRUE(firstAlive.expired());  // the replaced sink let go of it

    std::weak_ptr<RecordingBackend> secondAlive = second;
    second.reset();
    resolver.Write(logging::Info, "to second");
    ASSERT_FALSE(secondAlive.expired());  // the registered sink keeps its backend
    EXPECT_EQ(secondAlive.lock()->Records().size(), 1u);

    logging::SetGlobalSink(nullptr);
    EXPECT_TRUE(secondAlive.expired());
    resolver.Write(logging::Info, "to console only");
    EXPECT_EQ(ConsoleLines().size(), 2u);
}

TEST_F(LoggingTest, CustomBackendIsNeverEnteredConcurrently) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            Resolver resolver;
            for (int i = 0; i < 200; ++i) {
                resolver.Write(logging::Debug, "parallel");
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(m_Backend->Records().size(), 800u);
    EXPECT_FALSE(m_Backend->Overlapped());
}

TEST_F(LoggingTest, EntryExitLoggerWritesSignatureFileAndLine) {
    Resolver resolver;
    int line = 0;
    EXPECT_EQ(resolver.Traced(&line), 1);
    const auto records = m_Backend->Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].message, "int {anonymous}::Resolver::Traced(int*) const: entering");
    EXPECT_EQ(records[1].message, "inside");
    EXPECT_EQ(records[2].message, "int {anonymous}::Resolver::Traced(int*) const: returning");
    for (int i : {0, 2}) {
        EXPECT_EQ(records[i].severity, logging::Debug);
        EXPECT_EQ(records[i].channel, "HostResolver");
        EXPECT_EQ(records[i].objectIdentifier, resolver.Identifier());
        ASSERT_EQ(records[i].holders.size(), 2u);
        const auto& holders = records[i].holders;
        EXPECT_EQ(std::count(holders.begin(), holders.end(), std::to_string(line)), 1);
        EXPECT_EQ(std::count(holders.begin(), holders.end(), __FILE__), 1);
    }
    EXPECT_TRUE(records[1].holders.empty());
    // Console lines end with the printed attribute holders.
    const auto lines = ConsoleLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("Traced(int*) const: entering - "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(__FILE__), std::string::npos);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 9), " - inside");
}

// Runs in a fresh process: nothing may have initialised logging before.
TEST(LoggingBeforeInitializeTest, CallsAreIgnoredAndInitializeStartsAtDebug) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::ostringstream console;
            std::clog.rdbuf(console.rdbuf());
            auto early = std::make_shared<RecordingBackend>();
            logging::SetGlobalSeverityLevel(logging::Trace);
            logging::SetGlobalSink(early);
            logging::GlobalLog(logging::Error) << "before";
            logging::Initialize(nullptr, false);
            logging::Initialize("/nonexistent", true);  // a second call changes nothing
            auto late = std::make_shared<RecordingBackend>();
            logging::SetGlobalSink(late);
            logging::GlobalLog(logging::Trace) << "trace";
            logging::GlobalLog(logging::Debug) << "debug";
            const auto records = late->Records();
            const bool ok = early->Records().empty() && records.size() == 1 &&
                            records[0].message == "debug" &&
                            console.str().find("debug") != std::string::npos &&
                            console.str().find("trace") == std::string::npos &&
                            console.str().find("before") == std::string::npos;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

class AnnouncingBackend : public RecordingBackend {
public:
    ~AnnouncingBackend() override { std::fprintf(stderr, "backend released\n"); }
};

// The services live until process exit and then release every sink, the custom one included.
TEST(LoggingAtExitTest, RegisteredBackendIsReleasedAtProcessExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            logging::Initialize(nullptr, false);
            logging::SetGlobalSink(std::make_shared<AnnouncingBackend>());
            logging::GlobalLog(logging::Info) << "last words";
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "last words(.|\n)*backend released");
}

}  // namespace
