#include "shell/framework/DataExchange.h"

#include "shell/framework/Application.h"
#include "shell/framework/TextConversion.h"
#include "shell/framework/WindowText.h"

namespace kestrum {

void showUnsigned(HWND dialog, int id, std::uint32_t value) {
    SetDlgItemTextW(dialog, id, std::to_wstring(value).c_str());
}

std::string editText(HWND dialog, int id) {
    return wideToUtf8(windowText(GetDlgItem(dialog, id)));
}

void rejectEdit(HWND dialog, int id, const char* message) {
    CApplication* application = CApplication::current();
    if (application != nullptr) {
        application->messageBox(dialog, message, MB_OK | MB_ICONEXCLAMATION);
    }
    HWND edit = GetDlgItem(dialog, id);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
}

} // namespace kestrum
