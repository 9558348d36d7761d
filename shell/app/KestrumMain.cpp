// kestrum.exe: the gateway traffic monitor in the notification area.

#include "shell/app/MonitorApp.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The compiler's date, or SOURCE_DATE_EPOCH's when set, so that builds are
    // reproducible.
    kestrum::CMonitorApp application(__DATE__);
    return application.run();
}
