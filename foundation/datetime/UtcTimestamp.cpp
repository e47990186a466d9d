#include "foundation/datetime/UtcTimestamp.h"

#include <stdio.h>
#include <time.h>

namespace datetime {

std::string FormatUtcTimestamp(std::int64_t epochMilliseconds) {
    std::int64_t seconds = epochMilliseconds / 1000;
    std::int64_t milliseconds = epochMilliseconds % 1000;
    if (milliseconds < 0) {
        milliseconds += 1000;
        seconds -= 1;
    }
    const time_t clock = static_cast<time_t>(seconds);
    struct tm parts {};
    if (gmtime_r(&clock, &parts) == nullptr) {
        return std::string();
    }
    char text[64];
    const std::size_t length = strftime(text, sizeof(text), "%FT%T.", &parts);
    if (length == 0) {
        return std::string();
    }
    char fraction[8];
    snprintf(fraction, sizeof(fraction), "%03dZ", static_cast<int>(milliseconds));
    return std::string(text, length) + fraction;
}

}  // namespace datetime
