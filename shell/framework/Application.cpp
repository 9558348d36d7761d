#include "shell/framework/Application.h"

#include "shell/framework/SubclassedWindow.h"

#include <algorithm>

namespace kestrum {

namespace {

CApplication* theApplication = nullptr;

} // namespace

CApplication::CApplication(int titleString) : titleString_(titleString) {
    theApplication = this;
}

CApplication::~CApplication() {
    if (theApplication == this) {
        theApplication = nullptr;
    }
}

CApplication* CApplication::current() {
    return theApplication;
}

int CApplication::run() {
    if (!initInstance()) {
        return exitInstance(1);
    }
    return exitInstance(messageLoop());
}

int CApplication::messageLoop() {
    MSG message;
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            return got == 0 ? static_cast<int>(message.wParam) : 1;
        }
        dispatch(message);
    }
}

bool CApplication::pumpPending() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            return false;
        }
        dispatch(message);
    }
    return true;
}

void CApplication::dispatch(MSG& message) {
    if (CSubclassedWindow::preTranslate(message)) {
        return;
    }
    // By index: a dialog may be created or destroyed while IsDialogMessage handles a key.
    for (std::size_t i = 0; i < modeless_.size(); ++i) {
        if (IsWindow(modeless_[i]) && IsDialogMessageA(modeless_[i], &message)) {
            return;
        }
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

void CApplication::addModeless(HWND dialog) {
    modeless_.push_back(dialog);
}

void CApplication::removeModeless(HWND dialog) {
    modeless_.erase(std::remove(modeless_.begin(), modeless_.end(), dialog), modeless_.end());
}

int CApplication::messageBox(HWND owner, const char* text, UINT type) {
    char title[64];
    return MessageBoxA(owner, text, loadString(titleString_, title, sizeof title), type);
}

const char* CApplication::loadString(int id, char* buffer, int size) {
    if (LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), buffer, size) <= 0) {
        buffer[0] = '\0';
    }
    return buffer;
}

} // namespace kestrum
