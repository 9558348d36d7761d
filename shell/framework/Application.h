#pragma once

#include <string>
#include <vector>
#include <windows.h>

namespace kestrum {

class CDialog;

// The application object of the small dialog framework: one per process. It runs the message
// loop and lets the modeless dialogs handle their keyboard navigation.
class CApplication {
public:
    // titleString: the string resource that titles the program's message boxes.
    explicit CApplication(int titleString);
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;
    virtual ~CApplication();

    // Null before the application object exists and after it is gone.
    static CApplication* current();

    // Start-up, then the message loop until WM_QUIT, then exitInstance; returns the exit code.
    int run();
    // Runs the message loop until WM_QUIT; returns its exit code.
    int messageLoop();
    // Handles every message already queued, without waiting for more; false after WM_QUIT.
    bool pumpPending();

    // The never-shown owner of the application's windows.
    CDialog* mainWindow() const { return mainWindow_; }
    void setMainWindow(CDialog* window) { mainWindow_ = window; }

    // Modeless dialogs take part in IsDialogMessage while they exist.
    void addModeless(HWND dialog);
    void removeModeless(HWND dialog);

    // Every message box of the program goes through here; the text is UTF-8.
    virtual int messageBox(HWND owner, const char* text, UINT type);
    // A string resource of the program, empty when it has none.
    static std::wstring loadString(int id);

protected:
    // False ends the program before the message loop.
    virtual bool initInstance() = 0;
    virtual int exitInstance(int exitCode) { return exitCode; }

private:
    void dispatch(MSG& message);

    const int titleString_;
    CDialog* mainWindow_ = nullptr;
    std::vector<HWND> modeless_;
};

} // namespace kestrum
