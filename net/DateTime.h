#pragma once

#include <cstdint>
#include <ctime>

namespace kestrum {

// A point in time as seconds since 1970-01-01 00:00:00 UTC, with a parser for the form
// "Oct 13 2004 00:00:00 GMT+00" and the local calendar date of the instant.
class DateTime {
public:
    // The current time.
    DateTime();
    explicit DateTime(std::int32_t instant) : instant_(instant) {}

    // On failure the instant stays as it was. The result does not depend on the local time
    // zone; an instant outside the signed 32-bit range is a failure.
    bool parse(const char* text);
    // Components read as local time, daylight saving left to the library. Returns the new
    // instant; the instant stays as it was when the components give none in range.
    std::int32_t setLocal(int year, int month, int day, int hour, int minute, int second);
    // Turns an instant set from components meant as UTC+hours into the true UTC instant.
    void applyZoneOffset(int hours);

    int localYear() const;
    int localMonth() const;
    int localDay() const;
    std::int32_t instant() const { return instant_; }

private:
    // Falls back to the UTC reading where the platform has no local one for the instant.
    std::tm localCalendar() const;
    // The platform's thread-safe local reading; false when it has none.
    static bool toLocalCalendar(std::int64_t instant, std::tm& out);
    bool store(std::int64_t instant);

    std::int32_t instant_;
};

} // namespace kestrum
