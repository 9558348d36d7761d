// kestrum-window-reader: finds the running kestrum.exe's window in the same Wine session and
// reads or drives it the way a screen reader or a user would, for the demo and the end-to-end
// GUI test.
//
//   find SECONDS          wait for the window; print its screen rectangle "left top width height";
//                         fail when the link reaches over the Apply button
//   apply SCALE REFRESH   type both settings into their edits and press Apply
//   settings              print the scale and refresh edits' texts: "SCALE REFRESH"
//   watch SECONDS         wait for the window, then every 100 ms print
//                         "UNIX_MS status="..." rx=N tx=N" (status in UTF-8), for SECONDS in all
//   move-clear            move the window to the middle of the work area, clear of the taskbar
//                         and its tray icon; print its new rectangle
//   hover-tray SECONDS    rest the mouse on the tray icon until a tooltip shows; print the
//                         tooltip's rectangle (a Wine virtual desktop's taskbar, where the icon is
//                         the rightmost one); fail when a window covers the icon
//   exit SECONDS          choose Exit from the tray menu, wait for the window to go and the process
//                         to end; print the milliseconds from the choice to the end
//   end-session SECONDS   ask the main window whether the session may end, end it as the
//                         restart manager does, and wait for the window to go
//   message SECONDS       wait for Kestrum's message box, print its text (UTF-8, lines joined
//                         by " / ") and press its OK button
//   details SECONDS       open the connection details as the tray menu does, wait for them and
//                         print one "key=value" line per row (UTF-8)

#include "shell/app/AppMessages.h"
#include "shell/app/ResourceIds.h"
#include "tools/sandbox/WineSession.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <windows.h>

namespace {

using namespace kestrum::sandbox;

constexpr WPARAM trayIconId = 131;

std::string utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
    result.resize(result.size() - 1);
    return result;
}

std::string itemText(HWND window, int id) {
    wchar_t text[1024] = L"";
    SendMessageW(GetDlgItem(window, id), WM_GETTEXT, sizeof text / sizeof text[0],
                 reinterpret_cast<LPARAM>(text));
    return utf8(text);
}

void printRect(const RECT& rect) {
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
}

int find(int seconds) {
    HWND window = nullptr;
    if (!waitFor(seconds, [&] { return (window = findMonitorWindow()) != nullptr; })) {
        std::fprintf(stderr, "no Kestrum window\n");
        return 1;
    }
    RECT link{};
    RECT apply{};
    // Read while the window stands still: it moves once more when the taskbar comes late.
    RECT before{};
    RECT after{};
    for (int tries = 0; tries < 10 && (tries == 0 || !EqualRect(&before, &after)); ++tries) {
        GetWindowRect(window, &before);
        GetWindowRect(GetDlgItem(window, IDC_LINK), &link);
        GetWindowRect(GetDlgItem(window, IDC_APPLY), &apply);
        GetWindowRect(window, &after);
    }
    if (link.left < apply.right) {
        std::fprintf(stderr, "the link (from x=%ld) reaches over the Apply button (to x=%ld)\n",
                     link.left, apply.right);
        return 1;
    }
    RECT rect{};
    GetWindowRect(window, &rect);
    printRect(rect);
    return 0;
}

int apply(HWND window, const char* scale, const char* refresh) {
    SendMessageA(GetDlgItem(window, IDC_SCALE_EDIT), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(scale));
    SendMessageA(GetDlgItem(window, IDC_REFRESH_EDIT), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(refresh));
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_APPLY)));
    return 0;
}

int watch(int seconds) {
    const long long end = unixMilliseconds() + seconds * 1000LL;
    HWND window = nullptr;
    if (!waitFor(seconds, [&] { return (window = findMonitorWindow()) != nullptr; })) {
        std::fprintf(stderr, "no Kestrum window\n");
        return 1;
    }
    while (unixMilliseconds() < end && IsWindow(window)) {
        std::string status = itemText(window, IDC_STATUS);
        for (char& c : status) {
            c = c == '"' || c == '\n' ? '_' : c;
        }
        std::printf("%lld status=\"%s\" rx=%s tx=%s\n", unixMilliseconds(), status.c_str(),
                    itemText(window, IDC_RECEIVED_READOUT).c_str(),
                    itemText(window, IDC_SENT_READOUT).c_str());
        std::fflush(stdout);
        Sleep(100);
    }
    return 0;
}

