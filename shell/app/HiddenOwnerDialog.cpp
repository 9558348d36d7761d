#include "shell/app/HiddenOwnerDialog.h"

#include "shell/app/MonitorApp.h"
#include "shell/app/ResourceIds.h"

namespace kestrum {

CHiddenOwnerDialog::CHiddenOwnerDialog(CMonitorApp& application)
    : CDialog(IDD_HIDDEN_OWNER), application_(application) {}

bool CHiddenOwnerDialog::onInitDialog() {
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APPLICATION_ICON));
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    return true;
}

bool CHiddenOwnerDialog::onMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
    case WM_QUERYENDSESSION:
        // Nothing is stored, so nothing can be lost: the session may always end.
        result = TRUE;
        return true;
    case WM_ENDSESSION:
        // Once this returns the process may be ended at any moment: the icon and the monitor
        // go now. False: the session goes on after all.
        if (wParam != FALSE) {
            application_.exit();
        }
        return true;
    case WM_CLOSE:
        application_.exit();
        return true;
    default:
        return false;
    }
}

} // namespace kestrum
