#include "shell/app/HiddenOwnerDialog.h"

#include "shell/app/ResourceIds.h"

namespace kestrum {

CHiddenOwnerDialog::CHiddenOwnerDialog() : CDialog(IDD_HIDDEN_OWNER) {}

bool CHiddenOwnerDialog::onInitDialog() {
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APPLICATION_ICON));
    SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    return true;
}

} // namespace kestrum
