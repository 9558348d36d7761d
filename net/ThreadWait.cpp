#include "net/ThreadWait.h"

#include <chrono>
#include <thread>

namespace kestrum {

namespace {

thread_local ThreadWait* installedWait = nullptr;

} // namespace

void installThreadWait(ThreadWait* wait) {
    installedWait = wait;
}

bool sleepOnThisThread(std::int64_t milliseconds) {
    const auto wait = static_cast<std::uint32_t>(milliseconds & 0xFFFFFFFF);
    if (installedWait == nullptr) {
        sleepPlainly(wait);
        return false;
    }
    return installedWait->sleep(wait);
}

bool stopRequestedOnThisThread() {
    return installedWait != nullptr && installedWait->stopRequested();
}

void sleepPlainly(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace kestrum
