// Start-up and shutdown of every module in their fixed order.
#include "program/runtime.h"

#include "app/check/timing_check.h"
#include "app/experiment.h"
#include "display/app_window.h"
#include "display/backend.h"
#include "display/desktop.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "display/text_painter.h"
#include "support/files/directory.h"
#include "support/files/settings_file.h"
#include "support/files/text_file.h"
#include "support/process/process.h"

namespace {
// Every way out of the experiment comes here, through Process::End.
void Shutdown() {
    SettingsFile::Shutdown();
    KeyboardState::Close();
    Screen::Close();
    AppWindow::Shutdown();
    FontHandle::Shutdown();
    DirectoryScan::Shutdown();
    // Writes out and closes every file, the results log included.
    TextFile::Shutdown();
    DesktopInfo::Shutdown();
    DisplayBackend::Shutdown();
}

void Startup() {
    TextFile::Startup();
    FontHandle::Startup();
    AppWindow::Startup();
    SettingsFile::Startup();
    Process::SetEndSequence(Shutdown);
    Process::InstallStopHandlers();
}
}  // namespace

namespace Runtime {
void Run() {
    Startup();
    RunExperiment();
}

void RunCheck(const char* version) {
    Startup();
    RunTimingCheck(version);
}
}  // namespace Runtime
