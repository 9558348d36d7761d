#pragma once

namespace kestrum {

// How the monitor wakes the user-interface thread to re-read it. Posting must never wait for
// the receiver, and notifications arrive in posting order. The Windows shell posts a window
// message to its monitor window; tests and tools use an UpdateQueue.
class UpdateNotifier {
public:
    UpdateNotifier() = default;
    UpdateNotifier(const UpdateNotifier&) = delete;
    UpdateNotifier& operator=(const UpdateNotifier&) = delete;
    virtual ~UpdateNotifier() = default;

    virtual void postUpdate() = 0;
};

} // namespace kestrum
