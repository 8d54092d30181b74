// Lines for the console the program was started from, or for the files its
// standard handles were redirected to. A console can stall a writer for as
// long as the user likes (a selection in QuickEdit mode), so a thread of its
// own writes them, and only the end of the process waits for it, briefly.
#include <windows.h>

#include <deque>
#include <string>

#include "support/process/process.h"

namespace {

constexpr DWORD FinishMs = 250;

struct Line {
    DWORD stream;  // STD_OUTPUT_HANDLE or STD_ERROR_HANDLE
    std::string text;
};

struct Writer {
    CRITICAL_SECTION lock;
    HANDLE queued;  // auto-reset: lines to write
    HANDLE idle;    // manual-reset: nothing queued or being written
    std::deque<Line> lines;
    HANDLE console;  // the attached console's output, opened on first need
};

// Never freed: the thread may still be stuck in a write when the process ends.
Writer* writer = nullptr;
INIT_ONCE started = INIT_ONCE_STATIC_INIT;

HANDLE Target(DWORD stream) {
    HANDLE handle = GetStdHandle(stream);
    if (handle && handle != INVALID_HANDLE_VALUE) return handle;
    // Attached to a console without inherited handles: a Windows program's
    // standard handles stay empty then.
    if (!writer->console && GetConsoleWindow())
        writer->console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
    return writer->console;
}

DWORD WINAPI WriteLines(void*) {
    for (;;) {
        WaitForSingleObject(writer->queued, INFINITE);
        for (;;) {
            EnterCriticalSection(&writer->lock);
            if (writer->lines.empty()) {
                SetEvent(writer->idle);
                LeaveCriticalSection(&writer->lock);
                break;
            }
            Line line = std::move(writer->lines.front());
            writer->lines.pop_front();
            LeaveCriticalSection(&writer->lock);
            HANDLE target = Target(line.stream);
            if (!target || target == INVALID_HANDLE_VALUE) continue;
            DWORD written = 0;
            for (size_t at = 0; at < line.text.size(); at += written)
                if (!WriteFile(target, line.text.data() + at, static_cast<DWORD>(line.text.size() - at),
                               &written, nullptr) ||
                    written == 0)
                    break;
        }
    }
}

BOOL CALLBACK StartWriter(INIT_ONCE*, void*, void**) {
    auto* w = new Writer{};
    InitializeCriticalSection(&w->lock);
    w->queued = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    w->idle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    writer = w;
    HANDLE thread = w->queued && w->idle ? CreateThread(nullptr, 0, WriteLines, nullptr, 0, nullptr) : nullptr;
    if (!thread) {
        writer = nullptr;
        return FALSE;
    }
    CloseHandle(thread);
    return TRUE;
}

}  // namespace

namespace Process {

void WriteConsoleLine(ConsoleStream stream, std::string_view text) {
    if (!InitOnceExecuteOnce(&started, StartWriter, nullptr, nullptr) || !writer) return;
    Line line{stream == StandardOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, std::string(text)};
    line.text += "\r\n";
    EnterCriticalSection(&writer->lock);
    writer->lines.push_back(std::move(line));
    ResetEvent(writer->idle);
    LeaveCriticalSection(&writer->lock);
    SetEvent(writer->queued);
}

void FinishConsoleLines() {
    if (writer) WaitForSingleObject(writer->idle, FinishMs);
}

// As the writer's Target decides, without opening anything.
int32_t ConsoleReaches(ConsoleStream stream) {
    const HANDLE handle = GetStdHandle(stream == StandardOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    return (handle && handle != INVALID_HANDLE_VALUE) || GetConsoleWindow() ? 1 : 0;
}

}  // namespace Process
