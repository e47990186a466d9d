#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/logger/ILoggerSink.h"
#include "common/logger/Logger.h"

namespace testsupport {

// Runs the process logger at Trace level into a sink that keeps every record.
class RecordedLog : public common::ILoggerSink {
public:
    RecordedLog() : common::ILoggerSink("RecordedLog") {}

    static std::shared_ptr<RecordedLog> start() {
        common::Logger::init("test", common::ILogger::Trace);
        auto sink = std::make_shared<RecordedLog>();
        common::Logger::addSink(sink, true);
        return sink;
    }

    void write(const Record& record, unsigned long /*facilityWidth*/) override {
        std::lock_guard<std::mutex> lock(_mutex);
        _records.push_back(record);
    }
    void writeNewLine() override {}

    // Stops the logger, so that every record made so far has arrived, and answers how many
    // records of the level hold `text`. Start again before logging more.
    std::size_t count(common::ILogger::Level level, const std::string& text) {
        common::Logger::stop();
        std::lock_guard<std::mutex> lock(_mutex);
        return static_cast<std::size_t>(
            std::count_if(_records.begin(), _records.end(), [&](const Record& record) {
                return record._level == level && record._message.find(text) != std::string::npos;
            }));
    }

private:
    std::mutex _mutex;
    std::vector<Record> _records;
};

}  // namespace testsupport
