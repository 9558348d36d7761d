#include "shell/app/MonitorDialog.h"

#include "shell/app/MonitorApp.h"
#include "shell/app/ResourceIds.h"
#include "shell/app/WindowPlacement.h"
#include "shell/framework/DataExchange.h"

#include <algorithm>

namespace kestrum {

namespace {

constexpr const char* applyTooltip = "Set the graph scale and refresh rate";

// The captions with --bits; the template has those of KB/s.
constexpr struct {
    const char* received;
    const char* sent;
    const char* settings;
} bitsCaptions = {"Received kbit/s", "Sent kbit/s", "Graph scale (kbit/s) / Refresh rate (ms)"};
constexpr COLORREF receivedLine = RGB(50, 255, 50);
constexpr COLORREF sentLine = RGB(255, 50, 50);

int clientWidth(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return client.right - client.left;
}

void setUpGraph(CTrafficGraph& graph, COLORREF line, std::uint32_t scale) {
    graph.setRange(0, static_cast<int>(scale));
    graph.setLineColour(line);
    graph.setBackgroundColour(RGB(0, 0, 0));
    graph.fill(0, false);
    graph.setBorder(true);
    graph.setSunken(true);
    // The setters only store; one repaint shows them all.
    graph.redraw();
}

// The Apply glyph drawn for the largest scale that the DPI reaches.
HBITMAP loadApplyGlyph(int dpi) {
    const int glyph = dpi >= 2 * USER_DEFAULT_SCREEN_DPI       ? IDB_APPLY_200
                      : dpi >= 3 * USER_DEFAULT_SCREEN_DPI / 2 ? IDB_APPLY_150
                                                               : IDB_APPLY;
    return static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(glyph),
                                           IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

} // namespace

CMonitorDialog::CMonitorDialog(CMonitorApp& application)
    : CDialog(IDD_MONITOR), application_(application),
      graphScale_(application.startOptions().scale > 0
                      ? static_cast<std::uint32_t>(application.startOptions().scale)
                      : initialScale),
      scaleFromLine_(application.startOptions().scaleFromLine),
      aboutBox_(application.buildStamp()) {}

bool CMonitorDialog::onInitDialog() {
    sentCaption_.subclassDlgItem(IDC_SENT_CAPTION, hwnd());
    receivedCaption_.subclassDlgItem(IDC_RECEIVED_CAPTION, hwnd());
    settingsCaption_.subclassDlgItem(IDC_SETTINGS_CAPTION, hwnd());
    applyButton_.subclassDlgItem(IDC_APPLY, hwnd());
    statusLabel_.subclassDlgItem(IDC_STATUS, hwnd());
    link_.subclassDlgItem(IDC_LINK, hwnd());
    sentReadout_.subclassDlgItem(IDC_SENT_READOUT, hwnd());
    receivedReadout_.subclassDlgItem(IDC_RECEIVED_READOUT, hwnd());
    receivedGraph_.subclassDlgItem(IDC_RECEIVED_GRAPH, hwnd());
    sentGraph_.subclassDlgItem(IDC_SENT_GRAPH, hwnd());

    if (application_.startOptions().bits) {
        receivedCaption_.setText(bitsCaptions.received);
        sentCaption_.setText(bitsCaptions.sent);
        settingsCaption_.setText(bitsCaptions.settings);
    }

    const std::wstring about = CApplication::loadString(IDS_ABOUTBOX);
    HMENU systemMenu = GetSystemMenu(hwnd(), FALSE);
    if (systemMenu != nullptr && !about.empty()) {
        AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }

    icons_.apply(hwnd(), IDI_APPLICATION_ICON);

    aboutBox_.create();
    details_.create();

    applyButton_.makeTexture(7, 0, 30, 40, CStyledButton::buttonFace);
    setApplyGlyph();
    applyButton_.setTooltipStyleBalloon();
    applyButton_.setTooltipText(applyTooltip, true);

    display_.emplace(clientWidth(receivedGraph_.hwnd()) + 1,
                     TrayTooltip(CSystemTray::ampersandRule()));
    display_->showBits(application_.startOptions().bits);

    setUpGraph(receivedGraph_, receivedLine, graphScale_);
    setUpGraph(sentGraph_, sentLine, graphScale_);
    receivedReadout_.useGreenScheme();
    sentReadout_.useRedScheme();
    applyScale();

    link_.setAddress(makerAddress);

    showUnsigned(hwnd(), IDC_SCALE_EDIT, graphScale_);
    showUnsigned(hwnd(), IDC_REFRESH_EDIT, application_.refreshPeriod().get());
    place();
    return true;
}

void CMonitorDialog::place() {
    placementPending_ = !placeNearNotificationArea(hwnd(), trayIconId);
}

void CMonitorDialog::setApplyGlyph() {
    applyButton_.setBitmaps(loadApplyGlyph(dpi()), RGB(255, 255, 255), CStyledButton::darkerCopy(),
                            RGB(255, 255, 255));
}

// The framework has laid the controls out for the new DPI; what follows their sizes here is the
// glyph, the window's icons and the histories, one value per graph column as at start.
void CMonitorDialog::fitToDpi() {
    setApplyGlyph();
    icons_.apply(hwnd(), IDI_APPLICATION_ICON);
    if (display_) {
        display_->resizeHistories(clientWidth(receivedGraph_.hwnd()) + 1);
        showHistories();
    }
}

void CMonitorDialog::showHistories() {
    const auto& received = display_->receivedHistory();
    const auto& sent = display_->sentHistory();
    receivedGraph_.setSamples(received.data(), static_cast<int>(received.size()), true);
    sentGraph_.setSamples(sent.data(), static_cast<int>(sent.size()), true);
}

void CMonitorDialog::applyScale() {
    display_->applyScale(graphScale_);
    receivedReadout_.setDigitCount(display_->receivedDigits());
    sentReadout_.setDigitCount(display_->sentDigits());
    receivedGraph_.setRange(0, static_cast<int>(graphScale_));
    sentGraph_.setRange(0, static_cast<int>(graphScale_));
}

void CMonitorDialog::update() {
    if (!display_) {
        return;
    }
    const DisplayUpdate shown = display_->update(application_.monitorSnapshot(), application_.now(),
                                                 graphScale_, application_.refreshPeriod().get());
    statusLabel_.setText(shown.statusLine.c_str());
    if (shown.hasRates) {
        showHistories();
        receivedReadout_.setDigitCount(shown.receivedDigits);
        receivedReadout_.setValue(static_cast<int>(shown.received));
        sentReadout_.setDigitCount(shown.sentDigits);
        sentReadout_.setValue(static_cast<int>(shown.sent));
        application_.tray().setIcon(trayIconForLevel(shown.trafficLevel));
    }
    if (shown.setsTooltip) {
        application_.tray().setTooltipText(shown.tooltip.c_str());
    }
    followLineCapacity();
    if (details_.visible()) {
        details_.refresh(*display_);
    }
}

// With --scale line, the graphs span the line's downstream capacity once the gateway reports a
// credible one, and again whenever it reports another.
void CMonitorDialog::followLineCapacity() {
    const std::uint32_t scale = scaleFromLine_ ? display_->lineScale() : 0;
    if (scale != 0 && scale != graphScale_) {
        graphScale_ = scale;
        applyScale();
        showUnsigned(hwnd(), IDC_SCALE_EDIT, graphScale_);
    }
}

bool CMonitorDialog::apply() {
    SetFocus(item(IDC_SCALE_EDIT));
    std::uint32_t scale = 0;
    std::uint32_t refresh = 0;
    // All or nothing: a rejected edit keeps both settings as they were.
    if (!readSettingEdit(IDC_SCALE_EDIT, scaleRange, scale) ||
        !readSettingEdit(IDC_REFRESH_EDIT, refreshRange, refresh)) {
        return false;
    }
    // Another scale is the user's from now on; the line's own one applied again is not.
    if (scale != graphScale_) {
        scaleFromLine_ = false;
    }
    graphScale_ = scale;
    applyScale();
    application_.refreshPeriod().set(refresh);
    return true;
}

bool CMonitorDialog::readSettingEdit(int id, SettingRange range, std::uint32_t& value) {
    std::string message;
    if (readSetting(editText(hwnd(), id).c_str(), range, value, message)) {
        return true;
    }
    rejectEdit(hwnd(), id, message.c_str());
    return false;
}

void CMonitorDialog::open() {
    // Where the taskbar was missing at start, or the window's monitor has gone since.
    if (placementPending_ || offEveryMonitor(hwnd())) {
        place();
    }
    show(SW_SHOW);
    SetForegroundWindow(hwnd());
}

bool CMonitorDialog::onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR&) {
    if (message == CSystemTray::taskbarCreatedMessage()) {
        // The taskbar that was missing at start is there now.
        if (placementPending_) {
            place();
        }
        return false;
    }
    switch (message) {
    case WM_MONITOR_UPDATE:
        update();
        return true;
    case WM_TRAY_NOTIFY:
        onTrayNotify(wParam, lParam);
        return true;
    case WM_SYSCOMMAND:
        // The system reserves the low four bits of a command.
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            aboutBox_.open(hwnd());
            return true;
        }
        return false;
    case WM_CLOSE:
        show(SW_HIDE);
        return true;
    case WM_DPICHANGED:
        fitToDpi();
        return true;
    case WM_EXITSIZEMOVE:
        // Where the user put it, it stays.
        placementPending_ = false;
        return false;
    default:
        return false;
    }
}

