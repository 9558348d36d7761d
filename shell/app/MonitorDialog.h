#pragma once

#include "monitor/MonitorDisplay.h"
#include "monitor/SettingRange.h"
#include "shell/app/AboutDialog.h"
#include "shell/app/AppMessages.h"
#include "shell/app/DetailsDialog.h"
#include "shell/app/Icons.h"
#include "shell/controls/HyperLink.h"
#include "shell/controls/SegmentDisplay.h"
#include "shell/controls/StyledButton.h"
#include "shell/controls/TextLabel.h"
#include "shell/controls/TrafficGraph.h"
#include "shell/framework/Dialog.h"

#include <cstdint>
#include <optional>

namespace kestrum {

class CMonitorApp;

// The tray icon's ID within the program.
constexpr UINT trayIconId = 131;

// The program's one visible window: both graphs and readouts, the status line,
// the scale and refresh settings with Apply, and the maker's link. It draws
// what MonitorDisplay computes.
class CMonitorDialog : public CDialog {
public:
    static constexpr std::uint32_t initialScale = 30;

    explicit CMonitorDialog(CMonitorApp& application);

    // One WM_MONITOR_UPDATE: read the monitor, then draw and set the tray.
    void update();
    // The Apply button: all or nothing.
    bool apply();
    // Shows the window and brings it to the front.
    void open();

    std::uint32_t graphScale() const { return graphScale_; }
    // How the tray menu tracks: with either button, on the side of its anchor that the system's
    // menu drop alignment (SM_MENUDROPALIGNMENT) names.
    static UINT trayMenuFlags(int menuDropAlignment);
    CAboutDialog& aboutBox() { return aboutBox_; }
    CDetailsDialog& detailsWindow() { return details_; }

protected:
    bool onInitDialog() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    bool onCommand(int id, int code) override;

private:
    void onTrayNotify(WPARAM wParam, LPARAM lParam);
    void showTrayMenu(POINT anchor);
    void applyScale();
    void setApplyGlyph();
    void fitToDpi();
    void showHistories();
    void followLineCapacity();
    // Reads a setting's edit; a refused text gets its message and the focus.
    bool readSettingEdit(int id, SettingRange range, std::uint32_t& value);
    void place();

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
    // The scale follows the line's capacity until the user applies another one.
    bool scaleFromLine_ = false;
    CWindowIcons icons_;
    std::optional<MonitorDisplay> display_;
    CAboutDialog aboutBox_;
    CDetailsDialog details_;
    UINT lastTrayEvent_ = 0;
    // No taskbar to place the window by yet, and the user has not moved it.
    bool placementPending_ = false;
};

} // namespace kestrum
