// kestrum.exe: the gateway traffic monitor in the notification area.

#include "shell/app/CommandLine.h"
#include "shell/app/MonitorApp.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    kestrum::StartOptions options;
    std::string error;
    if (!kestrum::parseCommandLine(GetCommandLineW(), options, error)) {
        kestrum::showCommandLineError(error);
        return 2;
    }
    if (options.help) {
        kestrum::showUsage();
        return 0;
    }
    // The compiler's date, or SOURCE_DATE_EPOCH's when set, so that builds are
    // reproducible.
    kestrum::CMonitorApp application(__DATE__);
    application.setStartOptions(options);
    return application.run();
}
