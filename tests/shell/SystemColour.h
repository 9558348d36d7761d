#pragma once

#include <windows.h>

namespace kestrum::test {

// One system colour changed for the life of the object; the colour the system had comes back
// after it. The change reaches every window as the system announces it (WM_SYSCOLORCHANGE).
class SystemColour {
public:
    SystemColour(int index, COLORREF colour) : index_(index), saved_(GetSysColor(index)) {
        SetSysColors(1, &index_, &colour);
    }
    ~SystemColour() { SetSysColors(1, &index_, &saved_); }
    SystemColour(const SystemColour&) = delete;
    SystemColour& operator=(const SystemColour&) = delete;

private:
    int index_;
    COLORREF saved_;
};

} // namespace kestrum::test
