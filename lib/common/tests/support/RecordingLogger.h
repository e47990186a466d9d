#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/logger/ILogger.h"

namespace testsupport {

// What a RecordingLogger was given; shared with the test after the logger was handed over.
class LogBook {
public:
    struct Entry {
        common::ILogger::Level level;
        std::string facility;
        std::string message;
        std::string tag;
    };

    void add(Entry entry) {
        std::lock_guard<std::mutex> lock(_mutex);
        _entries.push_back(std::move(entry));
    }
    std::vector<Entry> entries() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _entries;
    }
    // How many records of the level hold `text`.
    std::size_t count(common::ILogger::Level level, const std::string& text) const {
        std::lock_guard<std::mutex> lock(_mutex);
        return static_cast<std::size_t>(
            std::count_if(_entries.begin(), _entries.end(), [&](const Entry& entry) {
                return entry.level == level && entry.message.find(text) != std::string::npos;
            }));
    }
    bool contains(common::ILogger::Level level, const std::string& text) const {
        return count(level, text) > 0;
    }
    // Messages of the level, in order.
    std::vector<std::string> messages(common::ILogger::Level level) const {
        std::lock_guard<std::mutex> lock(_mutex);
        std::vector<std::string> result;
        for (const auto& entry : _entries) {
            if (entry.level == level) {
                result.push_back(entry.message);
            }
        }
        return result;
    }
    std::string lastFacility() const {
        std::lock_guard<std::mutex> lock(_mutex);
        return _lastFacility;
    }
    void setLastFacility(std::string facility) {
        std::lock_guard<std::mutex> lock(_mutex);
        _lastFacility = std::move(facility);
    }
    void clear() {
        std::lock_guard<std::mutex> lock(_mutex);
        _entries.clear();
    }

private:
    mutable std::mutex _mutex;
    std::vector<Entry> _entries;
    std::string _lastFacility;
};

// A logger that keeps every record (all levels) in a LogBook, with its facility and tag.
class RecordingLogger : public common::ILogger {
public:
    RecordingLogger(const std::string& name, std::shared_ptr<LogBook> book)
        : ILogger(name), _book(std::move(book)) {
        _book->setLastFacility(getFacility());
    }

    Level getLevel() const override { return Trace; }
    void setSubFacility(const std::string& subFacility) override {
        ILogger::setSubFacility(subFacility);
        _book->setLastFacility(getFacility());
    }
    void log(const Level& level, const std::string& facility, const std::string& message,
             const std::string& tag) const override {
        _book->add({level, facility, message, tag});
    }

private:
    std::shared_ptr<LogBook> _book;
};

}  // namespace testsupport
