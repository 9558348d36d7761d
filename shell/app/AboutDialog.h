#pragma once

#include "net/String.h"
#include "shell/controls/HyperLink.h"
#include "shell/framework/Dialog.h"

namespace kestrum {

// The maker's web address, opened by the links of the about box and the monitor
// window.
constexpr const char* makerAddress = "https://tarnwick.example/";

// The about box: product name with version and build stamp, the maker's notice
// and link. Created hidden with the monitor window; OK, Escape and close hide
// it again.
class CAboutDialog : public CDialog {
public:
    explicit CAboutDialog(const String& buildStamp);

    // Shows the box in front, centred on `over` when it was hidden.
    void open(HWND over);

protected:
    bool onInitDialog() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    bool onCommand(int id, int code) override;

private:
    const String& buildStamp_;
    HWND versionText_ = nullptr;
    CHyperLink link_;
};

} // namespace kestrum
