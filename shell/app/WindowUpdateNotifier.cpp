#include "shell/app/WindowUpdateNotifier.h"

namespace kestrum {

void WindowUpdateNotifier::postUpdate() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (window_ == nullptr) {
        pending_ = true;
        return;
    }
    PostMessageW(window_, WM_MONITOR_UPDATE, 0, 0);
}

void WindowUpdateNotifier::setWindow(HWND window) {
    std::lock_guard<std::mutex> lock(mutex_);
    window_ = window;
    if (window_ != nullptr && pending_) {
        pending_ = false;
        PostMessageW(window_, WM_MONITOR_UPDATE, 0, 0);
    }
}

} // namespace kestrum
