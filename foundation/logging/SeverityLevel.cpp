#include "foundation/logging/SeverityLevel.h"

namespace logging {

std::string LogLevelToString(severity_level level) {
    static const char* const kNames[] = {"Trace", "Debug",    "Info",  "Notice",   "Warning",
                                         "Error", "Critical", "Alert", "Emergency"};
    const int index = static_cast<int>(level);
    if (index < 0 || index >= static_cast<int>(sizeof(kNames) / sizeof(kNames[0]))) {
        return std::string();
    }
    return kNames[index];
}

}  // namespace logging
