#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/logger/ILoggerSink.h"

namespace loggertest {

// A sink that keeps every record it is given, and optionally appends its name to a shared
// list on every write (to see the order in which sinks are called).
class CollectingSink : public common::ILoggerSink {
public:
    explicit CollectingSink(const std::string& name,
                            std::optional<common::ILogger::Level> level = std::nullopt,
                            std::vector<std::string>* order = nullptr)
        : common::ILoggerSink(name), _order(order) {
        setLevel(level);
    }

    void write(const Record& record, unsigned long facilityWidth) override {
        std::lock_guard<std::mutex> lock(_mutex);
        _records.push_back(record);
        _lines.push_back(record.toString(facilityWidth));
        if (_order != nullptr) {
            _order->push_back(getName());
        }
        _changed.notify_all();
    }
    void writeNewLine() override {
        std::lock_guard<std::mutex> lock(_mutex);
        ++_newLines;
    }
    void flush() override {
        std::lock_guard<std::mutex> lock(_mutex);
        ++_flushes;
    }

    std::vector<Record> records() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _records;
    }
    std::vector<std::string> messages() const {
        std::lock_guard<std::mutex> lock(_mutex);
        std::vector<std::string> result;
        for (const auto& record : _records) {
            result.push_back(record._message);
        }
        return result;
    }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _lines;
    }
    int newLines() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _newLines;
    }
    int flushes() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _flushes;
    }
    // Waits (generously) until at least `count` records have arrived.
    bool waitForRecords(std::size_t count) const {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, std::chrono::seconds(30),
                                 [&] { return _records.size() >= count; });
    }

private:
    mutable std::mutex _mutex;
    mutable std::condition_variable _changed;
    std::vector<Record> _records;
    std::vector<std::string> _lines;
    std::vector<std::string>* _order;
    int _newLines = 0;
    int _flushes = 0;
};

}  // namespace loggertest
