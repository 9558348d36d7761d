#include "shell/app/DetailsDialog.h"

#include "shell/app/ConnectionDetails.h"
#include "shell/app/ResourceIds.h"
#include "shell/framework/TextConversion.h"

#include <string>

namespace kestrum {

namespace {

std::wstring editText(HWND edit) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Setting a text clears the selection; one that stays the same is left alone, and a changed
// one gets the selection back as far as the new text reaches.
void showText(HWND edit, const std::wstring& text) {
    if (editText(edit) == text) {
        return;
    }
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SetWindowTextW(edit, text.c_str());
    SendMessageW(edit, EM_SETSEL, start, end);
}

} // namespace

CDetailsDialog::CDetailsDialog() : CCompanionDialog(IDD_DETAILS) {}

void CDetailsDialog::open(HWND over, const MonitorDisplay& display) {
    const bool wasOpen = visible();
    refresh(display);
    CCompanionDialog::open(over);
    // Enter and Escape close it at once; Tab leads to the values.
    if (!wasOpen) {
        SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(IDOK)), TRUE);
    }
}

void CDetailsDialog::refresh(const MonitorDisplay& display) {
    for (const DetailsRow& row : describeConnection(display)) {
        showText(item(row.controlId), utf8ToWide(row.text.c_str()));
    }
}

} // namespace kestrum
