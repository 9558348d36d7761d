#pragma once

// What the programs that watch kestrum.exe from its own Wine session share: finding its window,
// the Unix clock the scripts compare with, and a bounded wait.

#include <windows.h>

namespace kestrum::sandbox {

inline HWND findMonitorWindow() {
    return FindWindowW(L"#32770", L"Kestrum");
}

inline long long unixMilliseconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<long long>(ticks / 10000 - 11644473600000ULL);
}

// Polls every 100 ms for at most seconds; true as soon as ready() holds.
template <typename Ready> bool waitFor(int seconds, Ready ready) {
    for (int i = 0; i < seconds * 10; ++i) {
        if (ready()) {
            return true;
        }
        Sleep(100);
    }
    return ready();
}

} // namespace kestrum::sandbox
