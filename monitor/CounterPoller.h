#pragma once

#include "monitor/GatewayMonitor.h"
#include "monitor/WorkerThread.h"

namespace kestrum {

class Service;

// A worker that reads one byte counter of the gateway every half refresh period and publishes
// it in its monitor. A failed reading (also one whose counter is missing, empty or without
// digits) is retried; the counter keeps its previous value.
class CounterPoller : public WorkerThread {
public:
    // The service lives in the owner's gateway tree, which outlives the poller.
    CounterPoller(GatewayMonitor& owner, const Service& service, const char* action,
                  const char* outArgument, GatewayMonitor::Counter counter);

protected:
    bool run() override;

private:
    bool stopping() const;
    void poll();

    GatewayMonitor& owner_;
    const Service& service_;
    const char* action_;
    const char* outArgument_;
    GatewayMonitor::Counter counter_;
};

class ReceivedBytesPoller : public CounterPoller {
public:
    ReceivedBytesPoller(GatewayMonitor& owner, const Service& service)
        : CounterPoller(owner, service, "GetTotalBytesReceived", "NewTotalBytesReceived",
                        GatewayMonitor::Counter::Received) {}
};

class SentBytesPoller : public CounterPoller {
public:
    SentBytesPoller(GatewayMonitor& owner, const Service& service)
        : CounterPoller(owner, service, "GetTotalBytesSent", "NewTotalBytesSent",
                        GatewayMonitor::Counter::Sent) {}
};

} // namespace kestrum
