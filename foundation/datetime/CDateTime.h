#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <string>

namespace datetime {

// A time point in UTC with microsecond resolution, or not-a-date-time (what every parser gives
// on failure; test with IsNotADateTime before comparing).
class CDateTime {
public:
    // Not-a-date-time.
    CDateTime();
    explicit CDateTime(const boost::posix_time::ptime& time);

    // The current time in UTC, with microseconds, whatever the machine's time zone.
    static CDateTime Now();

    // Reads an HTTP date of RFC 1123 form, "%a, %d %b %Y %H:%M:%S GMT": English three-letter
    // day and month names, two-digit day, four-digit year, 24-hour time, and the zone "GMT"
    // (no other zone name or offset). The day name must be one of the seven but is not checked
    // against the date; characters after "GMT" are ignored. Gives not-a-date-time when the text
    // does not match or names no real date (year outside 1400..9999, 30 February, 24:00:00, ...).
    static CDateTime FromRFC1123(const std::string& text);

    bool IsNotADateTime() const { return _time.is_not_a_date_time(); }
    const boost::posix_time::ptime& ToPTime() const { return _time; }

    bool operator==(const CDateTime& other) const { return _time == other._time; }
    bool operator!=(const CDateTime& other) const { return _time != other._time; }
    bool operator<(const CDateTime& other) const { return _time < other._time; }
    bool operator<=(const CDateTime& other) const { return _time <= other._time; }
    bool operator>(const CDateTime& other) const { return _time > other._time; }
    bool operator>=(const CDateTime& other) const { return _time >= other._time; }
    boost::posix_time::time_duration operator-(const CDateTime& other) const {
        return _time - other._time;
    }

private:
    boost::posix_time::ptime _time;
};

}  // namespace datetime
