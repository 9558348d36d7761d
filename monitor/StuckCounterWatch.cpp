#include "monitor/StuckCounterWatch.h"

namespace kestrum {

bool StuckCounterWatch::isStuckValue(std::uint32_t value) {
    return value == 0 || value == 0x7FFFFFFFu || value == 0xFFFFFFFFu;
}

std::uint64_t StuckCounterWatch::read(Run& run, std::uint32_t readings, std::uint32_t value,
                                      std::int64_t now) {
    if (run.started && readings == run.readings) {
        return 0; // no reading succeeded since the last update
    }
    run.readings = readings;
    if (run.started && value == run.value) {
        // A wall clock set back must not hold the run below its length for as long.
        run.since = now < run.since ? now : run.since;
        run.latest = now;
        return 0;
    }
    // Forward steps only, taken modulo 2^32 like the rates: a counter that went back carries
    // nothing.
    const auto step = static_cast<std::int32_t>(value - run.value);
    const std::uint64_t forward = run.started && step > 0 ? static_cast<std::uint64_t>(step) : 0;
    run.moved = run.moved || run.started;
    run.started = true;
    run.value = value;
    run.since = now;
    run.latest = now;
    run.otherAdvance = 0;
    return forward;
}

bool StuckCounterWatch::stuck(const Run& run) {
    return run.started && run.latest - run.since >= stuckAfter &&
           (isStuckValue(run.value) || run.otherAdvance >= otherCounterTraffic);
}

bool StuckCounterWatch::observe(const MonitorSnapshot& snapshot, std::int64_t now) {
    const std::uint64_t receivedStep =
        read(received_, snapshot.receivedReadings, snapshot.totalBytesReceived, now);
    const std::uint64_t sentStep = read(sent_, snapshot.sentReadings, snapshot.totalBytesSent, now);
    received_.otherAdvance += sentStep;
    sent_.otherAdvance += receivedStep;

    if (hint_ && received_.moved && sent_.moved) {
        hint_ = false;
    }
    if (!hint_ && (stuck(received_) || stuck(sent_))) {
        hint_ = true;
        received_.moved = false;
        sent_.moved = false;
    }
    return hint_;
}

} // namespace kestrum
