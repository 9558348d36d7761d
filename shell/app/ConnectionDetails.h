#pragma once

#include "monitor/MonitorDisplay.h"
#include "net/String.h"

#include <vector>

namespace kestrum {

// One row of the details window: the read-only edit that shows it and its text.
struct DetailsRow {
    int controlId;
    String text;
};

// What is not known reads as this, so that every row says something.
constexpr const char* unknownText = "unknown";
// Added to a line capacity that cannot be the line's real one.
constexpr const char* asReportedText = " (as reported)";

// The details window's rows, in the order shown, from what the display knows of the gateway,
// its connection and the traffic since start.
std::vector<DetailsRow> describeConnection(const MonitorDisplay& display);

} // namespace kestrum
