#pragma once

#include "monitor/ConnectionFacts.h"
#include "monitor/GatewayMonitor.h"
#include "monitor/MonitorSnapshot.h"
#include "monitor/ReadoutDigits.h"
#include "monitor/StuckCounterWatch.h"
#include "monitor/TrafficRateMeter.h"
#include "monitor/TrayTooltip.h"
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
    // 0 ... highestLevel; the program picks the tray icon for it.
    std::uint32_t trafficLevel = 0;
    // Digit positions each readout needs for its rate.
    int receivedDigits = ReadoutDigits::minimum;
    int sentDigits = ReadoutDigits::minimum;
};

// The monitor window's update without the window: status line, rate meter, the two histories,
// the traffic level, the readouts' digit counts, the counter hints and the tray tooltip.
// The window and the console probe draw or print what it computes.
class MonitorDisplay {
public:
    static constexpr const char* initialStatusLine = "Status";
    static constexpr const char* stuckSuffix = " (counters stuck)";
    static constexpr const char* refusedSuffix = " (counters refused)";
    static constexpr std::uint32_t highestLevel = 9;

    // Both histories keep this many values, oldest first.
    explicit MonitorDisplay(int historyLength, TrayTooltip tooltip = TrayTooltip());

    // Both histories take a new length (the graphs changed width), keeping their newest values;
    // room gained at the old end holds 0.
    void resizeHistories(int length);

    // now is steady milliseconds (steadyMilliseconds), the clock of the counters' reading times.
    DisplayUpdate update(const MonitorSnapshot& snapshot, std::int64_t now, std::uint32_t scale,
                         std::uint32_t refreshPeriod);
    // The user applied a scale: the readouts' digit counts start again from it.
    void applyScale(std::uint32_t scale);
    // Rates shown in kbit/s (1 kbit = 1000 bits) instead of KB/s: the histories, readouts,
    // traffic level and tooltip, against a scale in the same unit. The totals and the line's
    // share stay what they are.
    void showBits(bool bits) { bits_ = bits; }
    const char* rateUnit() const { return bits_ ? "kbit/s" : "KB/s"; }

    const String& statusLine() const { return statusLine_; }
    const std::vector<std::int32_t>& receivedHistory() const { return receivedHistory_; }
    const std::vector<std::int32_t>& sentHistory() const { return sentHistory_; }
    int receivedDigits() const { return receivedDigits_.count(); }
    int sentDigits() const { return sentDigits_.count(); }

    // Bytes since start: the sum of the measured steps.
    std::uint64_t totalBytesReceived() const { return totalReceived_; }
    std::uint64_t totalBytesSent() const { return totalSent_; }
    const ConnectionFacts& facts() const { return facts_; }
    // Downstream and upstream capacity are both credible.
    bool capacityCredible() const;
    // The rate's share of its direction's capacity, or -1 when the capacity is not credible.
    int lineSharePercent(GatewayMonitor::Counter counter) const;
    // The graph scale that spans the line's downstream capacity, in the display's unit and
    // within the scale's range; 0 while the capacity is not credible.
    std::uint32_t lineScale() const;

    // Tenths of the scale that the average of both rates reaches, up to highestLevel.
    static std::uint32_t trafficLevel(std::uint32_t received, std::uint32_t sent,
                                      std::uint32_t scale);

private:
    // The hint added to the gateway's name, or an empty text.
    const char* counterHint(const MonitorSnapshot& snapshot, std::int64_t now);
    // The tooltip's rates, in the display's unit, with the line's share when it is known.
    TooltipRates tooltipRates(std::uint32_t received, std::uint32_t sent) const;

    TrayTooltip tooltip_;
    TrafficRateMeter meter_;
    StuckCounterWatch stuckWatch_;
    String watchedStatus_;
    ReadoutDigits receivedDigits_;
    ReadoutDigits sentDigits_;
    String statusLine_ = initialStatusLine;
    std::vector<std::int32_t> receivedHistory_;
    std::vector<std::int32_t> sentHistory_;
    std::uint64_t totalReceived_ = 0;
    std::uint64_t totalSent_ = 0;
    // The latest and the highest rates measured since start, for the line's share.
    std::uint32_t lastReceived_ = 0;
    std::uint32_t lastSent_ = 0;
    std::uint32_t highestReceived_ = 0;
    std::uint32_t highestSent_ = 0;
    ConnectionFacts facts_;
    bool bits_ = false;
};

} // namespace kestrum
