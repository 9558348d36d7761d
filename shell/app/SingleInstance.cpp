#include "shell/app/SingleInstance.h"

#include "shell/app/AppMessages.h"
#include "shell/app/ResourceIds.h"

namespace kestrum {

namespace {

// How often a later start looks for the first one's window while it waits.
constexpr DWORD lookAgain = 100;

} // namespace

CSingleInstance::CSingleInstance(const wchar_t* name) : name_(name) {}

CSingleInstance::~CSingleInstance() {
    if (owned_) {
        ReleaseMutex(mutex_);
    }
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

bool CSingleInstance::claim() {
    if (mutex_ == nullptr) {
        mutex_ = CreateMutexW(nullptr, TRUE, (L"Local\\" + name_).c_str());
        // An existing mutex is opened, not owned.
        owned_ = mutex_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
    }
    // Without a mutex nothing can be shared: run alone rather than not at all.
    return mutex_ == nullptr || owned_;
}

CSingleInstance::HandOver CSingleInstance::handOver(DWORD patience) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        if (HWND window = findMainWindow(name_.c_str()); window != nullptr && waited < patience) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            allowForeground(process);
            DWORD_PTR opened = FALSE;
            if (SendMessageTimeoutW(window, WM_OPEN_REQUEST, 0, 0, SMTO_ABORTIFHUNG,
                                    patience - waited, &opened) != 0 &&
                opened != FALSE) {
                return HandOver::Opened;
            }
        }
        if (take(lookAgain)) {
            return HandOver::BecameFirst;
        }
        if (GetTickCount() - start >= patience) {
            return HandOver::NoAnswer;
        }
    }
}

void CSingleInstance::allowForeground(DWORD processId) {
    AllowSetForegroundWindow(processId);
}

HWND CSingleInstance::findMainWindow(const wchar_t* name) {
    return FindWindowW(L"" MAIN_WINDOW_CLASS, name);
}

// The first instance released the mutex, or ended without releasing it.
bool CSingleInstance::take(DWORD milliseconds) {
    if (mutex_ == nullptr || owned_) {
        return true;
    }
    const DWORD result = WaitForSingleObject(mutex_, milliseconds);
    owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return owned_;
}

} // namespace kestrum