// Exit is the tray menu's last item, wherever the items above it go: with nothing selected yet,
// the up arrow selects the last item.
int chooseExit(HWND window, int seconds, HANDLE process) {
    PostMessageA(window, kestrum::WM_TRAY_NOTIFY, trayIconId, WM_RBUTTONUP);
    HWND menu = nullptr;
    if (!waitFor(seconds, [&] {
            menu = FindWindowA("#32768", nullptr);
            return menu != nullptr && IsWindowVisible(menu);
        })) {
        std::fprintf(stderr, "the tray menu did not open\n");
        return 1;
    }
    PostMessageA(menu, WM_KEYDOWN, VK_UP, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    const long long chosen = unixMilliseconds();
    if (!waitFor(seconds, [&] { return !IsWindow(window); })) {
        std::fprintf(stderr, "the window is still there after Exit\n");
        return 1;
    }
    const long long left = chosen + seconds * 1000LL - unixMilliseconds();
    if (WaitForSingleObject(process, static_cast<DWORD>(left > 0 ? left : 0)) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "the process still runs %d s after Exit\n", seconds);
        return 1;
    }
    std::printf("%lld\n", unixMilliseconds() - chosen);
    return 0;
}

// Exit is over for the user when the process is gone, not when its window is.
int exitFromTrayMenu(HWND window, int seconds) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (process == nullptr) {
        std::fprintf(stderr, "cannot wait for the program's process\n");
        return 1;
    }
    const int result = chooseExit(window, seconds, process);
    CloseHandle(process);
    return result;
}

// The restart manager's way to close a program: the question, then the end, both to the
// program's main window, which owns the monitor window.
int endSession(HWND window, int seconds) {
    HWND mainWindow = GetWindow(window, GW_OWNER);
    DWORD_PTR answer = FALSE;
    if (SendMessageTimeoutA(mainWindow, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP,
                            SMTO_ABORTIFHUNG, 5000, &answer) == 0 ||
        answer == FALSE) {
        std::fprintf(stderr, "the program did not let the session end\n");
        return 1;
    }
    SendMessageTimeoutA(mainWindow, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG,
                        5000, nullptr);
    if (!waitFor(seconds, [&] { return !IsWindow(window); })) {
        std::fprintf(stderr, "the window is still there after the end of the session\n");
        return 1;
    }
    return 0;
}

