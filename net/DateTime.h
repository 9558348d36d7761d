#pragma once

#include <cstdint>

namespace kestrum {

// A point in time as seconds since 1970-01-01 00:00:00 UTC, with a parser for the form
// "Oct 13 2004 00:00:00 GMT+00" and the local calendar date of the instant.
class DateTime {
public:
    // The current time.
    DateTime();
    explicit DateTime(std::int32_t instant) : instant_(instant) {}

    // On failure the instant stays as it was.
    bool parse(const char* text);
    // Components read as local time, daylight saving left to the library.
    std::int32_t setLocal(int year, int month, int day, int hour, int minute, int second);
    // Turns an instant set from components meant as UTC+hours into the true UTC instant.
    void applyZoneOffset(int hours);

    int localYear() const;
    int localMonth() const;
    int localDay() const;
    std::int32_t instant() const { return instant_; }

private:
    std::int32_t instant_;
};

} // namespace kestrum
