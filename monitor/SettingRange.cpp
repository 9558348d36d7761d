#include "monitor/SettingRange.h"

#include "net/TextView.h"

#include <algorithm>

namespace kestrum {

namespace {

bool isSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

bool readSetting(const char* text, SettingRange range, std::uint32_t& value, std::string& error) {
    const char* at = text;
    while (isSpaceOrTab(*at))
        ++at;
    if (*at == '+')
        ++at;
    std::uint64_t number = 0;
    const int digits = readDecimal(at, number);
    at += digits;
    // Too large for 32 bits reads as the largest 32-bit value, out of every range.
    number = std::min<std::uint64_t>(number, 0xFFFFFFFFu);
    while (isSpaceOrTab(*at))
        ++at;
    if (digits == 0 || *at != '\0') {
        error = positiveIntegerMessage;
        return false;
    }
    if (number < range.minimum || number > range.maximum) {
        error = integerRangeMessage;
        error.replace(error.find("%1"), 2, std::to_string(range.minimum));
        error.replace(error.find("%2"), 2, std::to_string(range.maximum));
        return false;
    }
    value = static_cast<std::uint32_t>(number);
    return true;
}

} // namespace kestrum
