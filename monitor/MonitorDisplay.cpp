#include "monitor/MonitorDisplay.h"

#include "monitor/LineCapacity.h"
#include "monitor/SettingRange.h"

#include <algorithm>
#include <limits>

namespace kestrum {

namespace {

void shiftIn(std::vector<std::int32_t>& history, std::uint32_t rate) {
    if (history.empty()) {
        return;
    }
    history.erase(history.begin());
    history.push_back(static_cast<std::int32_t>(rate));
}

constexpr std::uint32_t bytesPerKilobyte = 1000;

// KB/s as kbit/s, within what the histories and readouts hold.
std::uint32_t inKilobits(std::uint32_t kilobytesPerSecond) {
    constexpr std::uint64_t largest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(kilobytesPerSecond * 8ULL, largest));
}

void keepNewest(std::vector<std::int32_t>& history, std::size_t length) {
    if (length < history.size()) {
        history.erase(history.begin(),
                      history.begin() + static_cast<std::ptrdiff_t>(history.size() - length));
    } else {
        history.insert(history.begin(), length - history.size(), 0);
    }
}

} // namespace

MonitorDisplay::MonitorDisplay(int historyLength, TrayTooltip tooltip)
    : tooltip_(tooltip),
      receivedHistory_(static_cast<std::size_t>(historyLength > 0 ? historyLength : 0), 0),
      sentHistory_(receivedHistory_.size(), 0) {}

void MonitorDisplay::resizeHistories(int length) {
    const auto kept = static_cast<std::size_t>(length > 0 ? length : 0);
    keepNewest(receivedHistory_, kept);
    keepNewest(sentHistory_, kept);
}

DisplayUpdate MonitorDisplay::update(const MonitorSnapshot& snapshot, std::int64_t now,
                                     std::uint32_t scale, std::uint32_t refreshPeriod) {
    // A gateway without a name keeps the last status shown.
    if (!snapshot.statusText.isEmpty()) {
        statusLine_ = snapshot.statusText;
    }
    facts_ = snapshot.facts;
    if (facts_.hasUptime && facts_.connectionStatus == "Connected" && now > facts_.uptimeReadAt) {
        // Counted on since it was read, within the 32 bits the gateway reports it in; a
        // connection that is down has no time to count.
        const std::int64_t uptime = facts_.uptimeSeconds + (now - facts_.uptimeReadAt) / 1000;
        facts_.uptimeSeconds =
            static_cast<std::uint32_t>(std::min<std::int64_t>(uptime, 0xFFFFFFFF));
    }
    const char* hint = counterHint(snapshot, now);
    DisplayUpdate result;
    result.statusLine = statusLine_ + hint;
    result.receivedDigits = receivedDigits_.count();
    result.sentDigits = sentDigits_.count();

    TrafficRateMeter::Result rates;
    if (snapshot.countersPublished) {
        rates = meter_.sample(now, snapshot, scale, refreshPeriod);
    } else {
        // No gateway counters yet (or any more): the next gateway's first readings are a fresh
        // start, not a jump from whatever was stored.
        meter_.reset();
        rates.outcome = TrafficRateMeter::Outcome::FirstSample;
    }

    switch (rates.outcome) {
    case TrafficRateMeter::Outcome::Skipped:
        break;
    case TrafficRateMeter::Outcome::FirstSample:
        result.setsTooltip = true;
        result.tooltip = tooltip_.status(snapshot.statusText, hint);
        break;
    case TrafficRateMeter::Outcome::Rates: {
        const std::uint32_t received = bits_ ? inKilobits(rates.received) : rates.received;
        const std::uint32_t sent = bits_ ? inKilobits(rates.sent) : rates.sent;
        shiftIn(receivedHistory_, received);
        shiftIn(sentHistory_, sent);
        result.hasRates = true;
        result.received = received;
        result.sent = sent;
        lastReceived_ = rates.received;
        lastSent_ = rates.sent;
        highestReceived_ = std::max(highestReceived_, rates.received);
        highestSent_ = std::max(highestSent_, rates.sent);
        totalReceived_ += rates.receivedBytes;
        totalSent_ += rates.sentBytes;
        result.trafficLevel = trafficLevel(received, sent, scale);
        result.receivedDigits = receivedDigits_.show(received);
        result.sentDigits = sentDigits_.show(sent);
        result.setsTooltip = true;
        result.tooltip =
            tooltip_.withRates(snapshot.statusText, hint, tooltipRates(received, sent));
        break;
    }
    }
    return result;
}

