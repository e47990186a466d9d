#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace common {

// Named logging facade. Each call makes one record and queues it for the process-wide
// logger's writer thread; no formatting of the line and no I/O happen on the caller's thread.
class ILogger {
public:
    enum Level : uint32_t {
        Trace = 0,
        Debug = 1,
        Info = 2,
        Warning = 3,
        Error = 4,
        Fatal = 5,
        None = 6,
    };

    explicit ILogger(const std::string& name);
    virtual ~ILogger();

    virtual Level getLevel() const = 0;
    virtual void setSubFacility(const std::string& subFacility);
    virtual void log(const Level& level, const std::string& facility, const std::string& message,
                     const std::string& tag) const = 0;

    // The longest message a record keeps, in bytes; longer messages are cut.
    static constexpr std::size_t kMaxMessageLength = 16383;

    // printf-style helpers; the message is cut to 16383 bytes.
    void trace(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void debug(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void info(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void warning(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void error(const char* format, ...) const __attribute__((format(printf, 2, 3)));

    // Logs the message as it is, cut to 16383 bytes like the printf-style helpers.
    void logEntry(Level level, const std::string& message) const;
    void taggedLogEntry(const std::string& tag, Level level, const char* format, ...) const
        __attribute__((format(printf, 4, 5)));

    // The facility name, followed by ":" and the sub-facility when one is set.
    std::string getFacility() const;

    static std::unique_ptr<ILogger> create(const std::string& name);

private:
    std::string _name;
    std::string _subFacility;
};

}  // namespace common
