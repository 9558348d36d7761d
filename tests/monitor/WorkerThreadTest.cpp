#include "monitor/WorkerThread.h"

#include "tests/support/allocation/AllocationFailure.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <sys/resource.h>
#endif

namespace kestrum::test {
namespace {

using State = WorkerThread::State;
using Clock = std::chrono::steady_clock;

std::int64_t elapsedSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class TestWorker : public WorkerThread {
public:
    explicit TestWorker(std::function<void(TestWorker&)> body) : body_(std::move(body)) {}

protected:
    bool run() override {
        body_(*this);
        return false;
    }

private:
    std::function<void(TestWorker&)> body_;
};

// Polls in small steps; gives up after 10 s so a broken life cycle fails instead of hanging.
bool reaches(const WorkerThread& worker, State state) {
    const auto start = Clock::now();
    while (worker.state() != state) {
        if (elapsedSince(start) > 10000)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void loopUntilStopped(TestWorker& self) {
    while (!self.stopRequested())
        WorkerThread::sleep(5);
}

TEST(WorkerThreadTest, GoesFromCreatedThroughReadyAndRunningToFinished) {
    std::atomic<bool> release{false};
    TestWorker worker([&](TestWorker&) {
        while (!release)
            WorkerThread::sleep(1);
    });
    EXPECT_EQ(State::Created, worker.state());
    EXPECT_EQ(0, worker.priority());
    EXPECT_FALSE(worker.stopRequested());
    worker.initialize();
    EXPECT_EQ(State::Ready, worker.state());
    worker.start();
    EXPECT_NE(State::Ready, worker.state());
    EXPECT_NE(State::Finished, worker.state());
    release = true;
    EXPECT_TRUE(reaches(worker, State::Finished));
    // Destroyed while Finished without a stop request: the destructor waits for the thread.
}

TEST(WorkerThreadTest, SleepOutsideAWorkerIsAPlainSleepThatLeavesWorkersAlone) {
    TestWorker busy([](TestWorker& self) {
        while (!self.stopRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    busy.initialize();
    busy.start();
    auto start = Clock::now();
    EXPECT_FALSE(WorkerThread::sleep(50));
    EXPECT_GE(elapsedSince(start), 40);

    std::atomic<bool> done{false};
    bool result = true;
    std::thread other([&] {
        result = WorkerThread::sleep(300);
        done = true;
    });
    bool touched = false;
    while (!done) {
        touched = touched || busy.state() != State::Running;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    other.join();
    busy.requestStop(true);
    EXPECT_FALSE(result);
    EXPECT_FALSE(touched) << "a sleep on a plain thread changed a worker's state";
}

TEST(WorkerThreadTest, AFullSleepReturnsFalseAndLeavesTheWorkerRunning) {
    std::atomic<bool> sleepResult{true};
    std::atomic<State> afterSleep{State::Created};
    std::atomic<bool> proceed{false};
    TestWorker worker([&](TestWorker& self) {
        sleepResult = WorkerThread::sleep(1000);
        afterSleep = self.state();
        while (!proceed)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    worker.initialize();
    worker.start();
    EXPECT_TRUE(reaches(worker, State::Sleeping));
    EXPECT_TRUE(reaches(worker, State::Running));
    proceed = true;
    worker.requestStop(true);
    EXPECT_FALSE(sleepResult);
    EXPECT_EQ(State::Running, afterSleep);
    EXPECT_EQ(State::Finished, worker.state());
}

TEST(WorkerThreadTest, StopWithoutWaitReturnsAtOnceAndTheWorkerEndsAtItsNextCheck) {
    std::atomic<bool> holding{true};
    TestWorker worker([&](TestWorker& self) {
        while (holding)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        loopUntilStopped(self);
    });
    worker.initialize();
    worker.start();
    worker.requestStop(false);
    EXPECT_TRUE(worker.stopRequested());
    // The body has not reached a check of the flag yet, so it is still going.
    EXPECT_NE(State::Finished, worker.state());
    holding = false;
    EXPECT_TRUE(reaches(worker, State::Finished));
    worker.requestStop(true);
}

TEST(WorkerThreadTest, StopWakesASleepInProgressAndNoLaterSleepWaits) {
    std::atomic<bool> sleeping{false};
    std::atomic<bool> firstEarly{false};
    std::atomic<bool> laterEarly{false};
    TestWorker worker([&](TestWorker&) {
        sleeping = true;
        firstEarly = WorkerThread::sleep(60000);
        // The wake went to the first sleep; the stop still cuts every later one short.
        laterEarly = WorkerThread::sleep(60000) && WorkerThread::sleep(60000);
    });
    worker.initialize();
    worker.start();
    while (!sleeping)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(reaches(worker, State::Sleeping));
    const auto start = Clock::now();
    worker.requestStop(true);
    EXPECT_LT(elapsedSince(start), 30000);
    EXPECT_TRUE(firstEarly);
    EXPECT_TRUE(laterEarly);
    EXPECT_EQ(State::Finished, worker.state());
}

TEST(WorkerThreadTest, ThreadStopExceptionEndsTheBodyQuietly) {
    TestWorker worker([](TestWorker& self) {
        for (;;) {
            WorkerThread::sleep(5);
            if (self.stopRequested())
                throw ThreadStopException();
        }
    });
    worker.initialize();
    worker.start();
    worker.requestStop(true);
    EXPECT_EQ(State::Finished, worker.state());
}

TEST(WorkerThreadTest, AWorkerStoppingItselfDoesNotWaitForItself) {
    TestWorker worker([](TestWorker& self) { self.requestStop(true); });
    worker.initialize();
    worker.start();
    EXPECT_TRUE(reaches(worker, State::Finished));
    EXPECT_TRUE(worker.stopRequested());
}

// Whether the calling thread runs at the lowest priority the platform gives it: never above the
// thread that started it, and below it wherever that can be expressed (not under nice 19).
bool runsLowered(int ownerNice) {
#ifdef _WIN32
    (void)ownerNice;
    return ::GetThreadPriority(::GetCurrentThread()) == THREAD_PRIORITY_LOWEST;
#else
    errno = 0;
    int nice = ::getpriority(PRIO_PROCESS, 0); // Linux: the calling thread's own value
    return errno == 0 && (nice > ownerNice || nice == 19);
#endif
}

TEST(WorkerThreadTest, PriorityIsClampedStoredWhileReadyAndAppliedByStart) {
    std::atomic<bool> lowered{false};
#ifdef _WIN32
    const int ownerNice = 0;
#else
    const int ownerNice = ::getpriority(PRIO_PROCESS, 0);
#endif
    TestWorker worker([&](TestWorker&) { lowered = runsLowered(ownerNice); });
    worker.setPriority(5);
    EXPECT_EQ(2, worker.priority());
    worker.setPriority(-7);
    EXPECT_EQ(-2, worker.priority());
    worker.initialize();
    worker.setPriority(-9);
    EXPECT_EQ(-2, worker.priority());
    worker.start();
    worker.requestStop(true);
    EXPECT_TRUE(lowered);
    worker.setPriority(1); // Finished: stored only
    EXPECT_EQ(1, worker.priority());
}

TEST(WorkerThreadTest, StartNeedsAnInitializedWorkerAndRunsOnce) {
    std::atomic<int> runs{0};
    TestWorker worker([&](TestWorker&) { ++runs; });
    EXPECT_THROW(worker.start(), ThreadCreateException);
    EXPECT_EQ(State::Created, worker.state());
    worker.initialize();
    worker.initialize(); // a second call changes nothing
    worker.start();
    EXPECT_THROW(worker.start(), ThreadCreateException);
    worker.requestStop(true);
    EXPECT_THROW(worker.start(), ThreadCreateException);
    EXPECT_EQ(1, runs);
}

TEST(WorkerThreadTest, DestroysCleanlyInEveryStateAnOwnerMayLeaveItIn) {
    bool ran = false;
    auto body = [&](TestWorker&) { ran = true; };
    { TestWorker neverInitialized(body); }
    {
        TestWorker neverStarted(body);
        neverStarted.initialize();
        neverStarted.requestStop(true); // nothing to wait for
        EXPECT_EQ(State::Ready, neverStarted.state());
    }
    EXPECT_FALSE(ran);
    {
        TestWorker finished(body);
        finished.initialize();
        finished.start();
        finished.requestStop(true);
        finished.requestStop(true); // waiting twice is harmless
    }
    EXPECT_TRUE(ran);
}

// Whatever leaves a body ends that worker's thread only, never the process.
TEST(WorkerThreadTest, AnyFailureLeavingTheBodyEndsTheThreadCleanly) {
    const std::function<void(TestWorker&)> bodies[] = {
        [](TestWorker&) { throw SocketException(); },
        [](TestWorker&) { throw std::bad_alloc(); },
        [](TestWorker&) { throw std::runtime_error("foreign"); },
        [](TestWorker&) { throw 7; },
    };
    for (const auto& body : bodies) {
        TestWorker worker(body);
        worker.initialize();
        worker.start();
        worker.requestStop(true);
        EXPECT_EQ(State::Finished, worker.state());
    }
}

// The monitor creates its pollers on its own thread: running out of memory there must reach its
// handlers, not end the process.
TEST(WorkerThreadTest, AllocationFailureInTheLifeCycleIsAnException) {
    const std::function<void(TestWorker&)> body = [](TestWorker&) {};
    EXPECT_GT(expectAllocationFailuresAsExceptions([&] {
                  TestWorker worker(body);
                  worker.initialize();
                  worker.start();
                  worker.requestStop(true);
              }),
              0);
}

TEST(WorkerThreadTest, EachWorkerSleepsOnItsOwnState) {
    TestWorker first(loopUntilStopped);
    TestWorker second([](TestWorker& self) {
        WorkerThread::sleep(1500);
        loopUntilStopped(self);
    });
    first.initialize();
    second.initialize();
    first.start();
    second.start();
    ASSERT_TRUE(reaches(second, State::Sleeping));
    first.requestStop(true);
    EXPECT_EQ(State::Finished, first.state());
    EXPECT_EQ(State::Sleeping, second.state());
    second.requestStop(true);
    EXPECT_EQ(State::Finished, second.state());
}

} // namespace
} // namespace kestrum::test
