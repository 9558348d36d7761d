// kestrum.exe: the gateway traffic monitor in the notification area.

#include "shell/app/CommandLine.h"
#include "shell/app/MonitorApp.h"
#include "shell/app/SingleInstance.h"

#include <windows.h>

namespace {

// How long a later start waits for the first one to open its window.
constexpr DWORD handOverPatience = 10000;

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // A command line that is not understood, and --help, get their answer also while another
    // Kestrum runs: the user asked for it.
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
    // A later start only brings the first one's window up, whatever its settings.
    kestrum::CSingleInstance instance;
    if (!instance.claim()) {
        const auto handOver = instance.handOver(handOverPatience);
        if (handOver != kestrum::CSingleInstance::HandOver::BecameFirst) {
            return handOver == kestrum::CSingleInstance::HandOver::Opened ? 0 : 1;
        }
    }
    // The compiler's date, or SOURCE_DATE_EPOCH's when set, so that builds are
    // reproducible.
    kestrum::CMonitorApp application(__DATE__);
    application.setStartOptions(options);
    return application.run();
}
