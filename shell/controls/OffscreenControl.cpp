#include "shell/controls/OffscreenControl.h"

#include "shell/framework/OffscreenDC.h"

namespace kestrum {

void COffscreenControl::redraw() {
    if (hwnd() == nullptr) {
        return;
    }
    InvalidateRect(hwnd(), nullptr, TRUE);
    UpdateWindow(hwnd());
}

LRESULT COffscreenControl::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        RECT client{};
        GetClientRect(hwnd(), &client);
        PAINTSTRUCT paint{};
        HDC target = BeginPaint(hwnd(), &paint);
        {
            COffscreenDC offscreen(target, &client, true);
            draw(offscreen.dc(), target, client);
        }
        EndPaint(hwnd(), &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the paint covers everything
    default:
        return defaultProc(message, wParam, lParam);
    }
}

} // namespace kestrum
