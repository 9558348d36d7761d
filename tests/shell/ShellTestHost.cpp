#include "tests/shell/ShellTestHost.h"

#include "shell/framework/SubclassedWindow.h"

#include <algorithm>
#include <cstdint>
#include <winternl.h>

namespace kestrum::test {

namespace {

constexpr const wchar_t* hostClass = L"KestrumShellTestHost";
constexpr int spacing = 8;
constexpr int slotColumns = 2;
constexpr int slotRows = 3;

ATOM registerHostClass(WNDPROC procedure) {
    static const ATOM atom = [procedure] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = hostClass;
        return RegisterClassW(&windowClass);
    }();
    return atom;
}

// Test programs run side by side on one display; windows that overlap would paint over each
// other, so each process takes a free place on the screen, held by a named mutex until it ends.
int claimSlot() {
    for (int index = 0; index < slotColumns * slotRows; ++index) {
        const std::wstring name = L"Kestrum.ShellTestHost.Slot" + std::to_wstring(index);
        HANDLE mutex = CreateMutexW(nullptr, TRUE, name.c_str());
        if (mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) {
            return index;
        }
        if (mutex != nullptr) {
            CloseHandle(mutex);
        }
    }
    return 0; // all taken: share the first place rather than not run
}

// One window serves every host of the process, and the process's end removes it: under Wine
// without a window manager, taking a window off the display costs two seconds.
HWND sharedWindow(WNDPROC procedure) {
    static const HWND window = [procedure] {
        registerHostClass(procedure);
        const int slot = claimSlot();
        const int left = (slot % slotColumns) * (ShellTestHost::clientWidth + spacing);
        const int top = (slot / slotColumns) * (ShellTestHost::clientHeight + spacing);
        // A popup has no frame, so its client area is the whole window.
        return CreateWindowExW(0, hostClass, L"Kestrum test", WS_POPUP | WS_VISIBLE, left, top,
                               ShellTestHost::clientWidth, ShellTestHost::clientHeight, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
    }();
    return window;
}

void putLittleEndian(std::vector<char>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
    }
}

// The GDI handle table that the process environment block points to (offset 0xF8 on x64):
// 65536 entries of 24 bytes, the object's type in byte 14, 0 for a free entry.
int usedGdiHandleEntries() {
    constexpr std::size_t tableOffset = 0xF8;
    constexpr std::size_t entryCount = 0x10000;
    constexpr std::size_t entrySize = 24;
    constexpr std::size_t typeOffset = 14;
    PROCESS_BASIC_INFORMATION process{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &process,
                                  sizeof(process), nullptr) != 0) {
        return 0;
    }
    const auto* environment = reinterpret_cast<const unsigned char*>(process.PebBaseAddress);
    const auto* table = *reinterpret_cast<const unsigned char* const*>(environment + tableOffset);
    if (table == nullptr) {
        return 0;
    }
    int used = 0;
    for (std::size_t entry = 0; entry < entryCount; ++entry) {
        used += table[entry * entrySize + typeOffset] != 0 ? 1 : 0;
    }
    return used;
}

} // namespace

int ShellTestHost::gdiObjectCount() {
    const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    return counted != 0 ? static_cast<int>(counted) : usedGdiHandleEntries();
}

bool ShellTestHost::displayAvailable() {
    if (registerHostClass(&hostProc) == 0) {
        return false;
    }
    HWND probe = CreateWindowExW(0, hostClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) {
        return false;
    }
    DestroyWindow(probe);
    return true;
}

ShellTestHost::ShellTestHost() : window_(sharedWindow(&hostProc)) {
    nextX_ = spacing;
    nextY_ = spacing;
    pumpMessages();
}

ShellTestHost::~ShellTestHost() {
    for (HWND child = nullptr; (child = GetWindow(window_, GW_CHILD)) != nullptr;) {
        if (!DestroyWindow(child)) {
            break;
        }
    }
    pumpMessages();
}

