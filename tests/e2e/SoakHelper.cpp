// kestrum-soak-helper: watches the running kestrum.exe from the same Wine session for the soak
// test.
//
//   sample SECONDS INTERVAL   every INTERVAL seconds print one line
//                             "UNIX_MS gdi=N user=N handles=N rss_kb=N private_kb=N cpu_ms=N"
//                             about the process that owns the Kestrum window, for SECONDS
//   tray-restart SECONDS      take the program's icon out of the notification area, as a shell
//                             that restarts loses it, broadcast "TaskbarCreated" and wait for
//                             the icon to come back; fails when it does not
//
// Wine's GetGuiResources returns 0: GDI objects are then counted in the process's own handle
// table, and USER objects as the windows the process owns.

#include "tools/sandbox/WineSession.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <windows.h>
// These need windows.h first.
#include <shellapi.h>
#include <winternl.h>

namespace {

using namespace kestrum::sandbox;

constexpr UINT trayIconId = 131;

// The GDI handle table that the process environment block points to (offset 0xF8 on x64):
// 65536 entries of 24 bytes, the object's type in byte 14, 0 for a free entry. Handles are taken
// from the bottom, so the reading stops after a stretch of free entries: reading the whole
// table would bring 1.5 MB of it into the program's memory.
int usedGdiHandleEntries(HANDLE process) {
    constexpr std::size_t tableOffset = 0xF8;
    constexpr std::size_t entryCount = 0x10000;
    constexpr std::size_t entrySize = 24;
    constexpr std::size_t typeOffset = 14;
    constexpr std::size_t chunkEntries = 512;
    constexpr int freeChunksToStop = 8;
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) != 0) {
        return -1;
    }
    const auto* environment = reinterpret_cast<const char*>(basic.PebBaseAddress);
    const char* table = nullptr;
    if (!ReadProcessMemory(process, environment + tableOffset, &table, sizeof table, nullptr) ||
        table == nullptr) {
        return -1;
    }
    std::vector<unsigned char> chunk(chunkEntries * entrySize);
    int used = 0;
    int freeChunks = 0;
    for (std::size_t first = 0; first < entryCount && freeChunks < freeChunksToStop;
         first += chunkEntries) {
        if (!ReadProcessMemory(process, table + first * entrySize, chunk.data(), chunk.size(),
                               nullptr)) {
            return -1;
        }
        int usedHere = 0;
        for (std::size_t entry = 0; entry < chunkEntries; ++entry) {
            usedHere += chunk[entry * entrySize + typeOffset] != 0 ? 1 : 0;
        }
        used += usedHere;
        freeChunks = usedHere == 0 ? freeChunks + 1 : 0;
    }
    return used;
}

struct WindowCount {
    DWORD processId;
    int count;
};

BOOL CALLBACK countChild(HWND window, LPARAM parameter) {
    auto& counted = *reinterpret_cast<WindowCount*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    counted.count += owner == counted.processId ? 1 : 0;
    return TRUE;
}

BOOL CALLBACK countTopLevel(HWND window, LPARAM parameter) {
    countChild(window, parameter);
    EnumChildWindows(window, countChild, parameter);
    return TRUE;
}

int ownedWindows(DWORD processId) {
    WindowCount counted{processId, 0};
    EnumWindows(countTopLevel, reinterpret_cast<LPARAM>(&counted));
    return counted.count;
}

// What the system's process list says of one process: handles, memory and CPU time.
struct ProcessFigures {
    unsigned long handles = 0;
    unsigned long long workingSetKb = 0;
    unsigned long long privateKb = 0;
    unsigned long long cpuMs = 0;
};

bool processFigures(DWORD processId, ProcessFigures& figures) {
    static std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004L)) { // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed));
    }
    if (status != 0) {
        return false;
    }
    for (std::size_t offset = 0;;) {
        const auto* process =
            reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (reinterpret_cast<ULONG_PTR>(process->UniqueProcessId) == processId) {
            // Wine fills in the times of the live threads only, Windows those of the process.
            const auto* threads = reinterpret_cast<const SYSTEM_THREAD_INFORMATION*>(process + 1);
            unsigned long long threadTicks = 0;
            for (ULONG i = 0; i < process->NumberOfThreads; ++i) {
                threadTicks += static_cast<unsigned long long>(threads[i].Reserved1[0].QuadPart +
                                                               threads[i].Reserved1[1].QuadPart);
            }
            const auto processTicks = static_cast<unsigned long long>(process->UserTime.QuadPart +
                                                                      process->KernelTime.QuadPart);
            figures.handles = process->HandleCount;
            figures.workingSetKb = process->VirtualMemoryCounters.WorkingSetSize / 1024;
            figures.privateKb = process->PrivatePageCount / 1024;
            figures.cpuMs = std::max(processTicks, threadTicks) / 10000;
            return true;
        }
        if (process->NextEntryOffset == 0) {
            return false;
        }
        offset += process->NextEntryOffset;
    }
}

int sample(int seconds, int interval) {
    HWND window = findMonitorWindow();
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = window == nullptr
                         ? nullptr
                         : OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE,
                                       FALSE, processId);
    if (process == nullptr) {
        std::fprintf(stderr, "no Kestrum process\n");
        return 1;
    }
    const long long end = unixMilliseconds() + seconds * 1000LL;
    ProcessFigures figures;
    // The wait ends early when the process does.
    do {
        if (!processFigures(processId, figures)) {
            break;
        }
        const DWORD gui = GetGuiResources(process, GR_GDIOBJECTS);
        const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
        std::printf("%lld gdi=%d user=%d handles=%lu rss_kb=%llu private_kb=%llu cpu_ms=%llu\n",
                    unixMilliseconds(),
                    gui != 0 ? static_cast<int>(gui) : usedGdiHandleEntries(process),
                    user != 0 ? static_cast<int>(user) : ownedWindows(processId), figures.handles,
                    figures.workingSetKb, figures.privateKb, figures.cpuMs);
        std::fflush(stdout);
    } while (unixMilliseconds() < end &&
             WaitForSingleObject(process, static_cast<DWORD>(interval) * 1000) == WAIT_TIMEOUT);
    CloseHandle(process);
    return 0;
}

// NIM_MODIFY that changes nothing succeeds only for an icon the notification area holds.
bool iconPresent(HWND window) {
    NOTIFYICONDATAW record{};
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.hWnd = window;
    record.uID = trayIconId;
    return Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

int trayRestart(HWND window, int seconds) {
    if (!iconPresent(window)) {
        std::fprintf(stderr, "the icon is not in the notification area to begin with\n");
        return 1;
    }
    NOTIFYICONDATAW record{};
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.hWnd = window;
    record.uID = trayIconId;
    if (!Shell_NotifyIconW(NIM_DELETE, &record) || iconPresent(window)) {
        std::fprintf(stderr, "could not take the icon out of the notification area\n");
        return 1;
    }
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
    if (!waitFor(seconds, [&] { return iconPresent(window); })) {
        std::fprintf(stderr, "the icon did not come back after \"TaskbarCreated\"\n");
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "sample" && argc == 4) {
        return sample(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    HWND window = findMonitorWindow();
    if (window == nullptr) {
        std::fprintf(stderr, "no Kestrum window\n");
        return 1;
    }
    if (command == "tray-restart" && argc == 3) {
        return trayRestart(window, std::atoi(argv[2]));
    }
    std::fprintf(stderr, "usage: kestrum-soak-helper sample SECONDS INTERVAL | tray-restart "
                         "SECONDS\n");
    return 2;
}
