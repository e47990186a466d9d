#include <gtest/gtest.h>

#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "CollectingSink.h"
#include "common/logger/Logger.h"
#include "common/logsinks/LogWrapperForFoundation.h"
#include "foundation/logging/LogSource.h"
#include "foundation/logging/Logging.h"

using common::ILogger;
using common::Logger;
using common::LogWrapperForFoundation;

namespace {

// A foundation class that logs on its own channel.
class FoundationObject : public logging::LogSource {
public:
    FoundationObject() : logging::LogSource("FoundationObject") {}
    void write(logging::severity_level severity, const std::string& text) const {
        Log(severity) << text;
    }
};

// The common logger at Trace with a collecting sink, and the foundation console captured.
class LogWrapperForFoundationTest : public ::testing::Test {
protected:
    void SetUp() override {
        _savedClog = std::clog.rdbuf(_console.rdbuf());
        Logger::stop();
        Logger::init("Unattended", ILogger::Trace);
        Logger::addSink(_collecting, true);
    }
    void TearDown() override {
        logging::SetGlobalSink(nullptr);
        Logger::stop();
        std::clog.rdbuf(_savedClog);
    }

    std::shared_ptr<logsinkstest::CollectingSink> _collecting =
        std::make_shared<logsinkstest::CollectingSink>();
    std::ostringstream _console;
    std::streambuf* _savedClog = nullptr;
};

std::string severityMessage(int row, int severity) {
    return "row " + std::to_string(row) + " severity " + std::to_string(severity);
}

}  // namespace

// Records logged in the foundation library arrive in the common logger with the mapped level.
TEST_F(LogWrapperForFoundationTest, ForeignRecordsArriveWithTheMappedLevel) {
    auto wrapper =
        std::make_shared<LogWrapperForFoundation>(ILogger::create("Foundation"), ILogger::Trace);
    wrapper->init();

    struct Case {
        int severity;
        ILogger::Level level;
    };
    const Case cases[] = {
        {logging::Trace, ILogger::Trace},
        {logging::Debug, ILogger::Trace},
        {logging::Info, ILogger::Info},
        {logging::Notice, ILogger::Info},
        {logging::Warning, ILogger::Warning},
        {logging::Error, ILogger::Error},
        {logging::Critical, ILogger::Fatal},
        {logging::Alert, ILogger::Fatal},
        {logging::Emergency, ILogger::Fatal},
        {9, ILogger::Error},
        {15, ILogger::Error},
    };
    const FoundationObject object;
    for (const auto& c : cases) {
        object.write(static_cast<logging::severity_level>(c.severity),
                     severityMessage(0, c.severity));
    }
    logging::GlobalLog(logging::Notice) << "from the global logger";

    const std::size_t expected = std::size(cases) + 1;
    const auto records = _collecting->waitForRecords(expected);
    ASSERT_EQ(records.size(), expected);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].severity);
        EXPECT_EQ(records[i]._level, cases[i].level);
        EXPECT_EQ(records[i]._facility, "Foundation");
        EXPECT_EQ(records[i]._message, severityMessage(0, cases[i].severity));
    }
    EXPECT_EQ(records.back()._level, ILogger::Info);
    EXPECT_EQ(records.back()._message, "from the global logger");
}

// The common level given to the bridge sets the foundation level: the foundation console shows
// exactly the severities from the mapped one upwards.
TEST_F(LogWrapperForFoundationTest, CommonLevelSetsTheFoundationSeverity) {
    struct Case {
        unsigned level;
        logging::severity_level severity;
    };
    const Case cases[] = {
        {ILogger::Trace, logging::Trace}, {ILogger::Debug, logging::Debug},
        {ILogger::Info, logging::Info},   {ILogger::Warning, logging::Warning},
        {ILogger::Error, logging::Error}, {ILogger::Fatal, logging::Critical},
        {ILogger::None, logging::Error},  {7, logging::Error},
    };
    const FoundationObject object;
    int row = 0;
    for (const auto& c : cases) {
        ++row;
        SCOPED_TRACE(c.level);
        auto wrapper = std::make_shared<LogWrapperForFoundation>(
            ILogger::create("Foundation"), static_cast<ILogger::Level>(c.level));
        wrapper->init();
        _console.str("");
        for (int severity = logging::Trace; severity <= logging::Emergency; ++severity) {
            object.write(static_cast<logging::severity_level>(severity),
                         severityMessage(row, severity));
        }
        const std::string console = _console.str();
        for (int severity = logging::Trace; severity <= logging::Emergency; ++severity) {
            const bool shown =
                console.find(severityMessage(row, severity) + "\n") != std::string::npos;
            EXPECT_EQ(shown, severity >= c.severity) << "severity " << severity;
        }
        EXPECT_EQ(
            LogWrapperForFoundation::toFoundationSeverity(static_cast<ILogger::Level>(c.level)),
            c.severity);
    }
}

// Without a shared owner there is nothing to register: init reports it instead of throwing.
TEST_F(LogWrapperForFoundationTest, InitWithoutSharedOwnerReportsAndRegistersNothing) {
    LogWrapperForFoundation wrapper(ILogger::create("Foundation"), ILogger::Trace);
    EXPECT_NO_THROW(wrapper.init());
    FoundationObject().write(logging::Error, "not taken over");
    ASSERT_TRUE(_collecting->waitForFacility("Foundation"));
    Logger::stop();
    const auto records = _collecting->waitForRecords(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]._level, ILogger::Error);
    EXPECT_NE(records[0]._message.find("not owned by a shared pointer"), std::string::npos);
}
