#pragma once

#include "shell/framework/Dialog.h"

namespace kestrum {

// A small window that the monitor window keeps for its whole life and opens on request: the
// about box and the connection details. Created hidden; OK, Escape and the close button hide
// it again.
class CCompanionDialog : public CDialog {
public:
    using CDialog::CDialog;

    // Shows the window in front, centred on `over` when it was hidden.
    void open(HWND over);

protected:
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    bool onCommand(int id, int code) override;
};

} // namespace kestrum
