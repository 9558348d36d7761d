#include "shell/app/AboutDialog.h"

#include "shell/app/ResourceIds.h"

#include <string>

namespace kestrum {

CAboutDialog::CAboutDialog(const String& buildStamp)
    : CCompanionDialog(IDD_ABOUTBOX), buildStamp_(buildStamp) {}

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

} // namespace kestrum
