#include "monitor/WorkerThread.h"

#include "monitor/WorkerThreadPlatform.h"
#include "net/Allocation.h"
#include "net/ThreadWait.h"

#include <algorithm>

namespace kestrum {

namespace tp = threadPlatform;

struct WorkerThread::Platform {
    tp::Lock* lock = tp::createLock();
    tp::Event* wake = nullptr;
    tp::Thread* thread = nullptr;
    std::uint32_t threadId = 0;
};

namespace {

// Set on a worker's own thread only; null everywhere else.
thread_local WorkerThread* currentWorker = nullptr;

// Lets the code below the worker runtime wait and notice a stop as the worker's own loop does.
class WorkerWait final : public ThreadWait {
public:
    bool sleep(std::uint32_t milliseconds) override { return WorkerThread::sleep(milliseconds); }
    bool stopRequested() override { return currentWorker->stopRequested(); }
};

class Locked {
public:
    explicit Locked(tp::Lock* lock) : lock_(lock) { tp::acquire(lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    ~Locked() { tp::release(lock_); }

private:
    tp::Lock* lock_;
};

} // namespace

WorkerThread::WorkerThread() : platform_(makeOwned<Platform>()) {
    if (platform_->lock == nullptr) {
        throw MemoryException();
    }
}

WorkerThread::~WorkerThread() {
    {
        Locked locked(platform_->lock);
        if (state_ != State::Created) {
            if (platform_->thread != nullptr) {
                // The entry routine has taken the lock for the last time once the state is
                // Finished, so waiting here while holding it cannot deadlock.
                if (state_ == State::Finished && !tp::isCurrentThread(platform_->thread)) {
                    tp::waitThread(platform_->thread);
                }
                tp::closeThread(platform_->thread);
            }
            tp::destroyEvent(platform_->wake);
        }
    }
    tp::destroyLock(platform_->lock);
}

void WorkerThread::initialize() {
    Locked locked(platform_->lock);
    if (state_ != State::Created) {
        return;
    }
    platform_->wake = tp::createEvent();
    if (platform_->wake == nullptr) {
        throw ThreadCreateException();
    }
    state_ = State::Ready;
}

void WorkerThread::start() {
    tp::Thread* thread = nullptr;
    {
        Locked locked(platform_->lock);
        // A worker runs its thread once, and only after initialize.
        if (state_ != State::Ready) {
            throw ThreadCreateException();
        }
        thread =
            tp::createSuspendedThread(stackSize_, &WorkerThread::entry, this, platform_->threadId);
        if (thread == nullptr) {
            throw ThreadCreateException();
        }
        platform_->thread = thread;
        state_ = State::Running;
        setPriority(priority_);
    }
    tp::resumeThread(thread);
}

void WorkerThread::requestStop(bool wait) {
    tp::Thread* thread = nullptr;
    {
        Locked locked(platform_->lock);
        stopRequested_ = true;
        thread = platform_->thread;
        if (platform_->wake != nullptr) {
            tp::signalEvent(platform_->wake);
        }
    }
    // A worker asking itself to stop cannot wait for its own end.
    if (wait && thread != nullptr && !tp::isCurrentThread(thread)) {
        tp::waitThread(thread);
    }
}

void WorkerThread::setPriority(int priority) {
    Locked locked(platform_->lock);
    priority_ = std::clamp(priority, -2, 2);
    if ((state_ == State::Running || state_ == State::Sleeping) && platform_->thread != nullptr) {
        tp::setThreadPriority(platform_->thread, priority_);
    }
}

bool WorkerThread::sleep(std::int64_t milliseconds) {
    const auto wait = static_cast<std::uint32_t>(milliseconds & 0xFFFFFFFF);
    WorkerThread* worker = currentWorker;
    if (worker == nullptr) {
        sleepPlainly(wait);
        return false;
    }
    Platform& platform = *worker->platform_;
    {
        Locked locked(platform.lock);
        // The wake of a stop may have been taken by an earlier sleep: the flag outlasts it.
        if (worker->stopRequested()) {
            return true;
        }
        worker->state_ = State::Sleeping;
    }
    // Only a stop signals the event, and the flag above honours a stop at every later sleep:
    // the event needs no reset, which would cost a system call per sleep.
    bool early = tp::waitEvent(platform.wake, wait);
    Locked locked(platform.lock);
    worker->state_ = State::Running;
    return early;
}

WorkerThread::State WorkerThread::state() const {
    Locked locked(platform_->lock);
    return state_;
}

int WorkerThread::priority() const {
    Locked locked(platform_->lock);
    return priority_;
}

void WorkerThread::entry(WorkerThread* worker) {
    currentWorker = worker;
    WorkerWait wait;
    installThreadWait(&wait);
    try {
        worker->run();
    } catch (const ThreadStopException&) {
        // A stop noticed deep inside the body ends it like a return.
    } catch (...) {
        // The last resort: a failure no handler of the body took must end this thread only,
        // never the process.
    }
    installThreadWait(nullptr);
    Locked locked(worker->platform_->lock);
    worker->state_ = State::Finished;
}

} // namespace kestrum
