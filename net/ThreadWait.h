#pragma once

#include <cstdint>

namespace kestrum {

// How code below the worker runtime waits and notices a stop. A thread runtime installs its own
// ThreadWait on each of its threads; any other thread sleeps plainly and is never asked to stop.
class ThreadWait {
public:
    // True when the wait ended early.
    virtual bool sleep(std::uint32_t milliseconds) = 0;
    virtual bool stopRequested() = 0;

protected:
    ~ThreadWait() = default;
};

// For the calling thread only; null goes back to the plain behaviour.
void installThreadWait(ThreadWait* wait);

// The low 32 bits of the count are the wait time. True when the wait ended early.
bool sleepOnThisThread(std::int64_t milliseconds);
bool stopRequestedOnThisThread();
void sleepPlainly(std::uint32_t milliseconds);

} // namespace kestrum
