#include "common/logger/ILogger.h"

#include <cstdarg>
#include <cstdio>

#include "common/logger/Logger.h"

namespace common {

namespace {

// The printf-style helpers format into a buffer of this size, so a message keeps at most
// 16383 bytes.
constexpr std::size_t kMessageBufferSize = ILogger::kMaxMessageLength + 1;

__attribute__((format(printf, 1, 0))) std::string formatMessage(const char* format, va_list args) {
    if (format == nullptr) {
        return std::string();
    }
    char buffer[kMessageBufferSize];
    const int written = std::vsnprintf(buffer, sizeof(buffer), format, args);
    if (written < 0) {
        return std::string();
    }
    return std::string(buffer);
}

}  // namespace

#define ORV_LOG_WITH_LEVEL(LEVEL)                            \
    va_list args;                                            \
    va_start(args, format);                                  \
    const std::string message = formatMessage(format, args); \
    va_end(args);                                            \
    logEntry(LEVEL, message)

ILogger::ILogger(const std::string& name) : _name(name) {}

ILogger::~ILogger() = default;

void ILogger::setSubFacility(const std::string& subFacility) {
    _subFacility = subFacility;
}

void ILogger::trace(const char* format, ...) const {
    ORV_LOG_WITH_LEVEL(Trace);
}

void ILogger::debug(const char* format, ...) const {
    ORV_LOG_WITH_LEVEL(Debug);
}

void ILogger::info(const char* format, ...) const {
    ORV_LOG_WITH_LEVEL(Info);
}

void ILogger::warning(const char* format, ...) const {
    ORV_LOG_WITH_LEVEL(Warning);
}

void ILogger::error(const char* format, ...) const {
    ORV_LOG_WITH_LEVEL(Error);
}

#undef ORV_LOG_WITH_LEVEL

void ILogger::logEntry(Level level, const std::string& message) const {
    if (message.size() > kMaxMessageLength) {
        log(level, getFacility(), message.substr(0, kMaxMessageLength), "");
        return;
    }
    log(level, getFacility(), message, "");
}

void ILogger::taggedLogEntry(const std::string& tag, Level level, const char* format, ...) const {
    va_list args;
    va_start(args, format);
    const std::string message = formatMessage(format, args);
    va_end(args);
    log(level, getFacility(), message, tag);
}

std::string ILogger::getFacility() const {
    if (_subFacility.empty()) {
        return _name;
    }
    return _name + ":" + _subFacility;
}

std::unique_ptr<ILogger> ILogger::create(const std::string& name) {
    return std::make_unique<Logger>(name);
}

}  // namespace common