HWND ShellTestHost::createControl(int width, int height, const wchar_t* className, DWORD style,
                                  const wchar_t* text, int id) {
    if (nextX_ + width + spacing > clientWidth && nextX_ > spacing) {
        nextX_ = spacing;
        nextY_ += rowHeight_ + spacing;
        rowHeight_ = 0;
    }
    if (nextY_ + height + spacing > clientHeight) {
        nextY_ = spacing;
    }
    const DWORD fullStyle = style | WS_CHILD | WS_VISIBLE;
    // The window rectangle that gives exactly this client size with the style's borders.
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, fullStyle, FALSE, 0);
    HWND control = CreateWindowExW(0, className, text, fullStyle, nextX_, nextY_,
                                   frame.right - frame.left, frame.bottom - frame.top, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    nextX_ += frame.right - frame.left + spacing;
    rowHeight_ = std::max(rowHeight_, static_cast<int>(frame.bottom - frame.top));
    pumpMessages();
    return control;
}

void ShellTestHost::pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (CSubclassedWindow::preTranslate(message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void ShellTestHost::capture(HWND control) {
    pumpMessages();
    RECT client{};
    GetClientRect(control, &client);
    width_ = client.right;
    height_ = client.bottom;
    pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(control);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory != nullptr && section != nullptr) {
        HGDIOBJ previous = SelectObject(memory, section);
        BitBlt(memory, 0, 0, width_, height_, screen, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* row = static_cast<const std::uint32_t*>(bits);
        for (std::size_t i = 0; i < pixels_.size(); ++i) {
            const std::uint32_t bgr = row[i];
            pixels_[i] = RGB((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
        }
        SelectObject(memory, previous);
    }
    if (section != nullptr) {
        DeleteObject(section);
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    ReleaseDC(control, screen);
}

COLORREF ShellTestHost::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return CLR_INVALID;
    }
    return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                   static_cast<std::size_t>(x)];
}

bool ShellTestHost::saveBitmap(const std::wstring& path) const {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width_) * 3 + 3) & ~3u;
    const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(height_);
    std::vector<char> file;
    file.reserve(54 + imageBytes);
    file.push_back('B');
    file.push_back('M');
    putLittleEndian(file, 54 + imageBytes, 4);
    putLittleEndian(file, 0, 4);
    putLittleEndian(file, 54, 4);
    putLittleEndian(file, 40, 4);
    putLittleEndian(file, static_cast<std::uint32_t>(width_), 4);
    putLittleEndian(file, static_cast<std::uint32_t>(height_), 4); // bottom-up rows
    putLittleEndian(file, 1, 2);
    putLittleEndian(file, 24, 2);
    putLittleEndian(file, 0, 4);
    putLittleEndian(file, imageBytes, 4);
    putLittleEndian(file, 2835, 4); // 72 dots per inch
    putLittleEndian(file, 2835, 4);
    putLittleEndian(file, 0, 4);
    putLittleEndian(file, 0, 4);
    for (int y = height_ - 1; y >= 0; --y) {
        std::uint32_t written = 0;
        for (int x = 0; x < width_; ++x, written += 3) {
            const COLORREF colour = pixel(x, y);
            file.push_back(static_cast<char>(GetBValue(colour)));
            file.push_back(static_cast<char>(GetGValue(colour)));
            file.push_back(static_cast<char>(GetRValue(colour)));
        }
        for (; written < rowBytes; ++written) {
            file.push_back(0);
        }
    }
    HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD done = 0;
    const bool wrote =
        WriteFile(out, file.data(), static_cast<DWORD>(file.size()), &done, nullptr) &&
        done == file.size();
    return CloseHandle(out) && wrote;
}

LRESULT CALLBACK ShellTestHost::hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DRAWITEM:
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        LRESULT result = 0;
        if (reflectToChild(window, message, wParam, lParam, result)) {
            return result;
        }
        break;
    }
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace kestrum::test
