#pragma once

#include "http/HttpClient.h"
#include "monitor/CommonInterfaceLookup.h"
#include "monitor/ConnectionFacts.h"
#include "monitor/CounterSlot.h"
#include "monitor/ExchangeGate.h"
#include "monitor/MonitorSnapshot.h"
#include "monitor/RefreshPeriod.h"
#include "monitor/StartOptions.h"
#include "monitor/UpdateNotifier.h"
#include "monitor/WorkerThread.h"
#include "net/GrowableArray.h"
#include "net/String.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

namespace kestrum {

class ConnectionFactsReader;
class CounterPoller;
class Device;

// The worker that finds the Internet gateway, owns its device tree and the counter pollers (two
// per WAN device), and wakes the user-interface thread once per refresh period. The
// user-interface thread reads the status text and the counters at any time.
class GatewayMonitor : public WorkerThread {
public:
    enum class Mode { Searching = 0, Connected = 2 };
    enum class Counter { Received, Sent };

    static constexpr const char* lookingText = "Looking for an UPnP gateway...";
    // Shown while the search has gone unanswered for hintDelay; it fits the status line.
    static constexpr const char* noAnswerText = "No answer: is UPnP on in the router?";
    static constexpr int defaultDiscoverySeconds = 5;
    static constexpr std::int64_t defaultHintDelay = 30'000;
    static constexpr std::int64_t defaultGatewayTimeout = 30'000;

    GatewayMonitor(const RefreshPeriod& refreshPeriod, UpdateNotifier& notifier);
    // The owner stops the thread (requestStop with wait) first.
    ~GatewayMonitor() override;

    // Adjustments for tests, made before start: the listening time of a discovery attempt, and
    // how long the gateway must stay silent before it is given up.
    void setDiscoverySeconds(int seconds) { discoverySeconds_ = seconds; }
    void setHintDelay(std::int64_t milliseconds) { hintDelay_ = milliseconds; }
    // Where the user said the gateway is, before start; by default it is searched for.
    void setNamedGateway(const NamedGateway& gateway) { namedGateway_ = gateway; }
    void setGatewayTimeout(std::int64_t milliseconds) { gatewayTimeout_ = milliseconds; }
    // Seconds for each description load and each counter reading.
    void setExchangeTimeout(int seconds) { exchangeTimeout_ = seconds; }
    int exchangeTimeout() const { return exchangeTimeout_; }
    // Milliseconds between two readings of the connection facts.
    void setFactsPeriod(std::int64_t milliseconds) { factsPeriod_ = milliseconds; }

    String statusText() const;
    // The sums over every WAN device, modulo 2^32.
    std::uint32_t totalBytesReceived() const { return snapshot().totalBytesReceived(); }
    std::uint32_t totalBytesSent() const { return snapshot().totalBytesSent(); }
    MonitorSnapshot snapshot() const;
    Mode mode() const { return mode_.load(); }

    std::uint32_t refreshPeriod() const { return refreshPeriod_.get(); }

    // Starts two pollers on each service, which lives in a device tree that outlives them. The
    // monitor's thread does it for the gateway it adopts; tests do it without discovery.
    void startPolling(const CounterServices& services);
    // Called by the pollers: a successful reading, and a refusal (a SOAP fault instead of the
    // counter). Both show that the gateway is there.
    void publishCounter(int wan, Counter counter, std::uint32_t value);
    void refuseCounter(int wan, Counter counter);
    bool counterRefused(int wan, Counter counter) const { return slot(wan, counter).refused(); }
    // Called by the facts reader with what it read.
    void publishFacts(const ConnectionFacts& facts);
    // Where the counters' and the facts' readings take turns.
    ExchangeGate& exchangeGate() { return exchangeGate_; }

    // The status text of a connected gateway: its friendly name, else its model name, else its
    // address (host:port of its description), so that the status never claims a search that is
    // over.
    static String gatewayStatus(const Device& gateway);

protected:
    bool run() override;

private:
    struct WanPolling {
        CounterSlot received;
        CounterSlot sent;
        CounterPoller* receivedPoller = nullptr;
        CounterPoller* sentPoller = nullptr;
    };

    void discoveryPhase();
    bool adoptGateway(std::unique_ptr<Device>& device);
    void startPollers();
    void startFactsReader();
    void watchPhase();
    bool gatewayLost() const;
    void releaseGateway();
    void setStatusText(const String& text);
    CounterSlot& slot(int wan, Counter counter);
    const CounterSlot& slot(int wan, Counter counter) const;

    const RefreshPeriod& refreshPeriod_;
    UpdateNotifier& notifier_;
    int discoverySeconds_ = defaultDiscoverySeconds;
    std::int64_t hintDelay_ = defaultHintDelay;
    NamedGateway namedGateway_;
    std::int64_t gatewayTimeout_ = defaultGatewayTimeout;
    int exchangeTimeout_ = HttpClient::defaultExchangeTimeout;
    std::int64_t factsPeriod_;

    mutable std::mutex statusMutex_;
    String statusText_;
    ConnectionFacts facts_; // under statusMutex_ too
    WanPolling wans_[MonitorSnapshot::maximumWans];
    std::atomic<int> wanCount_{0};
    // Monotonic milliseconds of the last answer of the gateway: a reading or a refusal.
    std::atomic<std::int64_t> lastAnswer_{0};

    std::atomic<Mode> mode_{Mode::Searching};
    Device* gateway_ = nullptr;
    // The counter services in the gateway's tree.
    CounterServices counterServices_;
    ExchangeGate exchangeGate_;
    ConnectionFactsReader* factsReader_ = nullptr;
};

} // namespace kestrum
