#include "monitor/SettingRange.h"

#include <algorithm>

namespace kestrum {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

bool readSetting(const char* text, SettingRange range, std::uint32_t& value, std::string& error) {
    const char* at = text;
    while (isBlank(*at))
        ++at;
    if (*at == '+')
        ++at;
    std::uint64_t number = 0;
    const char* digits = at;
    while (*at >= '0' && *at <= '9') {
        // Too large for 32 bits reads as the largest 32-bit value, out of every range.
        number =
            std::min<std::uint64_t>(number * 10 + static_cast<unsigned>(*at - '0'), 0xFFFFFFFFull);
        ++at;
    }
    while (isBlank(*at))
        ++at;
    if (at == digits || *at != '\0') {
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
