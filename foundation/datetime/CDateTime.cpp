#include "foundation/datetime/CDateTime.h"

#include <strings.h>
#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include <cstring>
#include <exception>

namespace datetime {

namespace {

const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A cursor over the text that reads the pieces of the pattern in order.
class Reader {
public:
    explicit Reader(const std::string& text) : _text(text) {}

    bool literal(const char* expected) {
        const std::size_t length = std::strlen(expected);
        if (_text.compare(_position, length, expected) != 0) {
            return false;
        }
        _position += length;
        return true;
    }

    // Index of the name (three letters, any case) in `names`, or -1.
    template <std::size_t N>
    int name(const char* const (&names)[N]) {
        if (_text.size() - _position < 3) {
            return -1;
        }
        for (std::size_t i = 0; i < N; ++i) {
            if (strncasecmp(_text.c_str() + _position, names[i], 3) == 0) {
                _position += 3;
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    // Exactly `digits` decimal digits, or -1.
    int number(std::size_t digits) {
        if (_text.size() - _position < digits) {
            return -1;
        }
        int value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            const char c = _text[_position + i];
            if (c < '0' || c > '9') {
                return -1;
            }
            value = value * 10 + (c - '0');
        }
        _position += digits;
        return value;
    }

private:
    const std::string& _text;
    std::size_t _position = 0;
};

}  // namespace

CDateTime::CDateTime() : _time(boost::posix_time::not_a_date_time) {}

CDateTime::CDateTime(const boost::posix_time::ptime& time) : _time(time) {}

CDateTime CDateTime::Now() {
    return CDateTime(boost::posix_time::microsec_clock::universal_time());
}

CDateTime CDateTime::FromRFC1123(const std::string& text) {
    Reader reader(text);
    int day = 0;
    int month = 0;
    int year = 0;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    if (reader.name(kDayNames) < 0 || !reader.literal(", ") || (day = reader.number(2)) < 0 ||
        !reader.literal(" ") || (month = reader.name(kMonthNames) + 1) < 1 ||
        !reader.literal(" ") || (year = reader.number(4)) < 0 || !reader.literal(" ") ||
        (hours = reader.number(2)) < 0 || !reader.literal(":") ||
        (minutes = reader.number(2)) < 0 || !reader.literal(":") ||
        (seconds = reader.number(2)) < 0 || !reader.literal(" GMT")) {
        return CDateTime();
    }
    if (hours > 23 || minutes > 59 || seconds > 59) {
        return CDateTime();
    }
    try {
        // Throws for a year outside 1400..9999 or a day beyond the month's length.
        const boost::gregorian::date date(static_cast<unsigned short>(year),
                                          static_cast<unsigned short>(month),
                                          static_cast<unsigned short>(day));
        return CDateTime(boost::posix_time::ptime(
            date, boost::posix_time::time_duration(hours, minutes, seconds)));
    } catch (const std::exception&) {
        return CDateTime();
    }
}

}  // namespace datetime
