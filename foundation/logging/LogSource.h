#pragma once

#include <string>

#include "foundation/logging/Logger.h"
#include "foundation/logging/StreamHelper.h"

namespace logging {

// Base that gives an object its own logger; the channel is the text given here (the class
// name). Records written through Log carry the channel, the severity and "ObjectIdentifier",
// the address of this object:
//     Log(logging::Warning) << "connect failed, reason: " << reason;
class LogSource {
public:
    explicit LogSource(const std::string& channel);
    virtual ~LogSource();

protected:
    // One statement; the record is opened only when some sink would take it.
    detail::stream_helper Log(severity_level level = Info) const;

    logger_type& GetLogger() const { return m_Logger; }
    long GetObjectIdentifier() const { return reinterpret_cast<long>(this); }

private:
    mutable logger_type m_Logger;
};

// The process-wide logger with an empty channel, for functions without an object; its records
// carry "ObjectIdentifier" 0.
logger_type& GlobalLogger();
detail::stream_helper GlobalLog(severity_level level = Info);

}  // namespace logging
