#include "shell/framework/Dialog.h"

#include "shell/framework/Application.h"
#include "shell/framework/SubclassedWindow.h"

namespace kestrum {

CDialog::CDialog(int templateId) : templateId_(templateId) {}

CDialog::~CDialog() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
}

bool CDialog::create(HWND owner) {
    CApplication* application = CApplication::current();
    if (owner == nullptr && application != nullptr && application->mainWindow() != nullptr &&
        application->mainWindow() != this) {
        owner = application->mainWindow()->hwnd();
    }
    // The procedure stores this object on WM_INITDIALOG, before any control notification.
    CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, dialogProc,
                       reinterpret_cast<LPARAM>(this));
    return hwnd_ != nullptr;
}

CDialog* CDialog::fromHandle(HWND window) {
    return reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
}

bool CDialog::onMessage(UINT, WPARAM, LPARAM, INT_PTR&) {
    return false;
}

bool CDialog::onCommand(int, int) {
    return false;
}

INT_PTR CALLBACK CDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->hwnd_ = window;
        if (CApplication::current() != nullptr) {
            CApplication::current()->addModeless(window);
        }
        dialog->dpi_.attach(window);
        if (!dialog->onInitDialog()) {
            DestroyWindow(window);
            return FALSE;
        }
        return TRUE;
    }
    CDialog* dialog = fromHandle(window);
    if (dialog == nullptr) {
        return FALSE;
    }
    if (message == WM_NCDESTROY) {
        if (CApplication::current() != nullptr) {
            CApplication::current()->removeModeless(window);
        }
        SetWindowLongPtrW(window, DWLP_USER, 0);
        dialog->hwnd_ = nullptr;
        return FALSE;
    }
    return dialog->handle(message, wParam, lParam);
}

INT_PTR CDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DRAWITEM:
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        LRESULT reflected = 0;
        if (reflectToChild(hwnd_, message, wParam, lParam, reflected)) {
            if (message == WM_DRAWITEM || message == WM_COMMAND) {
                SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, reflected);
                return TRUE;
            }
            // A WM_CTLCOLOR* result is the brush itself.
            return static_cast<INT_PTR>(reflected);
        }
        break;
    }
    case WM_DPICHANGED:
        dpi_.change(hwnd_, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        break;
    case WM_SYSCOLORCHANGE:
        // Controls hear of new system colours only from their parent.
        for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            SendMessageW(child, message, wParam, lParam);
        }
        break;
    default:
        break;
    }
    INT_PTR result = 0;
    if (onMessage(message, wParam, lParam, result)) {
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        return onCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    }
    return FALSE;
}

} // namespace kestrum
