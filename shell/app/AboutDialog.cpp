#include "shell/app/AboutDialog.h"

#include "shell/app/ResourceIds.h"
#include "shell/framework/TextConversion.h"
#include "shell/framework/WindowText.h"

namespace kestrum {

CAboutDialog::CAboutDialog(const String& buildStamp)
    : CCompanionDialog(IDD_ABOUTBOX), buildStamp_(buildStamp) {}

bool CAboutDialog::onInitDialog() {
    versionText_ = item(IDC_VERSION_TEXT);
    link_.subclassDlgItem(IDC_LINK, hwnd());
    link_.setAddress(makerAddress);

    const std::wstring version =
        windowText(versionText_) + L" build " + utf8ToWide(buildStamp_.c_str());
    SetWindowTextW(versionText_, version.c_str());
    return true;
}

} // namespace kestrum
