#include "monitor/CounterPoller.h"

#include "net/Exception.h"
#include "net/Sockets.h"
#include "net/StringList.h"
#include "upnp/Service.h"

namespace kestrum {

CounterPoller::CounterPoller(GatewayMonitor& owner, const Service& service, const char* action,
                             const char* outArgument, GatewayMonitor::Counter counter)
    : owner_(owner), service_(service), action_(action), outArgument_(outArgument),
      counter_(counter) {}

bool CounterPoller::run() {
    try {
        startSockets();
    } catch (const Exception&) {
        return false;
    }
    while (!stopping()) {
        try {
            poll();
        } catch (const Exception&) {
            // The counter keeps its last value; the next attempt follows.
        }
        if (stopping()) {
            break;
        }
        WorkerThread::sleep(owner_.refreshPeriod() / 2);
    }
    stopSockets();
    return false;
}

// The monitor asks its pollers only after its own sleep of up to a refresh period; a poller
// that saw its owner's stop first would otherwise begin a further exchange in that time.
bool CounterPoller::stopping() const {
    return stopRequested() || owner_.stopRequested();
}

void CounterPoller::poll() {
    const StringMap inArguments;
    StringMap outArguments;
    String responseName;
    service_.invoke(action_, inArguments, responseName, outArguments, owner_.exchangeTimeout());
    // A missing argument reads as empty, which counts as 0; the 32-bit pattern of the decimal
    // value is the counter.
    const int value = toInt(outArguments.entry(outArgument_).value);
    owner_.publishCounter(counter_, static_cast<std::uint32_t>(value));
}

} // namespace kestrum
