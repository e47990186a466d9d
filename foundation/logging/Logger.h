#pragma once

#include <string>

#include <boost/log/sources/severity_channel_logger.hpp>

#include "foundation/logging/SeverityLevel.h"

namespace logging {

// The per-object logger: records carry "Severity" and "Channel".
using logger_type = boost::log::sources::severity_channel_logger_mt<severity_level, std::string>;

}  // namespace logging
