#include "shell/framework/DialogDpi.h"

#include "shell/framework/SubclassedWindow.h"

namespace kestrum {

namespace {

// Both since Windows 10; looked up so that the program still starts on older systems.
template <typename Function> Function user32Function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// DDC_DISABLE_ALL: the dialog manager neither resizes the dialog nor lays out or re-fonts its
// controls; our scaling does all of it.
constexpr DWORD dialogManagerScalingOff = 0x0001;

} // namespace

int windowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

CDialogDpi::~CDialogDpi() {
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
}

void CDialogDpi::attach(HWND dialog) {
    using SetBehaviorFunction = BOOL(WINAPI*)(HWND, DWORD, DWORD);
    static const auto setBehavior =
        user32Function<SetBehaviorFunction>("SetDialogDpiChangeBehavior");
    if (setBehavior != nullptr) {
        setBehavior(dialog, dialogManagerScalingOff, dialogManagerScalingOff);
    }
    firstDpi_ = dpi_ = windowDpi(dialog);
}

void CDialogDpi::change(HWND dialog, int dpi, const RECT* suggested) {
    if (suggested != nullptr) {
        SetWindowPos(dialog, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (dpi <= 0 || dpi == dpi_) {
        return;
    }
    rememberLayout(dialog);
    dpi_ = dpi;

    HFONT font = firstFont_;
    HFONT created = nullptr;
    LOGFONTW description{};
    if (dpi != firstDpi_ && firstFont_ != nullptr &&
        GetObjectW(firstFont_, sizeof description, &description) != 0) {
        description.lfHeight = scaled(description.lfHeight);
        created = CreateFontIndirectW(&description);
        font = created != nullptr ? created : firstFont_;
    }
    for (const Child& child : children_) {
        if (!IsWindow(child.window)) {
            continue;
        }
        SetWindowPos(child.window, nullptr, scaled(child.rect.left), scaled(child.rect.top),
                     scaled(child.rect.right) - scaled(child.rect.left),
                     scaled(child.rect.bottom) - scaled(child.rect.top),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (font != nullptr) {
            SendMessageW(child.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        if (CSubclassedWindow::fromHandle(child.window) != nullptr) {
            SendMessageW(child.window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), 0);
        }
    }
    // Only now that no control uses it any more.
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    font_ = created;
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CDialogDpi::rememberLayout(HWND dialog) {
    if (layoutKnown_) {
        return;
    }
    layoutKnown_ = true;
    firstFont_ = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        children_.push_back({child, rect});
    }
}

int CDialogDpi::scaled(LONG value) const {
    return MulDiv(value, dpi_, firstDpi_);
}

} // namespace kestrum
