#include "monitor/ConnectionFactsReader.h"

#include "monitor/GatewayMonitor.h"
#include "net/Exception.h"
#include "net/Sockets.h"
#include "net/StringList.h"
#include "net/TextView.h"
#include "net/ThreadWait.h"
#include "soap/SoapClient.h"
#include "upnp/Service.h"

#include <algorithm>

namespace kestrum {

namespace {

enum class Answer { Read, Refused, Lost };

// Each action takes its own turn at the gate, so the counters wait for one answer at most.
Answer ask(const Service* service, const char* action, int exchangeTimeout, ExchangeGate& gate,
           StringMap& out) {
    if (service == nullptr) {
        return Answer::Refused;
    }
    try {
        const ExchangeGate::FactsTurn turn(gate);
        // A stop may be what ended the polls it waited for: no new exchange after it.
        if (stopRequestedOnThisThread()) {
            throw ThreadStopException();
        }
        String responseName;
        service->invoke(action, StringMap(), responseName, out, exchangeTimeout);
        return Answer::Read;
    } catch (const SoapClient::FaultException&) {
        return Answer::Refused;
    } catch (const ThreadStopException&) {
        throw;
    } catch (const Exception&) {
        return Answer::Lost;
    }
}

// A UPnP ui4: decimal digits with white space around them, within 32 bits. Anything else is no
// value at all rather than a wrong one.
bool readUi4(const String& text, std::uint32_t& value) {
    const char* p = text.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    std::uint64_t number = 0;
    const int digits = readDecimal(p, number);
    p += digits;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    if (digits == 0 || *p != '\0' || number > 0xFFFFFFFFu) {
        return false;
    }
    value = static_cast<std::uint32_t>(number);
    return true;
}

String valueOf(const StringMap& out, const char* name) {
    const int index = out.find(name);
    return index < 0 ? String() : out[index].value;
}

// Hands the answer's out-arguments to take; a refusal hands none, so that the facts become
// empty, and a lost answer leaves them alone.
template <typename Take>
void askAndTake(const Service* service, const char* action, int exchangeTimeout, ExchangeGate& gate,
                Take take) {
    StringMap out;
    const Answer answer = ask(service, action, exchangeTimeout, gate, out);
    if (answer != Answer::Lost) {
        take(answer == Answer::Read ? out : StringMap());
    }
}

} // namespace

void readConnectionFacts(const FactsServices& services, int exchangeTimeout, ExchangeGate& gate,
                         ConnectionFacts& facts) {
    askAndTake(services.commonInterface, "GetCommonLinkProperties", exchangeTimeout, gate,
               [&facts](const StringMap& out) {
                   facts.accessType = valueOf(out, "NewWANAccessType");
                   facts.physicalLinkStatus = valueOf(out, "NewPhysicalLinkStatus");
                   facts.hasCapacity =
                       readUi4(valueOf(out, "NewLayer1DownstreamMaxBitRate"),
                               facts.downstreamBitRate) &&
                       readUi4(valueOf(out, "NewLayer1UpstreamMaxBitRate"), facts.upstreamBitRate);
                   if (!facts.hasCapacity) {
                       facts.downstreamBitRate = 0;
                       facts.upstreamBitRate = 0;
                   }
               });
    askAndTake(services.connection, "GetStatusInfo", exchangeTimeout, gate,
               [&facts](const StringMap& out) {
                   facts.connectionStatus = valueOf(out, "NewConnectionStatus");
                   facts.hasUptime = readUi4(valueOf(out, "NewUptime"), facts.uptimeSeconds);
                   if (!facts.hasUptime) {
                       facts.uptimeSeconds = 0;
                   }
                   facts.uptimeReadAt = steadyMilliseconds();
               });
    askAndTake(services.connection, "GetExternalIPAddress", exchangeTimeout, gate,
               [&facts](const StringMap& out) {
                   facts.externalAddress = valueOf(out, "NewExternalIPAddress");
               });
}

ConnectionFactsReader::ConnectionFactsReader(GatewayMonitor& owner, const FactsServices& services,
                                             const ConnectionFacts& facts, std::int64_t period)
    : owner_(owner), services_(services), facts_(facts), period_(period) {}

bool ConnectionFactsReader::run() {
    try {
        const ThreadSockets sockets;
        while (!stopRequested() && !owner_.stopRequested()) {
            readConnectionFacts(services_, std::min(owner_.exchangeTimeout(), longestExchange),
                                owner_.exchangeGate(), facts_);
            ++facts_.readings;
            owner_.publishFacts(facts_);
            WorkerThread::sleep(period_);
        }
    } catch (const Exception&) {
        // A stop request, or a socket layer that did not start.
    }
    return false;
}

} // namespace kestrum
