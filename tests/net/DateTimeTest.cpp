#include "net/DateTime.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace kestrum::test {
namespace {

struct Zone {
    const char* name;     // as the C library of the platform reads TZ
    int dayOfUtcMidnight; // local day of month of 2004-10-13 00:00:00 UTC
};

void PrintTo(const Zone& zone, std::ostream* out) {
    *out << zone.name;
}

#ifdef _WIN32
// The Windows C library knows only the POSIX form of TZ, with the US daylight saving rules.
const Zone westOfUtc{"EST5EDT", 12};
const Zone eastOfUtc{"JST-9", 13};
#else
const Zone westOfUtc{"America/New_York", 12};
const Zone eastOfUtc{"Asia/Tokyo", 13};
#endif

void setZone(const char* name) {
#ifdef _WIN32
    _putenv_s("TZ", name);
    _tzset();
#else
    setenv("TZ", name, 1);
    tzset();
#endif
}

#ifdef _WIN32
// Wine's C library keeps no daylight saving rules for a TZ set after it has read the system's
// zone, so a zone is chosen before anything reads it.
[[maybe_unused]] const bool zoneChosenFirst = (setZone(westOfUtc.name), true);
#endif

// Runs every case in a zone west and a zone east of UTC: parsed instants must not depend on it.
class DateTimeInZone : public testing::TestWithParam<Zone> {
protected:
    void SetUp() override { setZone(GetParam().name); }
};

constexpr std::int32_t oct13 = 1097625600; // 2004-10-13 00:00:00 UTC
constexpr std::int32_t hour = 3600;

TEST_P(DateTimeInZone, AcceptedFormsGiveTheirUtcInstants) {
    const struct {
        const char* text;
        std::int32_t instant;
    } cases[] = {
        {"Oct 13 2004 00:00:00 GMT+00", oct13},
        {"OCT 13 2004 00:00:00 GMT+00", oct13},
        {"October 13 2004 00:00:00 GMT+00", oct13},
        {"Oct, 13 2004 00:00:00 GMT+00", oct13},
        {" \tOct 13  2004\t00.00.00 GMT-00 and the rest is not read", oct13},
        {"Oct 133 2004 00:00:00 GMT+00", oct13},
        {"Oct 13 2004 05:30:00 GMT+02", oct13 + 3 * hour + 1800},
        {"Oct 13 2004 05:30:00 GMT-05", oct13 + 10 * hour + 1800},
        {"Oct 13 2004 05:30:00 GMT-01", oct13 + 6 * hour + 1800},
        {"Oct 13 2004 23:59:59 GMT-12", oct13 + 36 * hour - 1},
        {"May 13 2004 00:00:00 GMT+00", 1084406400},
        {"Jan 1 1970 00:00:00 GMT+12", -12 * hour},
        {"Jan 19 2038 03:14:07 GMT+00", 2147483647},
        {"Jan 19 2038 04:14:07 GMT+01", 2147483647},
    };
    for (const auto& c : cases) {
        DateTime date(7);
        EXPECT_TRUE(date.parse(c.text)) << c.text;
        EXPECT_EQ(date.instant(), c.instant) << c.text;
    }
}

TEST_P(DateTimeInZone, RejectedTextsLeaveTheInstantUnchanged) {
    const char* const cases[] = {
        nullptr,
        "",
        "Mays 13 2004 00:00:00 GMT+00",
        "Mai 13 2004 00:00:00 GMT+00",
        "Oct 0 2004 00:00:00 GMT+00",
        "Oct 32 2004 00:00:00 GMT+00",
        "Oct 13 1969 00:00:00 GMT+00",
        "Oct 13 2039 00:00:00 GMT+00",
        "Oct 13 2004 24:00:00 GMT+00",
        "Oct 13 2004 00:60:00 GMT+00",
        "Oct 13 2004 00:00:60 GMT+00",
        "Oct 13 2004 00:00:00 gmt+00",
        "Oct 13 2004 00:00:00 GMT 00",
        "Oct 13 2004 00:00:00 GMT+13",
        "Oct 13 2004 00:00:00 GMT-13",
        "Oct 13 2004 00:00:00 GMT+x",
        "Sun, 13 Oct 2004 00:00:00 GMT",
        // a month token longer than its 11-character buffer
        "Octoberrrrrr 13 2004 00:00:00 GMT+00",
        "Octoberrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrr 13 2004 00:00:00 GMT+00",
        // beyond the signed 32-bit instant
        "Jan 19 2038 03:14:08 GMT+00",
        "Dec 31 2038 23:59:59 GMT-12",
    };
    for (const char* text : cases) {
        DateTime date(7);
        EXPECT_FALSE(date.parse(text)) << (text != nullptr ? text : "(null)");
        EXPECT_EQ(date.instant(), 7) << (text != nullptr ? text : "(null)");
    }
}

TEST_P(DateTimeInZone, TextCutOffAnywhereFails) {
    const std::string whole = "Oct 13 2004 00:00:00 GMT+00";
    // Every prefix short of a first offset digit; each is its own allocation, so a read past
    // its end shows under AddressSanitizer.
    for (std::size_t length = 0; length + 2 < whole.size(); ++length) {
        const std::string cut = whole.substr(0, length);
        DateTime date(7);
        EXPECT_FALSE(date.parse(cut.c_str())) << '"' << cut << '"';
        EXPECT_EQ(date.instant(), 7);
    }
}

TEST_P(DateTimeInZone, DaylightSavingChangeDaysParseExactly) {
    // In New York 2004-04-04 02:30 local time did not exist and 2004-10-31 01:30 happened twice;
    // a UTC text for those hours must still give exactly its instant.
    const struct {
        const char* text;
        std::int32_t instant;
    } cases[] = {
        {"Apr 4 2004 00:30:00 GMT+00", 1081038600},  {"Apr 4 2004 02:30:00 GMT+00", 1081045800},
        {"Apr 4 2004 06:30:00 GMT+00", 1081060200},  {"Oct 31 2004 01:30:00 GMT+00", 1099186200},
        {"Oct 31 2004 05:30:00 GMT+00", 1099200600},
    };
    for (const auto& c : cases) {
        DateTime date(7);
        EXPECT_TRUE(date.parse(c.text)) << c.text;
        EXPECT_EQ(date.instant(), c.instant) << c.text;
    }
}

TEST_P(DateTimeInZone, BuildDateHasTheLocalDateOfItsZone) {
    DateTime date;
    ASSERT_TRUE(date.parse("Oct 13 2004 00:00:00 GMT+00"));
    EXPECT_EQ(date.localYear(), 2004);
    EXPECT_EQ(date.localMonth(), 10);
    EXPECT_EQ(date.localDay(), GetParam().dayOfUtcMidnight);
}

TEST_P(DateTimeInZone, LocalComponentsWithZoneOffsetGiveTheUtcInstant) {
    DateTime date(7);
    // October 2004 is daylight saving time in New York: local midnight is 04:00 UTC there.
    const std::int32_t localMidnight =
        GetParam().dayOfUtcMidnight == 12 ? oct13 + 4 * hour : oct13 - 9 * hour;
    EXPECT_EQ(date.setLocal(2004, 10, 13, 0, 0, 0), localMidnight);
    EXPECT_EQ(date.instant(), localMidnight);

    date.setLocal(2004, 10, 13, 5, 30, 0);
    date.applyZoneOffset(2);
    EXPECT_EQ(date.instant(), oct13 + 3 * hour + 1800);
    date.setLocal(2004, 10, 13, 5, 30, 0);
    date.applyZoneOffset(-1);
    EXPECT_EQ(date.instant(), oct13 + 6 * hour + 1800);
}

std::string zoneLabel(const testing::TestParamInfo<Zone>& zone) {
    return zone.param.dayOfUtcMidnight == 12 ? "West" : "East";
}

INSTANTIATE_TEST_SUITE_P(WestAndEast, DateTimeInZone, testing::Values(westOfUtc, eastOfUtc),
                         zoneLabel);

TEST(DateTime, FailedParseOfAFreshValueKeepsTheCurrentTime) {
    const std::time_t before = std::time(nullptr);
    DateTime date;
    const std::time_t after = std::time(nullptr);
    EXPECT_FALSE(date.parse("not a date"));
    EXPECT_GE(date.instant(), before);
    EXPECT_LE(date.instant(), after);
}

TEST(DateTime, InstantsBeforeTheEpochStillHaveALocalDate) {
    // The Windows C library has no local reading of negative instants.
    const DateTime date(-1);
    EXPECT_TRUE(date.localYear() == 1969 || date.localYear() == 1970);
    EXPECT_TRUE(date.localMonth() == 12 || date.localMonth() == 1);
    EXPECT_TRUE(date.localDay() == 31 || date.localDay() == 1);
}

} // namespace
} // namespace kestrum::test
