#pragma once

#include "monitor/MonitorSnapshot.h"

namespace kestrum {

class Device;
class Service;

// The services whose byte counters the monitor reads, in document order.
struct CounterServices {
    const Service* services[MonitorSnapshot::maximumWans] = {};
    int count = 0;
};

// The common interface configuration service of each WAN device embedded in the root device:
// any version of 1 or more, by the UPnP names or by the TR-064 (urn:dslforum-org:) ones. Each
// device gives its first such service; devices whose service has a control URL already found are
// read once; at most MonitorSnapshot::maximumWans are kept.
CounterServices findCounterServices(const Device& root);

// The service that tells the state of the connection beside a common interface service: the
// first WANIPConnection or WANPPPConnection (any version, either namespace) of a connection
// device in the same WAN device; null when there is none.
const Service* findConnectionService(const Service& commonInterface);

} // namespace kestrum
