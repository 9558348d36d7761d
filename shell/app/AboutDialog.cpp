#include "shell/app/AboutDialog.h"

#include "shell/app/ResourceIds.h"
#include "shell/app/WindowPlacement.h"
#include "shell/framework/TextConversion.h"
#include "shell/framework/WindowText.h"

namespace kestrum {

CAboutDialog::CAboutDialog(const String& buildStamp)
    : CDialog(IDD_ABOUTBOX), buildStamp_(buildStamp) {}

bool CAboutDialog::onInitDialog() {
    versionText_ = item(IDC_VERSION_TEXT);
    link_.subclassDlgItem(IDC_LINK, hwnd());
    link_.setAddress(makerAddress);

    const std::wstring version =
        windowText(versionText_) + L" build " + utf8ToWide(buildStamp_.c_str());
    SetWindowTextW(versionText_, version.c_str());
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
