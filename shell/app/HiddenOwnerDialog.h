#pragma once

#include "shell/framework/Dialog.h"

namespace kestrum {

// The application's main window, never shown: it owns the monitor window and the about box, so
// that they get no taskbar button, and receives the monitor's posted updates.
class CHiddenOwnerDialog : public CDialog {
public:
    CHiddenOwnerDialog();

protected:
    bool onInitDialog() override;
};

} // namespace kestrum
