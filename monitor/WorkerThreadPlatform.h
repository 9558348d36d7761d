#pragma once

// The operating system's side of WorkerThread: locks, events and suspended threads, implemented
// by WorkerThreadPosix.cpp and WorkerThreadWin32.cpp. Creation reports failure with null.

#include <cstdint>

namespace kestrum {
class WorkerThread;
}

namespace kestrum::threadPlatform {

// A wait of this many milliseconds has no limit.
constexpr std::uint32_t infinite = 0xFFFFFFFF;

// Recursive, like a critical section.
struct Lock;
Lock* createLock();
void destroyLock(Lock* lock);
void acquire(Lock* lock);
void release(Lock* lock);

// Auto-reset, created not signalled.
struct Event;
Event* createEvent();
void destroyEvent(Event* event);
// True when the event was signalled before the time ran out.
bool waitEvent(Event* event, std::uint32_t milliseconds);
void signalEvent(Event* event);

// A thread that does not run until resumed, then calls entry(worker) once.
struct Thread;
Thread* createSuspendedThread(unsigned stackSize, void (*entry)(WorkerThread*),
                              WorkerThread* worker, std::uint32_t& threadId);
// -2 lowest ... 2 highest; applied as far as the platform lets this process. Windows has the five
// levels. POSIX threads have none for ordinary processes, so a level is the thread's nice value:
// 5 steps per level from the value it started with, within -20 ... 19. A thread already at 19
// cannot go lower, and going above its start needs privileges; either request leaves the
// thread as it is.
void setThreadPriority(Thread* thread, int priority);
void resumeThread(Thread* thread);
// Returns when the thread has exited; may be called more than once.
void waitThread(Thread* thread);
bool isCurrentThread(const Thread* thread);
// Frees the handle; a thread still running goes on without it.
void closeThread(Thread* thread);

} // namespace kestrum::threadPlatform
