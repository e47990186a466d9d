#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "common/logger/ILoggerSink.h"

namespace logsinkstest {

// Keeps every record it receives; its own level is Trace, so it gets every record.
class CollectingSink : public common::ILoggerSink {
public:
    CollectingSink() : common::ILoggerSink("Collecting") { setLevel(common::ILogger::Trace); }

    void write(const Record& record, unsigned long /*facilityWidth*/) override {
        std::lock_guard<std::mutex> lock(_mutex);
        _records.push_back(record);
        _changed.notify_all();
    }
    void writeNewLine() override {}

    // Waits (generously) until `count` records have arrived; returns those there are.
    std::vector<Record> waitForRecords(std::size_t count) const {
        std::unique_lock<std::mutex> lock(_mutex);
        _changed.wait_for(lock, std::chrono::seconds(30), [&] { return _records.size() >= count; });
        return _records;
    }
    // Waits until a record of `facility` has arrived.
    bool waitForFacility(const std::string& facility) const {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, std::chrono::seconds(30), [&] {
            for (const auto& record : _records) {
                if (record._facility == facility) {
                    return true;
                }
            }
            return false;
        });
    }

private:
    mutable std::mutex _mutex;
    mutable std::condition_variable _changed;
    std::vector<Record> _records;
};

}  // namespace logsinkstest
