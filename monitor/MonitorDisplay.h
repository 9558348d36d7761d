#pragma once

#include "monitor/MonitorSnapshot.h"
#include "monitor/TrafficRateMeter.h"
#include "net/String.h"

#include <cstdint>
#include <vector>

namespace kestrum {

// What one monitor update changes on screen. The status line is always repainted; the tooltip
// and the rates only when the flags say so.
struct DisplayUpdate {
    String statusLine;
    bool setsTooltip = false;
    String tooltip;
    bool hasRates = false;
    std::uint32_t received = 0;
    std::uint32_t sent = 0;
    std::uint32_t trafficLevel = 0;
    int iconResource = 0;
};

// The monitor window's update without the window: status line, rate meter, the two histories,
// the traffic level with its tray icon, and the tray tooltip. The window and the console probe
// draw or print what it computes.
class MonitorDisplay {
public:
    static constexpr int tooltipCapacity = 128; // bytes, the terminating NUL included
    static constexpr const char* initialStatusLine = "Status";

    // Both histories keep this many values, oldest first.
    explicit MonitorDisplay(int historyLength);

    // Both histories take a new length (the graphs changed width), keeping their newest values;
    // room gained at the old end holds 0.
    void resizeHistories(int length);

    DisplayUpdate update(const MonitorSnapshot& snapshot, std::int64_t now, std::uint32_t scale,
                         std::uint32_t refreshPeriod);

    const String& statusLine() const { return statusLine_; }
    const std::vector<std::int32_t>& receivedHistory() const { return receivedHistory_; }
    const std::vector<std::int32_t>& sentHistory() const { return sentHistory_; }

    // Levels 0 ... 10; level 10 (both rates at the scale) shares the icon of level 9.
    static int iconForLevel(std::uint32_t level);
    static std::uint32_t trafficLevel(std::uint32_t received, std::uint32_t sent,
                                      std::uint32_t scale);
    // At most tooltipCapacity - 1 bytes.
    static String formatTooltip(const String& status, std::uint32_t received, std::uint32_t sent);

private:
    TrafficRateMeter meter_;
    String statusLine_ = initialStatusLine;
    std::vector<std::int32_t> receivedHistory_;
    std::vector<std::int32_t> sentHistory_;
};

} // namespace kestrum
