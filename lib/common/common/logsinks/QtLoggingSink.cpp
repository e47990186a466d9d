#include "common/logsinks/QtLoggingSink.h"

namespace common {

QtLoggingSink::QtLoggingSink() : _logger(ILogger::create("QtPlatform")) {}

QtLoggingSink::~QtLoggingSink() = default;

void QtLoggingSink::debug(const std::string& message) {
    _logger->logEntry(ILogger::Debug, message);
}

void QtLoggingSink::warning(const std::string& message) {
    _logger->logEntry(ILogger::Warning, message);
}

void QtLoggingSink::error(const std::string& message) {
    _logger->logEntry(ILogger::Error, message);
}

void QtLoggingSink::fatal(const std::string& message) {
    _logger->logEntry(ILogger::Fatal, message);
}

void QtLoggingSink::info(const std::string& message) {
    _logger->logEntry(ILogger::Info, message);
}

}  // namespace common
