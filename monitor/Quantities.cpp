#include "monitor/Quantities.h"

#include <cstdio>

namespace kestrum {

namespace {

// Three significant digits with a unit of powers of 1000: "1.23 G", "456 M", "12.3 k".
String formatScaled(std::uint64_t value, const char* const* units, int unitCount,
                    const char* suffix) {
    char text[48];
    if (value < 1000) {
        std::snprintf(text, sizeof text, "%llu %s%s", static_cast<unsigned long long>(value),
                      units[0], suffix);
        return String(text);
    }
    double scaled = static_cast<double>(value);
    int unit = 0;
    while (scaled >= 999.5 && unit + 1 < unitCount) {
        scaled /= 1000.0;
        ++unit;
    }
    const int decimals = scaled < 9.995 ? 2 : scaled < 99.95 ? 1 : 0;
    std::snprintf(text, sizeof text, "%.*f %s%s", decimals, scaled, units[unit], suffix);
    return String(text);
}

} // namespace

String formatVolume(std::uint64_t bytes) {
    static const char* const units[] = {"", "k", "M", "G", "T", "P", "E"};
    return formatScaled(bytes, units, 7, "B");
}

String formatBitRate(std::uint32_t bitsPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f Mbit/s", bitsPerSecond / 1e6);
    return String(text);
}

String formatUptime(std::uint32_t seconds) {
    const std::uint32_t days = seconds / 86400;
    const std::uint32_t rest = seconds % 86400;
    char text[32];
    if (days > 0)
        std::snprintf(text, sizeof text, "%u d %02u:%02u:%02u", days, rest / 3600, rest / 60 % 60,
                      rest % 60);
    else
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", rest / 3600, rest / 60 % 60, rest % 60);
    return String(text);
}

} // namespace kestrum
