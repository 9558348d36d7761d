#pragma once

#include "monitor/ConnectionFacts.h"
#include "monitor/ExchangeGate.h"
#include "monitor/WorkerThread.h"

#include <cstdint>

namespace kestrum {

class GatewayMonitor;
class Service;

// Where the gateway tells about its line and its connection; either may be missing.
struct FactsServices {
    const Service* commonInterface = nullptr; // GetCommonLinkProperties
    const Service* connection = nullptr;      // GetStatusInfo, GetExternalIPAddress
};

// Asks the three actions once and updates facts with the answers. A fact that the gateway
// refuses, or whose service or action it lacks, becomes empty; one whose answer was lost (no
// connection, a time-out, a garbled answer) keeps its earlier value, so that one bad minute does
// not blank the details. The description's facts are left as they are. Each action waits for its
// turn at the gate.
void readConnectionFacts(const FactsServices& services, int exchangeTimeout, ExchangeGate& gate,
                         ConnectionFacts& facts);

// A worker that reads the connection facts when the gateway is found and then once every
// period, apart from the counters' readings, and hands them to its monitor.
class ConnectionFactsReader : public WorkerThread {
public:
    static constexpr std::int64_t defaultPeriod = 60'000;
    // Seconds for each answer at most: the counters wait at the gate meanwhile, and a gateway
    // whose counters stay unread too long counts as lost.
    static constexpr int longestExchange = 5;

    // The services live in the owner's gateway tree, which outlives the reader; facts holds what
    // the description told.
    ConnectionFactsReader(GatewayMonitor& owner, const FactsServices& services,
                          const ConnectionFacts& facts, std::int64_t period);

protected:
    bool run() override;

private:
    GatewayMonitor& owner_;
    FactsServices services_;
    ConnectionFacts facts_;
    std::int64_t period_;
};

} // namespace kestrum
