// The end of the process and the stop request, reachable from every layer.
//
// The program's top installs its shutdown sequence here; a lower layer that
// must end the run (a failed check, a quit) calls Process::End and never has
// to know what the sequence closes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace Process {
using EndSequence = void (*)();
void SetEndSequence(EndSequence sequence);
// Runs the end sequence once, then ends the process with exit code 0.
[[noreturn]] void End();

// Termination requests (signals on POSIX, console events on Windows) only
// set a flag; the places that may wait long read it and end the run
// through End, so no answered line is lost.
void InstallStopHandlers();
int32_t StopRequested();
// Ends the run through End when a stop was requested; for loops that may
// take long.
void EndIfStopRequested();
// The same request from inside the program (the user's session ends).
void RequestStop();

// The text and a line end on standard output or standard error; on Windows
// on the console the program was started from, if any. Never waits for the
// console: a stalled one must hold up neither a box nor the run.
enum ConsoleStream : int32_t { StandardOutput = 1, StandardError = 2 };
void WriteConsoleLine(ConsoleStream stream, std::string_view text);
// Non-zero when such lines reach anyone: always on POSIX; on Windows when the
// program has a console or the stream was handed to it (a file, a pipe), not
// when it was started from Explorer or a shortcut.
int32_t ConsoleReaches(ConsoleStream stream);
// Gives lines still on their way a moment to arrive; End calls it.
void FinishConsoleLines();

// The computer's name, operating system and processor count in one line,
// for reports.
std::string SystemDescription();
}  // namespace Process
