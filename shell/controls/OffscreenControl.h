#pragma once

#include "shell/framework/SubclassedWindow.h"

namespace kestrum {

// A control that composes its whole client area in an off-screen bitmap and copies it to the
// screen in one step; it never erases separately, so it does not flicker.
class COffscreenControl : public CSubclassedWindow {
public:
    // Repaints at once; nothing before a window is attached.
    void redraw();

protected:
    // Draws the whole client rectangle on dc, the off-screen context; target is the paint
    // context, for a control that starts from what is on the screen under it.
    virtual void draw(HDC dc, HDC target, const RECT& client) = 0;
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

} // namespace kestrum
