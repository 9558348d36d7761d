#pragma once

#include "http/HttpClient.h"
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

class CounterPoller;
class Device;
class Service;

// The worker that finds the Internet gateway, owns its device tree and the two counter pollers,
// and wakes the user-interface thread once per refresh period. The user-interface thread reads
// the status text and the counters at any time.
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
    // how long both counters must fail before the gateway is given up.
    void setDiscoverySeconds(int seconds) { discoverySeconds_ = seconds; }
    void setHintDelay(std::int64_t milliseconds) { hintDelay_ = milliseconds; }
    // Where the user said the gateway is, before start; by default it is searched for.
    void setNamedGateway(const NamedGateway& gateway) { namedGateway_ = gateway; }
    void setGatewayTimeout(std::int64_t milliseconds) { gatewayTimeout_ = milliseconds; }
    // Seconds for each description load and each counter reading.
    void setExchangeTimeout(int seconds) { exchangeTimeout_ = seconds; }
    int exchangeTimeout() const { return exchangeTimeout_; }

    String statusText() const;
    std::uint32_t totalBytesReceived() const {
        return static_cast<std::uint32_t>(receivedReading_.load());
    }
    std::uint32_t totalBytesSent() const { return static_cast<std::uint32_t>(sentReading_.load()); }
    MonitorSnapshot snapshot() const;
    Mode mode() const { return mode_.load(); }

    std::uint32_t refreshPeriod() const { return refreshPeriod_.get(); }
    // Called by the pollers after each successful reading.
    void publishCounter(Counter counter, std::uint32_t value);

    // The first embedded WAN device (any version) holding the common interface configuration
    // service (any version), or null.
    static Service* findCommonInterfaceService(const Device& root);
    // The status text of a connected gateway: its friendly name, else its model name, else its
    // address (host:port of its description), so that the status never claims a search that is
    // over.
    static String gatewayStatus(const Device& gateway);

protected:
    bool run() override;

private:
    void discoveryPhase();
    bool adoptGateway(std::unique_ptr<Device>& device);
    void startPollers();
    void watchPhase();
    bool gatewayLost() const;
    void releaseGateway();
    void setStatusText(const String& text);

    const RefreshPeriod& refreshPeriod_;
    UpdateNotifier& notifier_;
    int discoverySeconds_ = defaultDiscoverySeconds;
    std::int64_t hintDelay_ = defaultHintDelay;
    NamedGateway namedGateway_;
    std::int64_t gatewayTimeout_ = defaultGatewayTimeout;
    int exchangeTimeout_ = HttpClient::defaultExchangeTimeout;

    mutable std::mutex statusMutex_;
    String statusText_;
    // Each counter with the time it was read (steady milliseconds modulo 2^32) in the high half:
    // one word, so that a snapshot never pairs a value with the time of another reading.
    std::atomic<std::uint64_t> receivedReading_{0};
    std::atomic<std::uint64_t> sentReading_{0};
    std::atomic<bool> receivedPublished_{false};
    std::atomic<bool> sentPublished_{false};
    std::atomic<std::uint32_t> receivedReadings_{0};
    std::atomic<std::uint32_t> sentReadings_{0};
    // Monotonic milliseconds of the last successful reading of either counter.
    std::atomic<std::int64_t> lastReading_{0};

    std::atomic<Mode> mode_{Mode::Searching};
    Device* gateway_ = nullptr;
    Service* commonInterfaceService_ = nullptr;
    CounterPoller* receivedPoller_ = nullptr;
    CounterPoller* sentPoller_ = nullptr;
};

} // namespace kestrum
