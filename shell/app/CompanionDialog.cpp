#include "shell/app/CompanionDialog.h"

#include "shell/app/WindowPlacement.h"

namespace kestrum {

void CCompanionDialog::open(HWND over) {
    if (!visible()) {
        centreOn(hwnd(), over);
    }
    show(SW_SHOW);
    // Also when it is open already but behind another window.
    SetForegroundWindow(hwnd());
}

bool CCompanionDialog::onMessage(UINT message, WPARAM, LPARAM, INT_PTR&) {
    if (message == WM_CLOSE) {
        show(SW_HIDE);
        return true;
    }
    return false;
}

bool CCompanionDialog::onCommand(int id, int) {
    if (id == IDOK || id == IDCANCEL) {
        show(SW_HIDE);
        return true;
    }
    return false;
}

} // namespace kestrum
