#include "monitor/UpdateQueue.h"

#include <chrono>

namespace kestrum {

void UpdateQueue::postUpdate() {
    {
        std::lock_guard lock(mutex_);
        ++pending_;
    }
    posted_.notify_one();
}

bool UpdateQueue::take(int waitMilliseconds) {
    std::unique_lock lock(mutex_);
    if (!posted_.wait_for(lock, std::chrono::milliseconds(waitMilliseconds),
                          [this] { return pending_ > 0; })) {
        return false;
    }
    --pending_;
    return true;
}

std::uint64_t UpdateQueue::pending() const {
    std::lock_guard lock(mutex_);
    return pending_;
}

} // namespace kestrum
