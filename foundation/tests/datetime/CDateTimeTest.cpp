#include "foundation/datetime/CDateTime.h"

#include <gtest/gtest.h>
#include <time.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "foundation/datetime/UtcTimestamp.h"
#include "testsupport/ScopedEnv.h"

using datetime::CDateTime;
namespace pt = boost::posix_time;

namespace {

// Puts the process in a time zone far from UTC (+05:45) for the test's duration.
class FarTimeZone {
public:
    FarTimeZone() : _tz("TZ", std::string("Asia/Kathmandu")) { tzset(); }
    ~FarTimeZone() { tzset(); }

private:
    testsupport::ScopedEnv _tz;
};

}  // namespace

TEST(CDateTime, FromRFC1123) {
    struct Case {
        const char* text;
        const char* expected;  // ISO form, or nullptr for not-a-date-time
    };
    const Case cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", "1994-11-06T08:49:37"},
        // The day name is read, not checked against the date.
        {"Mon, 06 Nov 1994 08:49:37 GMT", "1994-11-06T08:49:37"},
        {"sun, 06 NOV 1994 08:49:37 GMT", "1994-11-06T08:49:37"},
        {"Sun, 06 Nov 1994 08:49:37 GMT; Path=/", "1994-11-06T08:49:37"},
        {"Thu, 29 Feb 2024 23:59:59 GMT", "2024-02-29T23:59:59"},
        {"Fri, 01 Jan 1400 00:00:00 GMT", "1400-01-01T00:00:00"},
        {"Fri, 31 Dec 9999 23:59:59 GMT", "9999-12-31T23:59:59"},
        // Only GMT: no other zone name, no offset, no zone at all.
        {"Sun, 06 Nov 1994 08:49:37 UTC", nullptr},
        {"Sun, 06 Nov 1994 08:49:37 +0000", nullptr},
        {"Sun, 06 Nov 1994 08:49:37 gmt", nullptr},
        {"Sun, 06 Nov 1994 08:49:37", nullptr},
        // Dates and times that do not exist.
        {"Mon, 30 Feb 2021 10:00:00 GMT", nullptr},
        {"Wed, 29 Feb 2023 10:00:00 GMT", nullptr},
        {"Fri, 31 Apr 2020 10:00:00 GMT", nullptr},
        {"Sun, 00 Nov 1994 08:49:37 GMT", nullptr},
        {"Sun, 06 Nov 1399 08:49:37 GMT", nullptr},
        {"Sun, 06 Nov 1994 24:00:00 GMT", nullptr},
        {"Sun, 06 Nov 1994 08:60:37 GMT", nullptr},
        {"Sun, 06 Nov 1994 08:49:60 GMT", nullptr},
        // Not the pattern.
        {"", nullptr},
        {"Sunday, 06-Nov-94 08:49:37 GMT", nullptr},
        {"Sun Nov  6 08:49:37 1994", nullptr},
        {"Sun, 6 Nov 1994 08:49:37 GMT", nullptr},
        {"Sun, 06 Nov 94 08:49:37 GMT", nullptr},
        {"Xyz, 06 Nov 1994 08:49:37 GMT", nullptr},
        {"Sun, 06 Nvm 1994 08:49:37 GMT", nullptr},
        {"Sun, 06 Nov 1994 8:49:37 GMT", nullptr},
        {"Sun, 06 Nov 1994 08:49:37 GM", nullptr},
        {"Sun, -6 Nov 1994 08:49:37 GMT", nullptr},
    };
    FarTimeZone zone;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const CDateTime time = CDateTime::FromRFC1123(c.text);
        if (c.expected == nullptr) {
            EXPECT_TRUE(time.IsNotADateTime());
        } else {
            ASSERT_FALSE(time.IsNotADateTime());
            EXPECT_EQ(pt::to_iso_extended_string(time.ToPTime()), c.expected);
        }
    }
}

TEST(CDateTime, NowIsUtcWithMicroseconds) {
    FarTimeZone zone;
    const pt::ptime epoch(boost::gregorian::date(1970, 1, 1));
    const time_t before = time(nullptr);
    const CDateTime now = CDateTime::Now();
    const time_t after = time(nullptr);
    const long long seconds = (now.ToPTime() - epoch).total_seconds();
    EXPECT_GE(seconds, static_cast<long long>(before));
    EXPECT_LE(seconds, static_cast<long long>(after));

    bool fraction = false;
    for (int i = 0; i < 1000 && !fraction; ++i) {
        fraction = CDateTime::Now().ToPTime().time_of_day().fractional_seconds() % 1000 != 0;
    }
    EXPECT_TRUE(fraction);
}

TEST(CDateTime, ComparesAndSubtracts) {
    const CDateTime earlier = CDateTime::FromRFC1123("Sun, 06 Nov 1994 08:49:37 GMT");
    const CDateTime later = CDateTime::FromRFC1123("Mon, 07 Nov 1994 08:49:37 GMT");
    EXPECT_LT(earlier, later);
    EXPECT_NE(earlier, later);
    EXPECT_EQ((later - earlier).total_seconds(), 86400);
    EXPECT_TRUE(CDateTime().IsNotADateTime());
    EXPECT_EQ(CDateTime(), CDateTime::FromRFC1123("bad"));
}

TEST(UtcTimestamp, FormatsUtcWhateverTheTimeZone) {
    FarTimeZone zone;
    const struct {
        long long milliseconds;
        const char* expected;
    } cases[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {5, "1970-01-01T00:00:00.005Z"},
        {1796828727005, "2026-12-09T15:05:27.005Z"},
        {1796828727999, "2026-12-09T15:05:27.999Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
        {253402300799999, "9999-12-31T23:59:59.999Z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(datetime::FormatUtcTimestamp(c.milliseconds), c.expected) << c.milliseconds;
    }
}
