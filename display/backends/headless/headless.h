// The headless display backend: an in-memory back buffer, a fixed-metric
// font, keys and window events from a script, a configurable desktop. It is
// linked into tests only; the shipped program never contains it.
//
// Everything the backend sees is written to a trace, one line per event,
// appended to `traceFile` as it happens so that a test can read it after the
// program under test has ended its process.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "display/backend.h"

namespace Headless {

struct ScriptEvent {
    // SurfaceLost and SurfaceFails make every present from then on return
    // PresentLost or PresentFailed until SurfaceBack; Terminate asks the
    // program to stop as a termination signal does.
    enum Kind : int32_t {
        KeyDown, KeyUp, CloseRequest, FocusLost, FocusGained, Repaint,
        SurfaceLost, SurfaceFails, SurfaceBack, Terminate,
    };
    Kind kind;
    // Fires once `anchorPresent` presents have happened (0: from the start)
    // and `delayMicros` have passed since the anchor present returned.
    // Events fire in script order: an event never fires before the one ahead.
    int32_t anchorPresent;
    int64_t delayMicros;
    int32_t scanCode;  // key events only
};

struct Config {
    int32_t desktopWidth = 1024;
    int32_t desktopHeight = 768;
    int32_t desktopDepth = 32;
    int32_t desktopRefreshHz = 60;
    // Full-screen sizes offered besides the desktop's own.
    std::vector<std::pair<int32_t, int32_t>> extraModes;
    int32_t failInitSystem = 0;
    int32_t failKeyboard = 0;
    int32_t failWindow = 0;
    int32_t failSurface = 0;
    int32_t failFonts = 0;
    int32_t startFocused = 1;  // focus lost/gained later come from the script
    std::vector<ScriptEvent> script;
    std::string traceFile;       // empty: no trace
    std::string frameDirectory;  // non-empty: every presented frame saved as frame-NNNN.ppm
    int64_t (*nowMicros)() = nullptr;  // time source; null: the platform's counter
    void (*waitForRetrace)() = nullptr;  // called by every present with retrace
    // Keys typed by the timing check: 0 refuses them, as a display without a
    // way to type keys does; n > 0 loses the n-th tap, press and release.
    int32_t keyInjection = 1;
    int32_t loseInjectedTap = 0;
};

void Configure(const Config& config);

// Trace lines, in these forms (text is written raw, up to the line end):
//   present <n>                       the n-th present (from 1)
//   text <x> <y> <front> <back> <text>  a DrawText call (colours as 0xRRGGBB hex,
//                                     the text as UTF-8)
//   open-full <w> <h> <depth> <hz>    a successful full-screen open
//   open-window <w> <h> <title>       a successful window open
//   surface-in-window <w> <h>
//   close-surface / close-window
//   box <title>|<text>                a modal box
//   event <kind> <scan>               a script event fired; kind is one of
//                                     key-down key-up close-request focus-lost
//                                     focus-gained repaint surface-lost
//                                     surface-fails surface-back terminate
// Others (for example the virtual clock's "sleep <ms>" and "clock") may add
// their own lines through Trace().
void Trace(const std::string& line);
std::vector<std::string> ReadTraceFile(const std::string& path);

// The font: pixel height h (0 counts as 16). Cell height h + h/4; every
// character (code point) advances max(1, h/2). A character
// other than a blank draws a solid box in the front colour over its advance
// less one column at each side, from row h/4 of the cell to row h - 1; the
// rest of the cell gets the back colour. An italic font's box reaches h/8
// columns beyond the advance.
int32_t FontCellHeight(int32_t pixelHeight);
int32_t FontAdvance(int32_t pixelHeight);

// A key change as if typed on the keyboard now, traced as a script event's;
// 0 and nothing typed for a press while the program has not got the focus.
int32_t TypeKey(int32_t scanCode, int32_t down);
const Config& CurrentConfig();

int32_t PresentCount();
// The next `count` presents return `result` (PresentLost or PresentFailed)
// without showing anything; Configure clears it.
void SetPresentOutcome(int32_t result, int32_t count);
// The frame shown by the last present (0x00RRGGBB, width * height pixels).
std::vector<uint32_t> LastFrame(int32_t* width, int32_t* height);

}  // namespace Headless
