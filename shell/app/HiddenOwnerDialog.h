#pragma once

#include "shell/framework/Dialog.h"

namespace kestrum {

class CMonitorApp;

// The application's main window, never shown: it owns the monitor window and the about box, so
// that they get no taskbar button. As the main window it answers the requests to end: a close
// sent by an installer or the restart manager, and the end of the session; and a later start's
// request to open the monitor window. Its class is its own and its title the program's name, so
// that a later start can find it.
class CHiddenOwnerDialog : public CDialog {
public:
    explicit CHiddenOwnerDialog(CMonitorApp& application);

protected:
    bool onInitDialog() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    CMonitorApp& application_;
};

} // namespace kestrum
