#pragma once

#include "net/String.h"
#include "shell/app/CompanionDialog.h"
#include "shell/controls/HyperLink.h"

namespace kestrum {

// The maker's web address, opened by the links of the about box and the monitor
// window.
constexpr const char* makerAddress = "https://tarnwick.example/";

// The about box: product name with version and build stamp, the maker's notice
// and link.
class CAboutDialog : public CCompanionDialog {
public:
    explicit CAboutDialog(const String& buildStamp);

protected:
    bool onInitDialog() override;

private:
    const String& buildStamp_;
    HWND versionText_ = nullptr;
    CHyperLink link_;
};

} // namespace kestrum
