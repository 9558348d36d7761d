#include "shell/app/HiddenOwnerDialog.h"

#include "shell/app/AppMessages.h"
#include "shell/app/MonitorApp.h"
#include "shell/app/ResourceIds.h"

namespace kestrum {

namespace {

// The template names this class: a dialog's own one, registered once per process.
void registerClass() {
    static const ATOM registered = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefDlgProcW;
        windowClass.cbWndExtra = DLGWINDOWEXTRA;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor =
            static_cast<HCURSOR>(LoadImageW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW),
                                            IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
        windowClass.lpszClassName = L"" MAIN_WINDOW_CLASS;
        return RegisterClassW(&windowClass);
    }();
    (void)registered;
}

} // namespace

CHiddenOwnerDialog::CHiddenOwnerDialog(CMonitorApp& application)
    : CDialog(IDD_HIDDEN_OWNER), application_(application) {
    registerClass();
}

bool CHiddenOwnerDialog::onInitDialog() {
    SetWindowTextW(hwnd(), application_.instanceName().c_str());
    // A later start may run without the rights of an elevated first one.
    ChangeWindowMessageFilterEx(hwnd(), WM_OPEN_REQUEST, MSGFLT_ALLOW, nullptr);
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
    case WM_OPEN_REQUEST:
        result = application_.openWindow() ? TRUE : FALSE;
        return true;
    default:
        return false;
    }
}

} // namespace kestrum
