#pragma once

namespace kestrum {

// The thread message that tells the user-interface thread to re-read the monitor (both
// parameters 0): the first application message number plus one.
constexpr unsigned WM_MONITOR_UPDATE = 0x8001;

// How the monitor wakes the user-interface thread. Posting must never wait for the receiver,
// and notifications arrive in posting order. The Windows shell posts WM_MONITOR_UPDATE to its
// thread; tests and tools use an UpdateQueue.
class UpdateNotifier {
public:
    UpdateNotifier() = default;
    UpdateNotifier(const UpdateNotifier&) = delete;
    UpdateNotifier& operator=(const UpdateNotifier&) = delete;
    virtual ~UpdateNotifier() = default;

    virtual void postUpdate() = 0;
};

} // namespace kestrum
