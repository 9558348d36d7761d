#include "shell/framework/SubclassedWindow.h"

#include <unordered_map>

namespace kestrum {

namespace {

// This thread's windows with an object. A window's messages come to the thread that made it,
// which is also the thread that subclasses it. Every message looks its window up, and the message
// loop its parents too: here that costs nothing, where a window property is a round trip to the
// window server under Wine.
thread_local std::unordered_map<HWND, CSubclassedWindow*> objects;

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
    if (window == nullptr || hwnd_ != nullptr || fromHandle(window) != nullptr) {
        return false;
    }
    objects[window] = this;
    hwnd_ = window;
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&dispatch)));
    if (original_ == nullptr) {
        objects.erase(window);
        hwnd_ = nullptr;
        return false;
    }
    onSubclassed();
    return true;
}

CSubclassedWindow* CSubclassedWindow::fromHandle(HWND window) {
    const auto found = objects.find(window);
    return found != objects.end() ? found->second : nullptr;
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
    return CallWindowProcW(original_, hwnd_, message, wParam, lParam);
}

bool CSubclassedWindow::onReflected(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

LRESULT CALLBACK CSubclassedWindow::dispatch(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    CSubclassedWindow* object = fromHandle(window);
    if (object == nullptr) {
        // Only reached when another procedure was put on top of ours and we detached below it.
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        // The window goes; the object stays and may be attached again.
        WNDPROC original = object->original_;
        object->detach();
        return CallWindowProcW(original, window, message, wParam, lParam);
    }
    return object->windowProc(message, wParam, lParam);
}

void CSubclassedWindow::detach() {
    if (hwnd_ == nullptr) {
        return;
    }
    // Someone who subclassed after us still calls our procedure; it then falls back to the
    // default handling rather than into a deleted object.
    if (GetWindowLongPtrW(hwnd_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&dispatch)) {
        SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    }
    objects.erase(hwnd_);
    hwnd_ = nullptr;
    original_ = nullptr;
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
