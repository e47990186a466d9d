#include "foundation/logging/LogSource.h"

#include <boost/log/keywords/channel.hpp>
#include <boost/log/keywords/severity.hpp>

namespace logging {

LogSource::LogSource(const std::string& channel)
    : m_Logger(boost::log::keywords::channel = channel, boost::log::keywords::severity = Info) {}

LogSource::~LogSource() = default;

detail::stream_helper LogSource::Log(severity_level level) const {
    return detail::stream_helper(m_Logger, GetObjectIdentifier(),
                                 m_Logger.open_record(boost::log::keywords::severity = level));
}

logger_type& GlobalLogger() {
    // Never destroyed, so static destructors may still log.
    static logger_type* const logger = new logger_type(
        boost::log::keywords::channel = std::string(), boost::log::keywords::severity = Info);
    return *logger;
}

detail::stream_helper GlobalLog(severity_level level) {
    logger_type& logger = GlobalLogger();
    return detail::stream_helper(logger, 0,
                                 logger.open_record(boost::log::keywords::severity = level));
}

}  // namespace logging
