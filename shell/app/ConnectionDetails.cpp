#include "shell/app/ConnectionDetails.h"

#include "monitor/Quantities.h"
#include "shell/app/ResourceIds.h"

#include <string>

namespace kestrum {

namespace {

using Counter = GatewayMonitor::Counter;

String orUnknown(const String& text) {
    return text.isEmpty() ? String(unknownText) : text;
}

// "DSL, link Up": the access type and the state of the physical link, as far as told.
String describeAccess(const ConnectionFacts& facts) {
    std::string text = facts.accessType.c_str();
    if (!facts.physicalLinkStatus.isEmpty()) {
        text += text.empty() ? "link " : ", link ";
        text += facts.physicalLinkStatus.c_str();
    }
    return orUnknown(String(text.c_str()));
}

String describeCapacity(const MonitorDisplay& display) {
    const ConnectionFacts& facts = display.facts();
    if (!facts.hasCapacity) {
        return String(unknownText);
    }
    std::string text = formatBitRate(facts.downstreamBitRate).c_str();
    text += " down, ";
    text += formatBitRate(facts.upstreamBitRate).c_str();
    text += " up";
    if (!display.capacityCredible()) {
        text += asReportedText;
    }
    return String(text.c_str());
}

String describeShare(const MonitorDisplay& display) {
    const int down = display.lineSharePercent(Counter::Received);
    const int up = display.lineSharePercent(Counter::Sent);
    if (down < 0 || up < 0) {
        return String(unknownText);
    }
    String text;
    text.format("%d %% down, %d %% up", down, up);
    return text;
}

String describeConnectionState(const ConnectionFacts& facts) {
    if (facts.connectionStatus.isEmpty()) {
        return String(unknownText);
    }
    std::string text = facts.connectionStatus.c_str();
    if (facts.hasUptime) {
        text += ", up ";
        text += formatUptime(facts.uptimeSeconds).c_str();
    }
    return String(text.c_str());
}

String describeTotals(const MonitorDisplay& display) {
    std::string text = formatVolume(display.totalBytesReceived()).c_str();
    text += " received, ";
    text += formatVolume(display.totalBytesSent()).c_str();
    text += " sent";
    return String(text.c_str());
}

} // namespace

std::vector<DetailsRow> describeConnection(const MonitorDisplay& display) {
    const ConnectionFacts& facts = display.facts();
    return {
        {IDC_DETAILS_NAME, orUnknown(facts.friendlyName)},
        {IDC_DETAILS_MANUFACTURER, orUnknown(facts.manufacturer)},
        {IDC_DETAILS_MODEL, orUnknown(facts.modelName)},
        {IDC_DETAILS_ACCESS, describeAccess(facts)},
        {IDC_DETAILS_CAPACITY, describeCapacity(display)},
        {IDC_DETAILS_SHARE, describeShare(display)},
        {IDC_DETAILS_CONNECTION, describeConnectionState(facts)},
        {IDC_DETAILS_ADDRESS, orUnknown(facts.externalAddress)},
        {IDC_DETAILS_TOTALS, describeTotals(display)},
    };
}

} // namespace kestrum
