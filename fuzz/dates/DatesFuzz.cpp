// RFC 1123 dates from any text (cookie expiry from the network): the parser answers a valid
// time or not-a-date-time and never raises; a valid time lies in the Gregorian range and
// formats back to a date the parser reads as the same time.

#include <boost/date_time/posix_time/posix_time.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/datetime/CDateTime.h"
#include "foundation/datetime/UtcTimestamp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const datetime::CDateTime parsed = datetime::CDateTime::FromRFC1123(text);
    if (!parsed.IsNotADateTime()) {
        const boost::posix_time::ptime& time = parsed.ToPTime();
        const auto date = time.date();
        if (date.year() < 1400 || date.year() > 9999) {
            std::abort();
        }
        static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const auto clock = time.time_of_day();
        char formatted[64];
        std::snprintf(formatted, sizeof(formatted), "%s, %02d %s %04d %02d:%02d:%02d GMT",
                      kDays[date.day_of_week().as_number()], static_cast<int>(date.day()),
                      kMonths[date.month() - 1], static_cast<int>(date.year()),
                      static_cast<int>(clock.hours()), static_cast<int>(clock.minutes()),
                      static_cast<int>(clock.seconds()));
        if (datetime::CDateTime::FromRFC1123(formatted) != parsed) {
            std::abort();
        }
    }
    // Milliseconds since 1970 from the first eight bytes, formatted as a UTC timestamp.
    if (size >= 8) {
        int64_t millis = 0;
        for (int i = 0; i < 8; ++i) {
            millis = static_cast<int64_t>((static_cast<uint64_t>(millis) << 8) | data[i]);
        }
        datetime::FormatUtcTimestamp(millis);
    }
    return 0;
}
