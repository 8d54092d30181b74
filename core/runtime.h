// Start-up and shutdown of every module in a fixed order, and the error box.
#pragma once
#include <cstdint>

namespace Runtime {
// Starts every module, runs the experiment, shuts down; never returns.
[[noreturn]] void Run();
void Startup();
// End hooks in their fixed order, then the process ends with exit code 0.
// Every way out of the experiment comes here.
[[noreturn]] void Shutdown();
// Modal box with one OK button; the text also goes to standard error.
int32_t ShowErrorBox(const char* title, const char* text);

// Termination signals (interrupt, terminate, hang-up) only set a flag; the
// response wait reads it and ends the run through the normal shutdown.
void InstallStopSignals();
int32_t StopRequested();
}  // namespace Runtime