// The hints belong to one gateway: the watch starts afresh when the counters stop belonging to
// one or the gateway's name changes. A refusing gateway reads no counters, so its hint comes
// first.
const char* MonitorDisplay::counterHint(const MonitorSnapshot& snapshot, std::int64_t now) {
    if (!snapshot.countersPublished || snapshot.statusText != watchedStatus_) {
        stuckWatch_.reset();
    }
    watchedStatus_ = snapshot.statusText;
    const bool stuck = snapshot.countersPublished && stuckWatch_.observe(snapshot, now);
    if (snapshot.countersRefused) {
        return refusedSuffix;
    }
    return stuck ? stuckSuffix : "";
}

void MonitorDisplay::applyScale(std::uint32_t scale) {
    receivedDigits_.apply(scale);
    sentDigits_.apply(scale);
}

std::uint32_t MonitorDisplay::trafficLevel(std::uint32_t received, std::uint32_t sent,
                                           std::uint32_t scale) {
    if (scale == 0) {
        return 0;
    }
    const std::uint64_t average = (std::uint64_t{received} + sent) / 2;
    const std::uint64_t level = average * 10 / scale;
    return level < highestLevel ? static_cast<std::uint32_t>(level) : highestLevel;
}

// The highest rates count from the start on, whichever gateway they were measured at: a line
// that carried more than a reported capacity has not got that capacity.
bool MonitorDisplay::capacityCredible() const {
    return facts_.hasCapacity &&
           isCredibleCapacity(facts_.accessType, facts_.downstreamBitRate,
                              static_cast<double>(highestReceived_) * bytesPerKilobyte) &&
           isCredibleCapacity(facts_.accessType, facts_.upstreamBitRate,
                              static_cast<double>(highestSent_) * bytesPerKilobyte);
}

int MonitorDisplay::lineSharePercent(GatewayMonitor::Counter counter) const {
    if (!capacityCredible()) {
        return -1;
    }
    const bool received = counter == GatewayMonitor::Counter::Received;
    const std::uint64_t bitsPerSecond =
        std::uint64_t{received ? lastReceived_ : lastSent_} * bytesPerKilobyte * 8;
    const std::uint64_t capacity = received ? facts_.downstreamBitRate : facts_.upstreamBitRate;
    // Rounded to the nearest percent; a credible capacity is never below the rate.
    return static_cast<int>((bitsPerSecond * 100 + capacity / 2) / capacity);
}

std::uint32_t MonitorDisplay::lineScale() const {
    if (!capacityCredible()) {
        return 0;
    }
    const std::uint32_t bitsPerUnit = bits_ ? 1000 : bytesPerKilobyte * 8;
    return std::clamp(facts_.downstreamBitRate / bitsPerUnit, scaleRange.minimum,
                      scaleRange.maximum);
}

TooltipRates MonitorDisplay::tooltipRates(std::uint32_t received, std::uint32_t sent) const {
    TooltipRates rates;
    rates.received = received;
    rates.sent = sent;
    rates.unit = rateUnit();
    rates.receivedShare = lineSharePercent(GatewayMonitor::Counter::Received);
    rates.sentShare = lineSharePercent(GatewayMonitor::Counter::Sent);
    return rates;
}

} // namespace kestrum
