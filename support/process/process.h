// The end of the process and the stop request, reachable from every layer.
//
// The program's top installs its shutdown sequence here; a lower layer that
// must end the run (a failed check, a quit) calls Process::End and never has
// to know what the sequence closes.
#pragma once
#include <cstdint>

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
}  // namespace Process
