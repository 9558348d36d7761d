#include "monitor/WorkerThreadPlatform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kestrum::threadPlatform {

struct Lock {
    std::recursive_mutex mutex;
};

struct Event {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
};

namespace {

// What the new thread and its creator share; the thread keeps its own reference, so a detached
// thread never outlives it.
struct Launch {
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    pid_t systemId = 0;
    int baseNice = 0;
    void (*entry)(WorkerThread*) = nullptr;
    WorkerThread* worker = nullptr;
};

void* threadMain(void* argument) {
    std::unique_ptr<std::shared_ptr<Launch>> handed(
        static_cast<std::shared_ptr<Launch>*>(argument));
    std::shared_ptr<Launch> launch = *handed;
    handed.reset();
    {
        std::unique_lock<std::mutex> locked(launch->mutex);
        launch->systemId = ::gettid();
        errno = 0;
        int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(launch->systemId));
        launch->baseNice = errno == 0 ? nice : 0;
        launch->changed.notify_all();
        launch->changed.wait(locked, [&] { return launch->released; });
    }
    launch->entry(launch->worker);
    return nullptr;
}

} // namespace

struct Thread {
    pthread_t id{};
    std::shared_ptr<Launch> launch;
    std::mutex joinMutex;
    bool joined = false;
};

Lock* createLock() {
    return new (std::nothrow) Lock;
}

void destroyLock(Lock* lock) {
    delete lock;
}

void acquire(Lock* lock) {
    lock->mutex.lock();
}

void release(Lock* lock) {
    lock->mutex.unlock();
}

Event* createEvent() {
    return new (std::nothrow) Event;
}

void destroyEvent(Event* event) {
    delete event;
}

bool waitEvent(Event* event, std::uint32_t milliseconds) {
    std::unique_lock<std::mutex> locked(event->mutex);
    auto signalled = [&] { return event->signalled; };
    if (milliseconds == infinite) {
        event->changed.wait(locked, signalled);
    } else {
        event->changed.wait_for(locked, std::chrono::milliseconds(milliseconds), signalled);
    }
    bool result = event->signalled;
    event->signalled = false;
    return result;
}

void signalEvent(Event* event) {
    std::lock_guard<std::mutex> locked(event->mutex);
    event->signalled = true;
    event->changed.notify_all();
}

Thread* createSuspendedThread(unsigned stackSize, void (*entry)(WorkerThread*),
                              WorkerThread* worker, std::uint32_t& threadId) try {
    auto thread = std::make_unique<Thread>();
    thread->launch = std::make_shared<Launch>();
    thread->launch->entry = entry;
    thread->launch->worker = worker;

    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) {
        return nullptr;
    }
    bool ready = stackSize == 0 || ::pthread_attr_setstacksize(&attributes, stackSize) == 0;
    auto handed = std::make_unique<std::shared_ptr<Launch>>(thread->launch);
    ready = ready && ::pthread_create(&thread->id, &attributes, threadMain, handed.get()) == 0;
    ::pthread_attr_destroy(&attributes);
    if (!ready) {
        return nullptr;
    }
    handed.release(); // the thread owns it now

    // The thread is parked at its gate once its system id is known.
    std::unique_lock<std::mutex> locked(thread->launch->mutex);
    thread->launch->changed.wait(locked, [&] { return thread->launch->systemId != 0; });
    threadId = static_cast<std::uint32_t>(thread->launch->systemId);
    locked.unlock();
    return thread.release();
} catch (const std::bad_alloc&) {
    return nullptr;
}

void setThreadPriority(Thread* thread, int priority) {
    // Linux keeps a nice value per thread; raising it back needs privileges, and a refusal
    // leaves the thread as it is.
    std::lock_guard<std::mutex> locked(thread->launch->mutex);
    int nice = std::clamp(thread->launch->baseNice - 5 * priority, -20, 19);
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread->launch->systemId), nice);
}

void resumeThread(Thread* thread) {
    std::lock_guard<std::mutex> locked(thread->launch->mutex);
    thread->launch->released = true;
    thread->launch->changed.notify_all();
}

void waitThread(Thread* thread) {
    std::lock_guard<std::mutex> locked(thread->joinMutex);
    if (!thread->joined) {
        ::pthread_join(thread->id, nullptr);
        thread->joined = true;
    }
}

bool isCurrentThread(const Thread* thread) {
    return ::pthread_equal(thread->id, ::pthread_self());
}

void closeThread(Thread* thread) {
    {
        std::lock_guard<std::mutex> locked(thread->joinMutex);
        if (!thread->joined) {
            ::pthread_detach(thread->id);
        }
    }
    delete thread;
}

} // namespace kestrum::threadPlatform
