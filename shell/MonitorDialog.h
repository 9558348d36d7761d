#pragma once

#include "monitor/MonitorDisplay.h"
#include "shell/AboutDialog.h"
#include "shell/Dialog.h"
#include "shell/HyperLink.h"
#include "shell/SegmentDisplay.h"
#include "shell/StyledButton.h"
#include "shell/TextLabel.h"
#include "shell/TrafficGraph.h"

#include <cstdint>
#include <optional>

namespace kestrum {

class CMonitorApp;

// The tray icon's callback message; a window message, so it may share
// WM_MONITOR_UPDATE's number.
constexpr UINT WM_TRAY_NOTIFY = 0x8001;
// The tray icon's ID within the program.
constexpr UINT trayIconId = 131;

// The program's one visible window: both graphs and readouts, the status line,
// the scale and refresh settings with Apply, and the maker's link. It draws
// what MonitorDisplay computes.
class CMonitorDialog : public CDialog {
public:
    static constexpr std::uint32_t initialScale = 30;
    static constexpr std::uint32_t minimumScale = 1;
    static constexpr std::uint32_t maximumScale = 1000000;

    explicit CMonitorDialog(CMonitorApp& application);

    // One WM_MONITOR_UPDATE: read the monitor, then draw and set the tray.
    void update();
    // The Apply button: all or nothing.
    bool apply();
    // Shows the window and brings it to the front.
    void open();

    std::uint32_t graphScale() const { return graphScale_; }
    CAboutDialog& aboutBox() { return aboutBox_; }

    // The tray icon resource of a traffic level; the highest level's icon for any above it.
    static int iconForLevel(std::uint32_t level);

protected:
    bool onInitDialog() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    bool onCommand(int id, int code) override;

private:
    void onTrayNotify(WPARAM iconId, LPARAM mouseMessage);
    void showTrayMenu();
    void applyScale();

    CMonitorApp& application_;
    CTextLabel sentCaption_;
    CTextLabel receivedCaption_;
    CTextLabel settingsCaption_;
    CStyledButton applyButton_;
    CTextLabel statusLabel_;
    CHyperLink link_;
    CSegmentDisplay sentReadout_;
    CSegmentDisplay receivedReadout_;
    CTrafficGraph receivedGraph_;
    CTrafficGraph sentGraph_;
    std::uint32_t graphScale_ = initialScale;
    HICON icon_ = nullptr;
    std::optional<MonitorDisplay> display_;
    CAboutDialog aboutBox_;
};

} // namespace kestrum
