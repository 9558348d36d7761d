#include "monitor/StuckCounterWatch.h"

namespace kestrum {

bool StuckCounterWatch::isStuckValue(std::uint32_t value) {
    return value == 0 || value == 0x7FFFFFFFu || value == 0xFFFFFFFFu;
}

std::uint64_t StuckCounterWatch::read(Run& run, const CounterReading& reading, std::int64_t now) {
    if (!reading.published || (run.started && reading.count == run.readings)) {
        return 0; // no reading succeeded since the last update
    }
    run.readings = reading.count;
    if (run.started && reading.value == run.value) {
        run.latest = now;
        return 0;
    }
    // Forward steps only, taken modulo 2^32 like the rates: a counter that went back carries
    // nothing, and neither does its climb back, so that a counter that reads 0 once does not
    // pass for one that carried its whole value.
    const auto step = static_cast<std::int32_t>(reading.value - run.value);
    const bool falls = step < 0 || (reading.value == 0 && run.value != 0);
    const bool counts = run.started && step > 0 && !falls && !run.fallen;
    const std::uint64_t forward = counts ? static_cast<std::uint64_t>(step) : 0;
    run.fallen = run.started && falls;
    run.moved = run.moved || run.started;
    run.started = true;
    run.value = reading.value;
    run.since = now;
    run.latest = now;
    run.otherAdvance = 0;
    return forward;
}

bool StuckCounterWatch::stillFor(const Run& run) {
    return run.started && run.latest - run.since >= stuckAfter;
}

bool StuckCounterWatch::stuck(const Run& run) {
    return stillFor(run) && (isStuckValue(run.value) || run.otherAdvance >= otherCounterTraffic);
}

bool StuckCounterWatch::observeWan(Wan& wan, const WanCounters& counters, std::int64_t now) {
    const std::uint64_t receivedStep = read(wan.received, counters.received, now);
    const std::uint64_t sentStep = read(wan.sent, counters.sent, now);
    wan.received.otherAdvance += sentStep;
    wan.sent.otherAdvance += receivedStep;

    if (wan.hint && wan.received.moved && wan.sent.moved) {
        wan.hint = false;
    }
    if (!wan.hint && (stuck(wan.received) || stuck(wan.sent))) {
        wan.hint = true;
        wan.received.moved = false;
        wan.sent.moved = false;
    }
    return wan.hint;
}

bool StuckCounterWatch::observe(const MonitorSnapshot& snapshot, std::int64_t now) {
    const int count = snapshot.wanDevices();
    bool stuckBesideTraffic = false;
    bool everyDeviceStuck = count > 0;
    for (int index = 0; index < count; ++index) {
        Wan& wan = wans_[index];
        const bool hint = observeWan(wan, snapshot.wans[index], now);
        const bool idle = stillFor(wan.received) && stillFor(wan.sent);
        stuckBesideTraffic = stuckBesideTraffic || (hint && !idle);
        everyDeviceStuck = everyDeviceStuck && hint;
    }
    return stuckBesideTraffic || everyDeviceStuck;
}

} // namespace kestrum
