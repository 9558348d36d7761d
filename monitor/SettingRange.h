#pragma once

#include "monitor/RefreshPeriod.h"

#include <cstdint>
#include <string>

namespace kestrum {

// The accepted values of a setting the user types, in the window's edits or on the command
// line; both give the same messages.
struct SettingRange {
    std::uint32_t minimum;
    std::uint32_t maximum;
};

// Graph scale in KB/s (kbit/s with --bits).
constexpr SettingRange scaleRange{1, 1000000};
// Refresh period in milliseconds.
constexpr SettingRange refreshRange{RefreshPeriod::minimum, RefreshPeriod::maximum};

constexpr const char* positiveIntegerMessage = "Please enter a positive integer.";
constexpr const char* integerRangeMessage = "Please enter an integer between %1 and %2.";

// An unsigned decimal number, optionally with a plus sign, with spaces or tabs around it, within
// the range; otherwise false with the message for it (the range message with its bounds filled
// in).
bool readSetting(const char* text, SettingRange range, std::uint32_t& value, std::string& error);

} // namespace kestrum
