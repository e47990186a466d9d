#pragma once

#include <memory>

#include "foundation/logging/CustomSinkBackend.h"
#include "foundation/logging/SeverityLevel.h"

namespace logging {

// Sets up the logging core once per process: the global attributes "UniversalTimeStamp",
// "LocalTimeStamp" and "ThreadName", a console sink on std::clog and the level Debug. Later
// calls do nothing. This library writes no log files: `directory` and `tracking` are unused.
void Initialize(const char* directory, bool tracking);

// Stores the level and rebuilds the filters; nothing before Initialize.
void SetGlobalSeverityLevel(severity_level level);

// Replaces the custom sink (null just removes it); nothing before Initialize.
void SetGlobalSink(std::shared_ptr<CustomSinkBackend> backend);

}  // namespace logging
