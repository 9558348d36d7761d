#include "shell/framework/Application.h"

#include "shell/framework/SubclassedWindow.h"
#include "shell/framework/TextConversion.h"

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
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            return got == 0 ? static_cast<int>(message.wParam) : 1;
        }
        dispatch(message);
    }
}

bool CApplication::pumpPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
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
        if (IsWindow(modeless_[i]) && IsDialogMessageW(modeless_[i], &message)) {
            return;
        }
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void CApplication::addModeless(HWND dialog) {
    modeless_.push_back(dialog);
}

void CApplication::removeModeless(HWND dialog) {
    modeless_.erase(std::remove(modeless_.begin(), modeless_.end(), dialog), modeless_.end());
}

int CApplication::messageBox(HWND owner, const char* text, UINT type) {
    return MessageBoxW(owner, utf8ToWide(text).c_str(), loadString(titleString_).c_str(), type);
}

std::wstring CApplication::loadString(int id) {
    // With no buffer size the call hands out the resource's own text, which has no terminator.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id),
                                   reinterpret_cast<wchar_t*>(&text), 0);
    return length > 0 && text != nullptr ? std::wstring(text, static_cast<std::size_t>(length))
                                         : std::wstring();
}

} // namespace kestrum