// Out of the way of the tray icon and its tooltip, so that pictures show all three.
int moveClear(HWND window) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT rect{};
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor) ||
        !GetWindowRect(window, &rect)) {
        std::fprintf(stderr, "no work area for the window\n");
        return 1;
    }
    const RECT& work = monitor.rcWork;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    SetWindowPos(window, nullptr, (work.left + work.right - width) / 2,
                 (work.top + work.bottom - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(window, &rect);
    RECT bar{};
    RECT overlap{};
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    if (taskbar != nullptr && GetWindowRect(taskbar, &bar) &&
        IntersectRect(&overlap, &rect, &bar)) {
        std::fprintf(stderr, "the window still covers the taskbar\n");
        return 1;
    }
    printRect(rect);
    return 0;
}

HWND visibleTooltip() {
    HWND tip = nullptr;
    while ((tip = FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) != nullptr) {
        if (IsWindowVisible(tip)) {
            return tip;
        }
    }
    return nullptr;
}

int hoverTray(int seconds) {
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    RECT bar{};
    if (taskbar == nullptr || !GetWindowRect(taskbar, &bar)) {
        std::fprintf(stderr, "no taskbar\n");
        return 1;
    }
    // Wine's taskbar draws its icons from the right, each in a cell of the small icon's size
    // with a border of 2 pixels around it.
    const POINT icon{bar.right - GetSystemMetrics(SM_CXSMICON) / 2 - 2, (bar.top + bar.bottom) / 2};
    if (GetAncestor(WindowFromPoint(icon), GA_ROOT) != taskbar) {
        std::fprintf(stderr, "a window covers the tray icon\n");
        return 1;
    }
    // Two positions, so that the pointer moves onto the icon.
    SetCursorPos(icon.x - 1, icon.y);
    Sleep(100);
    SetCursorPos(icon.x, icon.y);
    HWND tip = nullptr;
    if (!waitFor(seconds, [&] { return (tip = visibleTooltip()) != nullptr; })) {
        std::fprintf(stderr, "no tooltip\n");
        return 1;
    }
    RECT rect{};
    GetWindowRect(tip, &rect);
    printRect(rect);
    return 0;
}

// A message box is a dialog whose text is the static control 0xFFFF.
int pressMessageBox(int seconds) {
    HWND box = nullptr;
    if (!waitFor(seconds, [&] {
            box = FindWindowW(L"#32770", L"Kestrum");
            return box != nullptr && IsWindowVisible(box) && GetDlgItem(box, 0xFFFF) != nullptr;
        })) {
        std::fprintf(stderr, "no Kestrum message box\n");
        return 1;
    }
    std::string text = itemText(box, 0xFFFF);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at)) {
        text.replace(at, 1, " / ");
    }
    std::printf("%s\n", text.c_str());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

int details(HWND window, int seconds) {
    static const struct {
        const char* key;
        int id;
    } rows[] = {
        {"name", IDC_DETAILS_NAME},
        {"manufacturer", IDC_DETAILS_MANUFACTURER},
        {"model", IDC_DETAILS_MODEL},
        {"access", IDC_DETAILS_ACCESS},
        {"capacity", IDC_DETAILS_CAPACITY},
        {"share", IDC_DETAILS_SHARE},
        {"connection", IDC_DETAILS_CONNECTION},
        {"address", IDC_DETAILS_ADDRESS},
        {"totals", IDC_DETAILS_TOTALS},
    };
    PostMessageW(window, WM_COMMAND, ID_TRAY_DETAILS, 0);
    HWND box = nullptr;
    if (!waitFor(seconds, [&] {
            box = FindWindowW(L"#32770", L"Connection details");
            return box != nullptr && IsWindowVisible(box);
        })) {
        std::fprintf(stderr, "the connection details did not open\n");
        return 1;
    }
    for (const auto& row : rows) {
        std::printf("%s=%s\n", row.key, itemText(box, row.id).c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "find" && argc == 3) {
        return find(std::atoi(argv[2]));
    }
    if (command == "hover-tray" && argc == 3) {
        return hoverTray(std::atoi(argv[2]));
    }
    if (command == "watch" && argc == 3) {
        return watch(std::atoi(argv[2]));
    }
    if (command == "message" && argc == 3) {
        return pressMessageBox(std::atoi(argv[2]));
    }
    HWND window = findMonitorWindow();
    if (window == nullptr) {
        std::fprintf(stderr, "no Kestrum window\n");
        return 1;
    }
    if (command == "apply" && argc == 4) {
        return apply(window, argv[2], argv[3]);
    }
    if (command == "settings" && argc == 2) {
        std::printf("%s %s\n", itemText(window, IDC_SCALE_EDIT).c_str(),
                    itemText(window, IDC_REFRESH_EDIT).c_str());
        return 0;
    }
    if (command == "details" && argc == 3) {
        return details(window, std::atoi(argv[2]));
    }
    if (command == "end-session" && argc == 3) {
        return endSession(window, std::atoi(argv[2]));
    }
    if (command == "move-clear" && argc == 2) {
        return moveClear(window);
    }
    if (command == "exit" && argc == 3) {
        return exitFromTrayMenu(window, std::atoi(argv[2]));
    }
    std::fprintf(stderr, "usage: kestrum-window-reader "
                         "find|apply|settings|watch|move-clear|hover-tray|exit|end-session|message|"
                         "details ...\n");
    return 2;
}
