#pragma once

#include <vector>
#include <windows.h>

namespace kestrum {

// The DPI a window is shown at: its own where the system can tell it (per-monitor awareness),
// else the screen's.
int windowDpi(HWND window);

// Brings a dialog to a new DPI when it moves to a monitor of another scale, the same way on
// every system: the window takes the suggested rectangle, every child its rectangle and the
// dialog font scaled from what they were at the dialog's first DPI (so going back restores them
// exactly), and each child control of ours then hears the new DPI as WM_DPICHANGED with the DPI
// in both halves of wParam.
class CDialogDpi {
public:
    CDialogDpi() = default;
    ~CDialogDpi();
    CDialogDpi(const CDialogDpi&) = delete;
    CDialogDpi& operator=(const CDialogDpi&) = delete;

    // At dialog start: takes the dialog's DPI and switches the system's own scaling of it off.
    void attach(HWND dialog);
    int dpi() const { return dpi_; }
    // A null rectangle leaves the window where it is.
    void change(HWND dialog, int dpi, const RECT* suggested);

private:
    struct Child {
        HWND window;
        RECT rect; // in the dialog's client coordinates at the first DPI
    };

    // The layout the scaling starts from, taken at the first change.
    void rememberLayout(HWND dialog);
    int scaled(LONG value) const;

    int firstDpi_ = USER_DEFAULT_SCREEN_DPI;
    int dpi_ = USER_DEFAULT_SCREEN_DPI;
    std::vector<Child> children_;
    bool layoutKnown_ = false;
    // The dialog's own font (not ours) and the scaled copy in use (ours).
    HFONT firstFont_ = nullptr;
    HFONT font_ = nullptr;
};

} // namespace kestrum
