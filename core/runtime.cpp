// Start-up and shutdown of every module in their fixed order, and the box
// through which a failed check reaches the user.
#include "core/runtime.h"

#include <cstdio>
#include <cstdlib>

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

namespace Runtime {

void Startup() {
    TextFile::Startup();
    FontHandle::Startup();
    AppWindow::Startup();
    SettingsFile::Startup();
    InstallStopSignals();
}

void Run() {
    Startup();
    RunExperiment();
}

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
    std::fflush(nullptr);
    // Every way out ends with exit code 0, also after a failed check.
    std::exit(0);
}

int32_t ShowErrorBox(const char* title, const char* text) {
    // Standard error first: it is all a user sees when no display can open.
    std::fprintf(stderr, "%s\n", text != nullptr ? text : "");
    std::fflush(stderr);
    return DisplayBackend::MessageBox(title != nullptr ? title : "", text != nullptr ? text : "");
}

}  // namespace Runtime
