#include "shell/app/Icons.h"
#include "shell/app/ResourceIds.h"
#include "tests/gallery/GalleryScene.h"

namespace kestrum {

namespace {

// The tray icon of every level and the program's icon, one row per scaling (100, 150 and
// 200 %), on the colour of a dark and of a light taskbar.
constexpr int sizes[] = {16, 24, 32};
constexpr int icons = 11;
constexpr int spacing = 8;
constexpr int width = spacing + icons * (32 + spacing);
constexpr int height = spacing + 16 + spacing + 24 + spacing + 32 + spacing;

class CIconStrip : public CSubclassedWindow {
public:
    explicit CIconStrip(COLORREF taskbar) : taskbar_(taskbar) {}

protected:
    LRESULT windowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_ERASEBKGND) {
            return 1;
        }
        if (message != WM_PAINT) {
            return CSubclassedWindow::windowProc(message, wParam, lParam);
        }
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(hwnd(), &paint);
        RECT client{};
        GetClientRect(hwnd(), &client);
        HBRUSH background = CreateSolidBrush(taskbar_);
        FillRect(dc, &client, background);
        DeleteObject(background);
        int y = spacing;
        for (int size : sizes) {
            for (int column = 0; column < icons; ++column) {
                const int resource = column < icons - 1
                                         ? trayIconForLevel(static_cast<std::uint32_t>(column))
                                         : IDI_APPLICATION_ICON;
                HICON icon = loadIcon(resource, size);
                DrawIconEx(dc, spacing + column * (32 + spacing), y, icon, size, size, 0, nullptr,
                           DI_NORMAL);
                DestroyIcon(icon);
            }
            y += size + spacing;
        }
        EndPaint(hwnd(), &paint);
        return 0;
    }

private:
    COLORREF taskbar_;
};

std::unique_ptr<CSubclassedWindow> strip(HWND window, COLORREF taskbar) {
    auto control = std::make_unique<CIconStrip>(taskbar);
    control->subclassWindow(window);
    InvalidateRect(window, nullptr, TRUE);
    return control;
}

constexpr Scene scenes[] = {
    {"tray-icons-dark-taskbar", L"STATIC", 0, width, height,
     [](HWND window) { return strip(window, RGB(32, 32, 32)); }},
    {"tray-icons-light-taskbar", L"STATIC", 0, width, height,
     [](HWND window) { return strip(window, RGB(243, 243, 243)); }},
};

} // namespace

std::span<const Scene> iconScenes() {
    return scenes;
}

} // namespace kestrum
