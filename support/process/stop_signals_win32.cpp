// Console events only raise a flag: the run ends through the ordinary
// shutdown at the next place that checks it.
//
// The system calls the handler on a thread of its own. For Ctrl+C and
// Ctrl+Break returning is enough. For a closed console, a log-off or a shut-
// down the system ends the process as soon as the handler returns, so the
// handler holds on while the main thread shuts down; the main thread's exit
// ends this thread with the process. The wait is bounded because the system
// does not wait longer than about five seconds either. (A process that has
// loaded user32 gets no log-off or shut-down event here; its windows are told
// instead.)
//
// The program is a Windows program: started from a console it attaches to
// that console here, so that Ctrl+C and Ctrl+Break reach it as they did.
#include <windows.h>

#include <atomic>

#include "support/process/process.h"

namespace {
std::atomic<int32_t> stopRequested{0};

constexpr DWORD ShutdownGraceMs = 5000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            Process::RequestStop();
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            Process::RequestStop();
            Sleep(ShutdownGraceMs);
            return TRUE;
        default:
            return FALSE;
    }
}
}  // namespace

namespace Process {
void InstallStopHandlers() {
    if (!GetConsoleWindow()) AttachConsole(ATTACH_PARENT_PROCESS);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int32_t StopRequested() { return stopRequested.load() != 0 ? 1 : 0; }

void RequestStop() { stopRequested = 1; }
}  // namespace Process
