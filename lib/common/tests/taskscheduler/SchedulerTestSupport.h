#pragma once

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"
#include "common/taskscheduler/TaskScheduler.h"

namespace schedulertest {

struct LogEntry {
    common::ILogger::Level level;
    std::string message;
};

// What a RecordingLogger was given, shared with the test after the logger was handed over.
class LogRecords {
public:
    void add(common::ILogger::Level level, const std::string& message) {
        std::lock_guard<std::mutex> lock(_mutex);
        _entries.push_back({level, message});
    }
    bool contains(common::ILogger::Level level, const std::string& message) const {
        std::lock_guard<std::mutex> lock(_mutex);
        return std::any_of(_entries.begin(), _entries.end(), [&](const LogEntry& e) {
            return e.level == level && e.message == message;
        });
    }
    std::vector<LogEntry> entries() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _entries;
    }

private:
    mutable std::mutex _mutex;
    std::vector<LogEntry> _entries;
};

class RecordingLogger : public common::ILogger {
public:
    explicit RecordingLogger(std::shared_ptr<LogRecords> records)
        : ILogger("TaskScheduler"), _records(std::move(records)) {}

    Level getLevel() const override { return Trace; }
    void log(const Level& level, const std::string& /*facility*/, const std::string& message,
             const std::string& /*tag*/) const override {
        _records->add(level, message);
    }

private:
    std::shared_ptr<LogRecords> _records;
};

inline void doNothing(bool&, unsigned long) {}

}  // namespace schedulertest
