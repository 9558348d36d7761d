#pragma once

#include "net/Exception.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace kestrum {

// The base of every background thread: one OS thread run once, a lock, a stop flag and a wake
// event. Stopping is cooperative: loops check stopRequested and return or throw
// ThreadStopException, which the entry routine absorbs.
class WorkerThread {
public:
    enum class State { Created = 0, Ready = 1, Running = 2, Finished = 4, Sleeping = 6 };

    WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // Owners stop the thread (requestStop with wait) before destroying a started worker.
    virtual ~WorkerThread();

    void initialize();
    void start();
    // Wakes a sleep in progress, and no later sleep waits: a worker asked to stop goes on to
    // its next check of the flag at once.
    void requestStop(bool wait);
    // Clamped to -2 ... 2; applied to the OS thread unless Ready or Finished.
    void setPriority(int priority);

    // Waits on the calling worker's wake event, or sleeps plainly on any other thread; true when
    // the wait ended early, as it does at once on a worker asked to stop. Code below monitor/
    // reaches it through sleepOnThisThread.
    static bool sleep(std::int64_t milliseconds);

    State state() const;
    int priority() const;
    bool stopRequested() const { return stopRequested_.load(); }

protected:
    virtual bool run() = 0;

private:
    struct Platform;
    static void entry(WorkerThread* worker);

    std::unique_ptr<Platform> platform_;
    std::atomic<bool> stopRequested_{false};
    int priority_ = 0;
    State state_ = State::Created;
    unsigned stackSize_ = 0;
};

} // namespace kestrum
