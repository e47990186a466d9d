#pragma once

#include <cstdint>
#include <string>

namespace datetime {

// "YYYY-MM-DDThh:mm:ss.mmmZ" for milliseconds since 1970-01-01 00:00 UTC. The clock time is
// UTC, as the trailing "Z" says, whatever the machine's time zone; a negative count gives the
// time before 1970 (-1 is 1969-12-31T23:59:59.999Z).
std::string FormatUtcTimestamp(std::int64_t epochMilliseconds);

}  // namespace datetime
