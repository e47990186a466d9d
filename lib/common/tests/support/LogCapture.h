#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/logger/ILoggerSink.h"
#include "common/logger/Logger.h"

namespace testsupport {

// Starts the process logger at Trace level with a sink that keeps every record, so a test can
// look at what a component logged.
class LogCapture : public common::ILoggerSink {
public:
    using Record = common::ILoggerSink::Record;

    LogCapture() : common::ILoggerSink("LogCapture") {}

    static std::shared_ptr<LogCapture> install() {
        common::Logger::init("test", common::ILogger::Trace);
        auto sink = std::make_shared<LogCapture>();
        common::Logger::addSink(sink, true);
        return sink;
    }

    void write(const Record& record, unsigned long /*facilityWidth*/) override {
        std::lock_guard<std::mutex> lock(_mutex);
        _records.push_back(record);
        _changed.notify_all();
    }
    void writeNewLine() override {}

    // Waits (generously) for a record of the level whose message contains `text`.
    bool waitFor(common::ILogger::Level level, const std::string& text) {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, std::chrono::seconds(20),
                                 [&] { return containsLocked(level, text); });
    }

    // Every record logged so far; stops the logger first so that nothing is left queued.
    std::vector<Record> all() {
        common::Logger::stop();
        std::lock_guard<std::mutex> lock(_mutex);
        return _records;
    }

    // Stops the logger, so that every record made so far has arrived, and answers how many
    // records of the level hold `text`. Install again before logging more.
    std::size_t count(common::ILogger::Level level, const std::string& text) {
        const auto records = all();
        return static_cast<std::size_t>(
            std::count_if(records.begin(), records.end(), [&](const Record& record) {
                return record._level == level && record._message.find(text) != std::string::npos;
            }));
    }

    // Whether any record logged so far holds `text`.
    bool anyContains(const std::string& text) {
        const auto records = all();
        return std::any_of(records.begin(), records.end(), [&](const Record& record) {
            return record._message.find(text) != std::string::npos;
        });
    }

private:
    bool containsLocked(common::ILogger::Level level, const std::string& text) const {
        return std::any_of(_records.begin(), _records.end(), [&](const Record& record) {
            return record._level == level && record._message.find(text) != std::string::npos;
        });
    }

    std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<Record> _records;
};

}  // namespace testsupport
