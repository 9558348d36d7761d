#include "monitor/CounterPoller.h"

#include "net/Exception.h"
#include "net/Sockets.h"
#include "net/StringList.h"
#include "soap/SoapClient.h"
#include "upnp/Service.h"

namespace kestrum {

namespace {

// What toInt reads a number from: white space, a sign, then at least one digit.
bool startsWithNumber(const String& text) {
    const char* p = text.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    if (*p == '-' || *p == '+') {
        ++p;
    }
    return *p >= '0' && *p <= '9';
}

} // namespace

CounterPoller::CounterPoller(GatewayMonitor& owner, const Service& service, int wan,
                             const char* action, const char* outArgument,
                             GatewayMonitor::Counter counter)
    : owner_(owner), service_(service), wan_(wan), action_(action), outArgument_(outArgument),
      counter_(counter) {}

bool CounterPoller::run() {
    try {
        const ThreadSockets sockets;
        while (!stopping()) {
            try {
                const ExchangeGate::PollTurn turn(owner_.exchangeGate());
                // A stop may be what freed the gate: no new exchange after it.
                if (stopping()) {
                    break;
                }
                poll();
            } catch (const SoapClient::FaultException&) {
                owner_.refuseCounter(wan_, counter_);
            } catch (const Exception&) {
                // The counter keeps its last value; the next attempt follows.
            }
            if (stopping()) {
                break;
            }
            WorkerThread::sleep(pause());
        }
    } catch (const Exception&) {
        // The socket layer did not start: there is nothing to read with.
    }
    return false;
}

// The monitor asks its pollers only after its own sleep of up to a refresh period; a poller
// that saw its owner's stop first would otherwise begin a further exchange in that time.
bool CounterPoller::stopping() const {
    return stopRequested() || owner_.stopRequested();
}

// Routers refuse the counters when their status reporting over UPnP is off: asking twice a
// second would only pester them.
std::int64_t CounterPoller::pause() const {
    return owner_.counterRefused(wan_, counter_) ? refusedPause : owner_.refreshPeriod() / 2;
}

void CounterPoller::poll() {
    const StringMap inArguments;
    StringMap outArguments;
    String responseName;
    service_.invoke(action_, inArguments, responseName, outArguments, owner_.exchangeTimeout());
    // A reply without the counter is a failed reading, not a sign of life: read as 0 it would
    // show the fall to 0 and the climb back as traffic.
    const int index = outArguments.find(outArgument_);
    if (index < 0 || !startsWithNumber(outArguments[index].value)) {
        return;
    }
    // The 32-bit pattern of the decimal value is the counter.
    const int value = toInt(outArguments[index].value);
    owner_.publishCounter(wan_, counter_, static_cast<std::uint32_t>(value));
}

} // namespace kestrum
