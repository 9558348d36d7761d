#pragma once

#include <windows.h>

namespace kestrum::test {

// Counts the messages of one kind that reach a window (WM_PAINT: its repaints), through a window
// procedure put in front of the window's own for as long as the counter lives.
class MessageCounter {
public:
    MessageCounter(HWND window, UINT message);
    ~MessageCounter();
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;

    int count() const { return count_; }
    void reset() { count_ = 0; }

private:
    static LRESULT CALLBACK counting(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_;
    UINT message_;
    WNDPROC previous_ = nullptr;
    int count_ = 0;
};

} // namespace kestrum::test
