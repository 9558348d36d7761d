#pragma once

#include <string>
#include <windows.h>

namespace kestrum {

// One Kestrum per session. The first start holds a mutex named in the session's namespace; a
// later start finds the first one's main window (a class of its own, titled with the same
// name) and asks it to open the monitor window, which users do when the icon sits unseen in
// the notification area's overflow.
class CSingleInstance {
public:
    static constexpr const wchar_t* programName = L"Kestrum";

    enum class HandOver {
        Opened,      // the first instance opened its window
        BecameFirst, // the first instance ended meanwhile; this one now holds the mutex
        NoAnswer,    // the first instance neither answered nor ended in time
    };

    explicit CSingleInstance(const wchar_t* name = programName);
    virtual ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True for the first instance of the session.
    bool claim();
    // A later start: asks the first instance to open its window, for at most `patience`
    // milliseconds. A first instance that is still starting or already ending does not answer
    // yet; one that ends meanwhile leaves its place to this one.
    HandOver handOver(DWORD patience);

    // The main window a later start asks.
    static HWND findMainWindow(const wchar_t* name);

protected:
    // Lets the first instance take the foreground, which Windows grants only to a program the
    // user just used or to one such a program allows: this start came from the user.
    virtual void allowForeground(DWORD processId);

private:
    bool take(DWORD milliseconds);

    std::wstring name_;
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

} // namespace kestrum
