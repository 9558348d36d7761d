#pragma once

#include "shell/framework/DialogDpi.h"

#include <windows.h>

namespace kestrum {

// A modeless dialog built from a dialog resource. The dialog procedure reflects the controls'
// notifications to them, then hands each message to onMessage, and commands to onCommand: a
// message is handled by the window that receives it.
class CDialog {
public:
    explicit CDialog(int templateId);
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;
    virtual ~CDialog();

    // Creates the dialog hidden unless its template says otherwise; null owner: the
    // application's main window. False when the template cannot be built.
    bool create(HWND owner = nullptr);
    HWND hwnd() const { return hwnd_; }
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    void show(int command) const { ShowWindow(hwnd_, command); }
    bool visible() const { return IsWindowVisible(hwnd_) != FALSE; }
    // The DPI the dialog is laid out for; WM_DPICHANGED brings it and its controls to a new one
    // before onMessage sees it.
    int dpi() const { return dpi_.dpi(); }

    static CDialog* fromHandle(HWND window);

protected:
    // After the controls exist; false when the dialog cannot work (it is then destroyed).
    virtual bool onInitDialog() { return true; }
    // True when handled; result is the message's result (0 unless set).
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    // True when handled.
    virtual bool onCommand(int id, int code);

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND hwnd_ = nullptr;
    CDialogDpi dpi_;
};

} // namespace kestrum