bool CMonitorDialog::onCommand(int id, int) {
    switch (id) {
    case IDC_APPLY:
        apply();
        return true;
    case ID_TRAY_OPEN:
        open();
        return true;
    case ID_TRAY_DETAILS:
        details_.open(hwnd(), *display_);
        return true;
    case ID_TRAY_ABOUT:
        aboutBox_.open(hwnd());
        return true;
    case ID_TRAY_EXIT:
        application_.exit();
        return true;
    case IDOK:
    case IDCANCEL:
        // Enter and Escape must not close the window.
        return true;
    default:
        return false;
    }
}

void CMonitorDialog::onTrayNotify(WPARAM wParam, LPARAM lParam) {
    const TrayNotification notification = readTrayNotification(wParam, lParam, trayIconId);
    switch (notification.event) {
    case WM_LBUTTONDBLCLK:
    case NIN_KEYSELECT:
        open();
        break;
    case NIN_SELECT:
        // A single click ends in one too, and opens nothing, as before; Enter on an icon that
        // the mouse selected does open.
        if (lastTrayEvent_ != WM_LBUTTONUP) {
            open();
        }
        break;
    case WM_CONTEXTMENU:
        showTrayMenu(notification.anchor);
        break;
    default:
        break;
    }
    if (notification.event != 0) {
        lastTrayEvent_ = notification.event;
    }
}

UINT CMonitorDialog::trayMenuFlags(int menuDropAlignment) {
    return TPM_RIGHTBUTTON | (menuDropAlignment != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN);
}

void CMonitorDialog::showTrayMenu(POINT anchor) {
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (menu == nullptr) {
        return;
    }
    HMENU items = GetSubMenu(menu, 0);
    SetMenuDefaultItem(items, ID_TRAY_OPEN, FALSE);
    SetForegroundWindow(hwnd());
    TrackPopupMenu(items, trayMenuFlags(GetSystemMetrics(SM_MENUDROPALIGNMENT)), anchor.x, anchor.y,
                   0, hwnd(), nullptr);
    // Lets the menu close properly when the user clicks elsewhere.
    PostMessageW(hwnd(), WM_NULL, 0, 0);
    DestroyMenu(menu);
}

} // namespace kestrum
