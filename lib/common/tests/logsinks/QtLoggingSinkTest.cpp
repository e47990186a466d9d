#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>

#include "CollectingSink.h"
#include "common/logger/Logger.h"
#include "common/logsinks/IQtLoggingSink.h"
#include "common/logsinks/QtLoggingSink.h"

using common::ILogger;
using common::Logger;

TEST(QtLoggingSinkTest, EachSeverityIsLoggedUnchangedWithTheQtPlatformFacility) {
    Logger::stop();
    Logger::init("Unattended", ILogger::Info);
    auto collecting = std::make_shared<logsinkstest::CollectingSink>();
    Logger::addSink(collecting, true);

    struct Case {
        void (IQtLoggingSink::*operation)(const std::string&);
        ILogger::Level level;
        std::string message;
    };
    const Case cases[] = {
        {&IQtLoggingSink::debug, ILogger::Debug, "[ default ] debug line"},
        {&IQtLoggingSink::warning, ILogger::Warning, "[ HttpQuery ] [0x7f00] warning line"},
        {&IQtLoggingSink::error, ILogger::Error, "[ WebSocket ] error line"},
        {&IQtLoggingSink::fatal, ILogger::Fatal, "[ MainThread ] fatal line"},
        {&IQtLoggingSink::info, ILogger::Info, "info line without category"},
    };
    std::unique_ptr<IQtLoggingSink> sink = std::make_unique<common::QtLoggingSink>();
    for (const auto& c : cases) {
        ((*sink).*c.operation)(c.message);
    }

    const auto records = collecting->waitForRecords(std::size(cases));
    Logger::stop();
    ASSERT_EQ(records.size(), std::size(cases));
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(cases[i].message);
        EXPECT_EQ(records[i]._level, cases[i].level);
        EXPECT_EQ(records[i]._facility, "QtPlatform");
        EXPECT_EQ(records[i]._message, cases[i].message);
        EXPECT_EQ(records[i]._app, "Unattended");
    }
}
