#pragma once

#include <windows.h>

namespace kestrum {

// A C++ object behind an existing window (typically a dialog's control): it subclasses the
// window the common controls' way (SetWindowSubclass), sees every message first and passes what
// it does not handle on down the window's chain of procedures. Others may subclass the same
// window before or after it; either may leave first.
class CSubclassedWindow {
public:
    CSubclassedWindow();
    // Restores the original procedure if still attached.
    virtual ~CSubclassedWindow();
    CSubclassedWindow(const CSubclassedWindow&) = delete;
    CSubclassedWindow& operator=(const CSubclassedWindow&) = delete;

    // GetDlgItem + subclassWindow.
    bool subclassDlgItem(int id, HWND parent);
    // Subclasses the window, then calls onSubclassed(). Fails for a null window, for a window
    // that already has an object, and when this object is already attached. Only the thread that
    // made the window may subclass it.
    bool subclassWindow(HWND window);
    HWND hwnd() const { return hwnd_; }

    // Null when the window is not one of ours.
    static CSubclassedWindow* fromHandle(HWND window);
    // The message loop calls this for every queued message before IsDialogMessage and dispatch;
    // the target window and then its parents, up to the top-level window, get to see it. True
    // means the message was consumed.
    static bool preTranslate(MSG& message);

protected:
    virtual void onSubclassed() {}
    virtual bool preTranslateMessage(MSG& /*message*/) { return false; }
    // Default: defaultProc.
    virtual LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The rest of the window's chain, down to its class procedure.
    LRESULT defaultProc(UINT message, WPARAM wParam, LPARAM lParam);
    // A notification the parent reflected to this control (see reflectToChild); return true and
    // set result when handled.
    virtual bool onReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static LRESULT CALLBACK dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR object);
    void detach();

    friend bool reflectToChild(HWND parent, UINT message, WPARAM wParam, LPARAM lParam,
                               LRESULT& result);

    HWND hwnd_ = nullptr;
};

// A parent window/dialog procedure passes WM_DRAWITEM, WM_COMMAND, WM_CTLCOLORSTATIC and
// WM_CTLCOLORBTN here first; they reach the child control's onReflected. Returns true when the
// child handled it: the parent then returns `result` (for a dialog procedure: as the message
// result; for WM_CTLCOLOR* that is the brush) and does nothing else with it.
bool reflectToChild(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

} // namespace kestrum
