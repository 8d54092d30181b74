// Opens the one drawing surface the settings ask for, the keyboard and font 1.
#include "app/experiment.h"
#include "display/app_window.h"
#include "display/desktop.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "display/text_painter.h"

namespace {
const char* const Title = "wordtap";
// Caption, system menu with close box, minimise box: not resizable.
constexpr uint32_t WindowStyle = 0xCA0000;
constexpr int32_t PresentAtRetrace = 2;
constexpr int32_t FontNumber = 1;

void OpenWindowed() {
    if (AppWindow::Open(0, AppWindow::DefaultPosition, AppWindow::DefaultPosition, Settings::Width,
                        Settings::Height, Title, WindowStyle, 0) == 0)
        AssertOrDie(86, DisplaySuffix);
    if (Screen::OpenInWindow(AppWindow::NativeHandle(0), 0, 0, Settings::Width, Settings::Height, 0,
                             0, 0, PresentAtRetrace) == 0)
        AssertOrDie(90, DisplaySuffix);
}

void OpenFullAtDesktopMode() {
    DesktopInfo::Enumerate();
    if (Screen::OpenFull(DesktopInfo::Width(0), DesktopInfo::Height(0), DesktopInfo::Depth(0), Title,
                         PresentAtRetrace, DesktopInfo::RefreshHz(0)) == 0)
        AssertOrDie(73, DisplaySuffix);
    DisplaySize::Width = DesktopInfo::Width(0);
    DisplaySize::Height = DesktopInfo::Height(0);
}

void OpenFullAtConfiguredMode() {
    if (Screen::OpenFull(Settings::Width, Settings::Height, 32, Title, PresentAtRetrace, -1) == 0)
        AssertOrDie(81, DisplaySuffix);
}
}  // namespace

int32_t InitDisplay() {
    // Neither result matters here: without a drawing system the open fails.
    KeyboardState::Init();
    Screen::InitSystem();

    DisplaySize::Width = Settings::Width;
    DisplaySize::Height = Settings::Height;
    if (Settings::Fullscreen == 0)
        OpenWindowed();
    else if (Settings::UseNativeResolution != 0)
        OpenFullAtDesktopMode();
    else
        OpenFullAtConfiguredMode();

    // Physical key positions, system key left alone.
    KeyboardState::SetMode(KeyboardState::KeepSystemKey);

    const int32_t points = DisplaySize::Height / 30;
    if (FontHandle::Load(FontNumber, "Calibri", points, DisplayBackend::FontHighQuality) == 0)
        FontHandle::Load(FontNumber, "Arial", points, DisplayBackend::FontHighQuality);
    return 0;
}
