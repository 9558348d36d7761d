#pragma once

#include "monitor/UpdateNotifier.h"
#include "shell/app/AppMessages.h"

#include <mutex>
#include <windows.h>

namespace kestrum {

// Posts WM_MONITOR_UPDATE to the monitor window. A window message survives the modal loops of
// message boxes and menus, which drop thread messages. The monitor starts before the window
// exists: an update posted before then is delivered when the window is set.
class WindowUpdateNotifier : public UpdateNotifier {
public:
    void postUpdate() override;
    // Null stops delivery again (the window is going away).
    void setWindow(HWND window);

private:
    std::mutex mutex_;
    HWND window_ = nullptr;
    bool pending_ = false;
};

} // namespace kestrum
