#pragma once

#include "monitor/MonitorDisplay.h"
#include "shell/app/CompanionDialog.h"

namespace kestrum {

// The connection details: what the gateway told about itself and its line, and the traffic
// since start, one read-only row each so that every text can be selected and copied. It shows
// what the monitor window's display knows and follows it only while it is open.
class CDetailsDialog : public CCompanionDialog {
public:
    CDetailsDialog();

    // Fills the rows from the display, then shows the window in front.
    void open(HWND over, const MonitorDisplay& display);
    // While open: the rows again. A row whose text stays keeps the user's selection.
    void refresh(const MonitorDisplay& display);
};

} // namespace kestrum
