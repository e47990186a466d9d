#include "common/logsinks/LogWrapperForFoundation.h"

#include <string>
#include <utility>

#include <boost/log/attributes/value_extraction.hpp>

#include "foundation/logging/Logging.h"

namespace common {

LogWrapperForFoundation::LogWrapperForFoundation(std::unique_ptr<ILogger> logger,
                                                 ILogger::Level level)
    : _logger(std::move(logger)), _level(level) {}

LogWrapperForFoundation::~LogWrapperForFoundation() = default;

void LogWrapperForFoundation::init() {
    logging::Initialize(nullptr, false);
    logging::SetGlobalSeverityLevel(toFoundationSeverity(_level));
    // Without a shared owner there is no reference to hand over: registering a raw pointer
    // would let the foundation library outlive this object.
    std::shared_ptr<LogWrapperForFoundation> self = weak_from_this().lock();
    if (!self) {
        if (_logger) {
            _logger->error("not owned by a shared pointer; foundation records are not taken over");
        }
        return;
    }
    logging::SetGlobalSink(std::move(self));
}

void LogWrapperForFoundation::consume(const boost::log::record_view& record) {
    if (!_logger) {
        return;
    }
    const auto& values = record.attribute_values();
    // Every foundation record carries both; one that does not is still delivered, as an error.
    const auto severity = boost::log::extract<logging::severity_level>("Severity", values);
    const auto message = boost::log::extract<std::string>("Message", values);
    const ILogger::Level level = severity ? toCommonLevel(*severity) : ILogger::Error;
    _logger->logEntry(level, message ? *message : std::string());
}

logging::severity_level LogWrapperForFoundation::toFoundationSeverity(ILogger::Level level) {
    switch (level) {
        case ILogger::Trace:
            return logging::Trace;
        case ILogger::Debug:
            return logging::Debug;
        case ILogger::Info:
            return logging::Info;
        case ILogger::Warning:
            return logging::Warning;
        case ILogger::Error:
            return logging::Error;
        case ILogger::Fatal:
            return logging::Critical;
        default:
            return logging::Error;
    }
}

ILogger::Level LogWrapperForFoundation::toCommonLevel(logging::severity_level severity) {
    switch (severity) {
        case logging::Trace:
        case logging::Debug:
            return ILogger::Trace;
        case logging::Info:
        case logging::Notice:
            return ILogger::Info;
        case logging::Warning:
            return ILogger::Warning;
        case logging::Error:
            return ILogger::Error;
        case logging::Critical:
        case logging::Alert:
        case logging::Emergency:
            return ILogger::Fatal;
        default:
            return ILogger::Error;
    }
}

}  // namespace common
