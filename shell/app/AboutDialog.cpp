#include "shell/app/AboutDialog.h"

#include "shell/app/ResourceIds.h"
#include "shell/app/WindowPlacement.h"

#include <string>

namespace kestrum {

CAboutDialog::CAboutDialog(const String& buildStamp)
    : CDialog(IDD_ABOUTBOX), buildStamp_(buildStamp) {}

bool CAboutDialog::onInitDialog() {
    versionText_ = item(IDC_VERSION_TEXT);
    link_.subclassDlgItem(IDC_LINK, hwnd());
    link_.setAddress(makerAddress);

    std::string version(static_cast<std::size_t>(GetWindowTextLengthA(versionText_)) + 1, '\0');
    GetWindowTextA(versionText_, version.data(), static_cast<int>(version.size()));
    version.resize(version.size() - 1);
    version += " build ";
    version += buildStamp_.c_str();
    SetWindowTextA(versionText_, version.c_str());
    return true;
}

void CAboutDialog::open(HWND over) {
    if (!visible()) {
        centreOn(hwnd(), over);
    }
    show(SW_SHOW);
    // Also when it is open already but behind another window.
    SetForegroundWindow(hwnd());
}

bool CAboutDialog::onMessage(UINT message, WPARAM, LPARAM, INT_PTR&) {
    if (message == WM_CLOSE) {
        show(SW_HIDE);
        return true;
    }
    return false;
}

bool CAboutDialog::onCommand(int id, int) {
    if (id == IDOK || id == IDCANCEL) {
        show(SW_HIDE);
        return true;
    }
    return false;
}

} // namespace kestrum
