#pragma once

#include "monitor/GatewayMonitor.h"
#include "monitor/WorkerThread.h"

#include <cstdint>

namespace kestrum {

class Service;

// A worker that reads one byte counter of one WAN device every half refresh period and
// publishes it in its monitor. A failed reading (also one whose counter is missing, empty or
// without digits) is retried; the counter keeps its previous value. A gateway that refuses the
// counter with a fault is asked only every refusedPause once it counts as refusing, until it
// answers again.
class CounterPoller : public WorkerThread {
public:
    static constexpr std::int64_t refusedPause = 10'000;

    // The service lives in the owner's gateway tree, which outlives the poller; wan is its
    // index among the owner's WAN devices.
    CounterPoller(GatewayMonitor& owner, const Service& service, int wan, const char* action,
                  const char* outArgument, GatewayMonitor::Counter counter);

protected:
    bool run() override;

private:
    bool stopping() const;
    void poll();
    std::int64_t pause() const;

    GatewayMonitor& owner_;
    const Service& service_;
    int wan_;
    const char* action_;
    const char* outArgument_;
    GatewayMonitor::Counter counter_;
};

class ReceivedBytesPoller : public CounterPoller {
public:
    ReceivedBytesPoller(GatewayMonitor& owner, const Service& service, int wan)
        : CounterPoller(owner, service, wan, "GetTotalBytesReceived", "NewTotalBytesReceived",
                        GatewayMonitor::Counter::Received) {}
};

class SentBytesPoller : public CounterPoller {
public:
    SentBytesPoller(GatewayMonitor& owner, const Service& service, int wan)
        : CounterPoller(owner, service, wan, "GetTotalBytesSent", "NewTotalBytesSent",
                        GatewayMonitor::Counter::Sent) {}
};

} // namespace kestrum
