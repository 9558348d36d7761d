// kestrum-probe: the monitor window's refresh on a console. It runs the gateway monitor and the
// window's update logic exactly as the window does, on its main thread, and prints one line per
// update.

#include "monitor/GatewayMonitor.h"
#include "monitor/MonitorDisplay.h"
#include "monitor/RefreshPeriod.h"
#include "monitor/UpdateQueue.h"
#include "net/Exception.h"
#include "net/Sockets.h"
#include "tools/ProbeOptions.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

namespace {

using namespace kestrum;

volatile std::sig_atomic_t stopSignalled = 0;

extern "C" void onStopSignal(int) {
    stopSignalled = 1;
}

// The status comes from the network: keep it on one line and its quotes unambiguous.
std::string quoted(const String& text) {
    std::string result = "\"";
    for (int i = 0; i < text.length(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '"' || byte == '\\') {
            result += '\\';
            result += static_cast<char>(byte);
        } else if (byte < 32 || byte == 127) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            result += escaped;
        } else {
            result += static_cast<char>(byte);
        }
    }
    return result + "\"";
}

std::string rate(const DisplayUpdate& update, std::uint32_t value) {
    return update.hasRates ? std::to_string(value) : "-";
}

// A text fact quoted, "-" when the gateway gave none.
std::string fact(const String& text) {
    return text.isEmpty() ? "-" : quoted(text);
}

std::string number(bool known, std::uint32_t value) {
    return known ? std::to_string(value) : "-";
}

// One line of what the details window shows: the gateway, its line and connection, and the
// totals since start. Capacities and the uptime in plain numbers, as the gateway gave them.
void printDetails(long long elapsed, const MonitorDisplay& display) {
    const ConnectionFacts& facts = display.facts();
    const char* capacity = !facts.hasCapacity           ? "-"
                           : display.capacityCredible() ? "credible"
                                                        : "as-reported";
    std::printf("%lld details name=%s manufacturer=%s model=%s access=%s down=%s up=%s "
                "capacity=%s link=%s connection=%s uptime=%s address=%s rx_since_start=%llu "
                "tx_since_start=%llu\n",
                elapsed, fact(facts.friendlyName).c_str(), fact(facts.manufacturer).c_str(),
                fact(facts.modelName).c_str(), fact(facts.accessType).c_str(),
                number(facts.hasCapacity, facts.downstreamBitRate).c_str(),
                number(facts.hasCapacity, facts.upstreamBitRate).c_str(), capacity,
                fact(facts.physicalLinkStatus).c_str(), fact(facts.connectionStatus).c_str(),
                number(facts.hasUptime, facts.uptimeSeconds).c_str(),
                fact(facts.externalAddress).c_str(),
                static_cast<unsigned long long>(display.totalBytesReceived()),
                static_cast<unsigned long long>(display.totalBytesSent()));
}

int probe(const ProbeOptions& options) {
    // Only the window's graphs use the histories; any length serves here.
    constexpr int historyLength = 64;
    const auto start = std::chrono::steady_clock::now();

    RefreshPeriod refreshPeriod(options.refresh);
    UpdateQueue updates;
    GatewayMonitor monitor(refreshPeriod, updates);
    monitor.setNamedGateway(options.start.gateway);
    MonitorDisplay display(historyLength);
    display.showBits(options.start.bits);
    std::uint32_t scale = options.scale;
    std::uint32_t detailsShown = 0;
    try {
        monitor.initialize();
        monitor.start();
    } catch (const Exception&) {
        std::fprintf(stderr, "kestrum-probe: cannot start the monitor thread\n");
        return 1;
    }

    std::uint32_t ratedUpdates = 0;
    while (stopSignalled == 0) {
        // An update wakes us at once; the limit only bounds how late a signal is noticed while
        // none come. A shorter one would wake us between updates only to wait again.
        if (!updates.take(1000)) {
            if (monitor.state() == WorkerThread::State::Finished) {
                // Only when its thread could not start the socket layer.
                std::fprintf(stderr, "kestrum-probe: the monitor stopped\n");
                return 1;
            }
            continue;
        }
        const MonitorSnapshot snapshot = monitor.snapshot();
        const DisplayUpdate update =
            display.update(snapshot, steadyMilliseconds(), scale, refreshPeriod.get());
        if (options.start.scaleFromLine && display.lineScale() != 0) {
            scale = display.lineScale();
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        std::printf("%lld status=%s rx=%s tx=%s rx_total=%lu tx_total=%lu",
                    static_cast<long long>(elapsed), quoted(update.statusLine).c_str(),
                    rate(update, update.received).c_str(), rate(update, update.sent).c_str(),
                    static_cast<unsigned long>(snapshot.totalBytesReceived()),
                    static_cast<unsigned long>(snapshot.totalBytesSent()));
        // The scale that the line's capacity gave, when it is to follow it.
        if (options.start.scaleFromLine) {
            std::printf(" scale=%lu", static_cast<unsigned long>(scale));
        }
        std::printf("\n");
        // At each new reading of the facts: when the gateway is found, then once a minute.
        if (options.details && snapshot.facts.readings != detailsShown) {
            detailsShown = snapshot.facts.readings;
            printDetails(static_cast<long long>(elapsed), display);
        }
        std::fflush(stdout);
        if (update.hasRates && options.updates != 0 && ++ratedUpdates >= options.updates) {
            break;
        }
    }
    monitor.requestStop(true);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    ProbeOptions options;
    std::string error;
    if (!parseProbeOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "kestrum-probe: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(probeUsage().c_str(), stdout);
        return 0;
    }
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    return probe(options);
}
