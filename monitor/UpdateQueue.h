#pragma once

#include "monitor/UpdateNotifier.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kestrum {

// A portable stand-in for a thread's message queue. Updates carry no data, so the queue is only
// a count of posted and not yet taken notifications.
class UpdateQueue : public UpdateNotifier {
public:
    void postUpdate() override;

    // Takes one posted update; false when none arrived within the wait.
    bool take(int waitMilliseconds);
    std::uint64_t pending() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::uint64_t pending_ = 0;
};

} // namespace kestrum
