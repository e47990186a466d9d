#pragma once

#include <pthread.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "common/logger/ILogger.h"

namespace common {

// A destination of log records. Sinks are called by the logger's writer thread.
class ILoggerSink {
public:
    // One log record.
    class Record {
    public:
        using Time = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;

        // An empty record: empty texts, time 0, not of the main thread, level Info.
        Record() = default;
        Record(const Time& time, const pthread_t& threadId, const bool& isMainThread,
               const ILogger::Level& level, const std::string& application,
               const std::string& facility, const std::string& message, const std::string& tag);

        // The log line, without a line feed; the facility is centred in `facilityWidth`.
        std::string toString(unsigned long facilityWidth) const;

        // The record's time as "YYYY-MM-DDTHH:MM:SS.mmmZ" (UTC), from `_epochMillis`.
        std::string formattedDate() const;

        // The text with every backslash removed.
        static std::string replaceEscapeCharachers(const std::string& text);

        // The text with every JSON secret object ({"sensitive": value}, also when escaped
        // inside a JSON string) replaced by "***" through its own closing brace.
        static std::string asteriskSensitiveMessage(const std::string& text);

        // The name printed for a level; "Unknown" for values above None.
        static const char* levelName(ILogger::Level level);

        // "0x" followed by the lower-case hexadecimal digits of the thread handle.
        static std::string threadIdText(const pthread_t& threadId);

        std::string _app;
        Time _time{};
        uint64_t _epochMillis = 0;
        std::string _threadId;
        bool _isMainThread = false;
        ILogger::Level _level = ILogger::Info;
        std::string _facility;
        std::string _message;
        std::string _tag;
    };

    explicit ILoggerSink(const std::string& name);
    virtual ~ILoggerSink();

    // Delivers one record; `facilityWidth` is the width of the facility column.
    virtual void write(const Record& record, unsigned long facilityWidth) = 0;
    // Called once when the sink is added to the logger.
    virtual void writeNewLine() = 0;
    // Called once when the logger stops.
    virtual void flush();

    const std::string& getName() const { return _name; }

    // The sink's own level; when set below the global level the sink receives more records.
    std::optional<ILogger::Level> getLevel() const { return _level; }
    void setLevel(std::optional<ILogger::Level> level) { _level = level; }

    // A threshold of the sink's own; the logger does not read it.
    std::optional<ILogger::Level> getWriteLevel() const { return _writeLevel; }
    void setWriteLevel(std::optional<ILogger::Level> level) { _writeLevel = level; }

private:
    std::string _name;
    std::optional<ILogger::Level> _level;
    std::optional<ILogger::Level> _writeLevel;
};

}  // namespace common
