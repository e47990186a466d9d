#pragma once

#include <string>

namespace logging {

enum severity_level {
    Trace = 0,
    Debug = 1,
    Info = 2,
    Notice = 3,
    Warning = 4,
    Error = 5,
    Critical = 6,
    Alert = 7,
    Emergency = 8,
};

// "Trace" .. "Emergency" for 0..8, the empty string for any other value.
std::string LogLevelToString(severity_level level);

}  // namespace logging
