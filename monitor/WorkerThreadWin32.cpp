#include "monitor/WorkerThreadPlatform.h"

#include <new>
#include <windows.h>

namespace kestrum::threadPlatform {

struct Lock {
    CRITICAL_SECTION section;
};

struct Event {
    HANDLE handle;
};

struct Thread {
    HANDLE handle = nullptr;
    DWORD id = 0;
    void (*entry)(WorkerThread*) = nullptr;
    WorkerThread* worker = nullptr;
};

namespace {

DWORD WINAPI threadMain(LPVOID argument) {
    const Thread* thread = static_cast<const Thread*>(argument);
    thread->entry(thread->worker);
    return 0;
}

} // namespace

Lock* createLock() {
    auto* lock = new (std::nothrow) Lock;
    if (lock != nullptr) {
        ::InitializeCriticalSection(&lock->section);
    }
    return lock;
}

void destroyLock(Lock* lock) {
    ::DeleteCriticalSection(&lock->section);
    delete lock;
}

void acquire(Lock* lock) {
    ::EnterCriticalSection(&lock->section);
}

void release(Lock* lock) {
    ::LeaveCriticalSection(&lock->section);
}

Event* createEvent() {
    HANDLE handle = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto* event = handle == nullptr ? nullptr : new (std::nothrow) Event{handle};
    if (event == nullptr && handle != nullptr) {
        ::CloseHandle(handle);
    }
    return event;
}

void destroyEvent(Event* event) {
    ::CloseHandle(event->handle);
    delete event;
}

bool waitEvent(Event* event, std::uint32_t milliseconds) {
    return ::WaitForSingleObject(event->handle, milliseconds) == WAIT_OBJECT_0;
}

void signalEvent(Event* event) {
    ::SetEvent(event->handle);
}

Thread* createSuspendedThread(unsigned stackSize, void (*entry)(WorkerThread*),
                              WorkerThread* worker, std::uint32_t& threadId) {
    auto* thread = new (std::nothrow) Thread;
    if (thread == nullptr) {
        return nullptr;
    }
    thread->entry = entry;
    thread->worker = worker;
    thread->handle =
        ::CreateThread(nullptr, stackSize, threadMain, thread, CREATE_SUSPENDED, &thread->id);
    if (thread->handle == nullptr) {
        delete thread;
        return nullptr;
    }
    threadId = thread->id;
    return thread;
}

void setThreadPriority(Thread* thread, int priority) {
    // -2 ... 2 are THREAD_PRIORITY_LOWEST ... THREAD_PRIORITY_HIGHEST.
    ::SetThreadPriority(thread->handle, priority);
}

void resumeThread(Thread* thread) {
    ::ResumeThread(thread->handle);
}

void waitThread(Thread* thread) {
    ::WaitForSingleObject(thread->handle, INFINITE);
}

bool isCurrentThread(const Thread* thread) {
    return ::GetCurrentThreadId() == thread->id;
}

void closeThread(Thread* thread) {
    ::CloseHandle(thread->handle);
    delete thread;
}

} // namespace kestrum::threadPlatform
