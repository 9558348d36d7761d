#include "shell/framework/SubclassedWindow.h"

#include <commctrl.h>

namespace kestrum {

namespace {

// The one subclass of ours a window can have.
constexpr UINT_PTR subclassId = 1;

// MinGW's import library leaves GetWindowSubclass out; the comctl32 that the program is bound
// to (the version its manifest chose) exports it beside SetWindowSubclass.
using GetSubclass = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR*);

GetSubclass getWindowSubclass() {
    static const GetSubclass function = reinterpret_cast<GetSubclass>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "GetWindowSubclass")));
    return function;
}

// The child a reflected notification is about, or null when it names none.
HWND notifyingChild(UINT message, LPARAM lParam) {
    switch (message) {
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        return item != nullptr && item->CtlType != ODT_MENU ? item->hwndItem : nullptr;
    }
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return reinterpret_cast<HWND>(lParam);
    default:
        return nullptr;
    }
}

} // namespace

CSubclassedWindow::CSubclassedWindow() = default;

CSubclassedWindow::~CSubclassedWindow() {
    detach();
}

bool CSubclassedWindow::subclassDlgItem(int id, HWND parent) {
    return subclassWindow(GetDlgItem(parent, id));
}

bool CSubclassedWindow::subclassWindow(HWND window) {
    if (window == nullptr || hwnd_ != nullptr || fromHandle(window) != nullptr ||
        !SetWindowSubclass(window, &dispatch, subclassId, reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    hwnd_ = window;
    onSubclassed();
    return true;
}

CSubclassedWindow* CSubclassedWindow::fromHandle(HWND window) {
    DWORD_PTR object = 0;
    return window != nullptr && getWindowSubclass()(window, &dispatch, subclassId, &object)
               ? reinterpret_cast<CSubclassedWindow*>(object)
               : nullptr;
}

bool CSubclassedWindow::preTranslate(MSG& message) {
    for (HWND window = message.hwnd; window != nullptr;) {
        if (CSubclassedWindow* object = fromHandle(window);
            object != nullptr && object->preTranslateMessage(message)) {
            return true;
        }
        if ((GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) == 0) {
            break;
        }
        window = GetParent(window);
    }
    return false;
}

LRESULT CSubclassedWindow::windowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return defaultProc(message, wParam, lParam);
}

LRESULT CSubclassedWindow::defaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefSubclassProc(hwnd_, message, wParam, lParam);
}

bool CSubclassedWindow::onReflected(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

LRESULT CALLBACK CSubclassedWindow::dispatch(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam, UINT_PTR, DWORD_PTR object) {
    auto* subclassed = reinterpret_cast<CSubclassedWindow*>(object);
    if (message == WM_NCDESTROY) {
        // The window goes; the object stays and may be attached again.
        subclassed->detach();
        return DefSubclassProc(window, message, wParam, lParam);
    }
    return subclassed->windowProc(message, wParam, lParam);
}

void CSubclassedWindow::detach() {
    if (hwnd_ != nullptr) {
        RemoveWindowSubclass(hwnd_, &dispatch, subclassId);
        hwnd_ = nullptr;
    }
}

bool reflectToChild(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HWND child = notifyingChild(message, lParam);
    if (child == nullptr || child == parent) {
        return false;
    }
    CSubclassedWindow* object = CSubclassedWindow::fromHandle(child);
    return object != nullptr && object->onReflected(message, wParam, lParam, result);
}

} // namespace kestrum
