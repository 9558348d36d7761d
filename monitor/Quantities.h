#pragma once

#include "net/String.h"

#include <cstdint>

namespace kestrum {

// Byte volumes in powers of 1000, as the rates: "1.23 GB", "456 MB", "12.3 kB", "0 B".
String formatVolume(std::uint64_t bytes);
// "100.0 Mbit/s".
String formatBitRate(std::uint32_t bitsPerSecond);
// "3 d 04:05:06", or "04:05:06" below a day.
String formatUptime(std::uint32_t seconds);

} // namespace kestrum
