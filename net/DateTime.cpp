#include "net/DateTime.h"

#include <cstring>
#include <limits>

namespace kestrum {

namespace {

constexpr std::int64_t secondsPerDay = 86400;

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar. A day past the end of its
// month runs on into the next one, as the C library normalises it.
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t utcSeconds(const std::tm& fields) {
    return daysFromCivil(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday) * secondsPerDay +
           fields.tm_hour * 3600 + fields.tm_min * 60 + fields.tm_sec;
}

std::tm utcCalendar(std::int64_t instant) {
    std::int64_t days = instant / secondsPerDay;
    std::int64_t seconds = instant % secondsPerDay;
    if (seconds < 0) {
        seconds += secondsPerDay;
        --days;
    }
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    const std::int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;

    std::tm fields{};
    fields.tm_year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0) - 1900);
    fields.tm_mon = static_cast<int>(month - 1);
    fields.tm_mday = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    fields.tm_hour = static_cast<int>(seconds / 3600);
    fields.tm_min = static_cast<int>(seconds / 60 % 60);
    fields.tm_sec = static_cast<int>(seconds % 60);
    return fields;
}

struct MonthName {
    const char* full;
    const char* brief; // null: the month has no short name
};

constexpr MonthName monthNames[12] = {
    {"january", "jan"},   {"february", "feb"}, {"march", "mar"},    {"april", "apr"},
    {"may", nullptr},     {"june", "jun"},     {"july", "jul"},     {"august", "aug"},
    {"september", "sep"}, {"october", "oct"},  {"november", "nov"}, {"december", "dec"},
};

// Walks the text of a date. Every step stops at the terminating NUL, so a text cut off
// anywhere fails instead of being read past its end.
class DateCursor {
public:
    explicit DateCursor(const char* text) : at_(text) {}

    // 1-12, or 0 when the text does not begin with a month name followed by a comma or space.
    int readMonth() {
        constexpr int maxLength = 11;
        char token[maxLength + 1];
        int length = 0;
        skipBlanks();
        if (*at_ == '\0') {
            return 0;
        }
        token[length++] = *at_++;
        while (*at_ != ',' && *at_ != ' ') {
            if (*at_ == '\0' || length == maxLength) {
                return 0;
            }
            token[length++] = *at_++;
        }
        token[length] = '\0';
        for (int i = 0; i < length; ++i) {
            if (token[i] >= 'A' && token[i] <= 'Z') {
                token[i] = static_cast<char>(token[i] - 'A' + 'a');
            }
        }
        for (int month = 0; month < 12; ++month) {
            const MonthName& name = monthNames[month];
            if (std::strcmp(token, name.full) == 0 ||
                (name.brief != nullptr && std::strcmp(token, name.brief) == 0)) {
                return month + 1;
            }
        }
        return 0;
    }

    // A separator, then up to maxDigits digits (none reads as 0) within [low, high].
    bool readField(int maxDigits, int low, int high, int& value) {
        return skipSeparator() && readNumber(maxDigits, low, high, value);
    }

    // A separator, "GMT", a sign and one or two digits of hours, at most 12.
    bool readZone(int& hours) {
        if (!skipSeparator()) {
            return false;
        }
        for (const char* letter = "GMT"; *letter != '\0'; ++letter, ++at_) {
            if (*at_ != *letter) {
                return false;
            }
        }
        const char sign = *at_;
        if (sign != '+' && sign != '-') {
            return false;
        }
        ++at_;
        // The offset ends the text, so a missing one means the text was cut off.
        if (*at_ < '0' || *at_ > '9' || !readNumber(2, 0, 12, hours)) {
            return false;
        }
        if (sign == '-') {
            hours = -hours;
        }
        return true;
    }

private:
    void skipBlanks() {
        while (*at_ == ' ' || *at_ == '\t') {
            ++at_;
        }
    }

    // Any one character, then spaces and tabs.
    bool skipSeparator() {
        if (*at_ == '\0') {
            return false;
        }
        ++at_;
        skipBlanks();
        return true;
    }

    bool readNumber(int maxDigits, int low, int high, int& value) {
        value = 0;
        for (int digits = 0; digits < maxDigits && *at_ >= '0' && *at_ <= '9'; ++digits) {
            value = value * 10 + (*at_++ - '0');
        }
        return value >= low && value <= high;
    }

    const char* at_;
};

} // namespace

DateTime::DateTime() : instant_(static_cast<std::int32_t>(std::time(nullptr))) {}

bool DateTime::parse(const char* text) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    DateCursor cursor(text);
    std::tm fields{};
    int zoneHours = 0;
    const int month = cursor.readMonth();
    if (month == 0 || !cursor.readField(2, 1, 31, fields.tm_mday) ||
        !cursor.readField(4, 1970, 2038, fields.tm_year) ||
        !cursor.readField(2, 0, 23, fields.tm_hour) || !cursor.readField(2, 0, 59, fields.tm_min) ||
        !cursor.readField(2, 0, 59, fields.tm_sec) || !cursor.readZone(zoneHours)) {
        return false;
    }
    fields.tm_mon = month - 1;
    fields.tm_year -= 1900;
    // The components are read as UTC directly: going through local time would lose an hour on
    // the days daylight saving begins and ends.
    return store(utcSeconds(fields) - 3600 * std::int64_t{zoneHours});
}

std::int32_t DateTime::setLocal(int year, int month, int day, int hour, int minute, int second) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    const std::time_t local = std::mktime(&fields);
    if (local != static_cast<std::time_t>(-1)) {
        store(local);
    }
    return instant_;
}

void DateTime::applyZoneOffset(int hours) {
    // Reading the instant back as local time recovers the components it was set from.
    std::tm fields{};
    if (toLocalCalendar(instant_, fields)) {
        store(utcSeconds(fields) - 3600 * std::int64_t{hours});
    }
}

int DateTime::localYear() const {
    return localCalendar().tm_year + 1900;
}

int DateTime::localMonth() const {
    return localCalendar().tm_mon + 1;
}

int DateTime::localDay() const {
    return localCalendar().tm_mday;
}

std::tm DateTime::localCalendar() const {
    std::tm fields{};
    if (toLocalCalendar(instant_, fields)) {
        return fields;
    }
    return utcCalendar(instant_);
}

bool DateTime::store(std::int64_t instant) {
    if (instant < std::numeric_limits<std::int32_t>::min() ||
        instant > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    instant_ = static_cast<std::int32_t>(instant);
    return true;
}

} // namespace kestrum
