#pragma once

#include <windows.h>

namespace kestrum {

// A tooltip control with one tool (ID 1) over the client rectangle of one window.
class CTooltip {
public:
    CTooltip() = default;
    ~CTooltip() { destroy(); }
    CTooltip(const CTooltip&) = delete;
    CTooltip& operator=(const CTooltip&) = delete;

    // `style` adds to the tooltip's window style (for example TTS_BALLOON).
    bool create(HWND window, DWORD style, const char* text, bool active);
    bool exists() const { return tooltip_ != nullptr; }
    void setText(const char* text);
    void activate(bool active);
    // Follows a change of the window's size.
    void fitTool();
    // Lets the tooltip see a message queued for the window (mouse movement above all); messages
    // for other windows are ignored.
    void relay(const MSG& message);
    void destroy();

private:
    HWND tooltip_ = nullptr;
    HWND window_ = nullptr;
};

} // namespace kestrum
