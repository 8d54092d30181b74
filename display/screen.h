// The one drawing surface: a back buffer that the experiment clears, draws
// text on and presents, full screen or inside window 0.
#pragma once
#include <cstdint>

#include "display/display_types.h"

struct PainterRecord;

struct ScreenState {
    int32_t open;
    int32_t windowed;
    int32_t presentActive;  // full screen: the program is active, presenting makes sense
    int32_t shown;          // the last Present put the back buffer on the display
    int32_t width, height;
    int32_t drawingWidth, drawingHeight;
    int32_t depth;
    uint32_t pixelCode;  // 64: 32-bit XRGB, 4: 5-6-5, 2: 1-5-5-5
    int32_t refreshRate;
    int32_t retraceMode;
    NativeWindow deviceWindow;  // windowed: the parent
    int32_t x, y, rightOffset, bottomOffset, autoStretch;
    int32_t systemReady;
};

namespace Screen {
int32_t InitSystem();
// depth 16 or 32 only; refreshRate -1 asks for the display's default.
int32_t OpenFull(int32_t width, int32_t height, int32_t depth, const char* title,
                 int32_t retraceMode, int32_t refreshRate = -1);
int32_t OpenInWindow(NativeWindow parent, int32_t x, int32_t y, int32_t width, int32_t height,
                     int32_t autoStretch, int32_t rightOffset, int32_t bottomOffset,
                     int32_t retraceMode);
void Clear(ColourRef colour);
// 1 normally (also while presenting is inactive), 0 when the surface was
// lost. Full screen first handles every pending window-system message. A
// surface that was lost or failed is tried again at the next call.
int32_t Present();
// 1 when the last Present showed the back buffer; a clock started at a
// present that showed nothing would time a word nobody saw.
int32_t LastPresentShown();
void Close();
// A painter on the back buffer for TextPainter::Begin; null without surface.
PainterRecord* DrawingTarget();
// A repaint request for `window` while the windowed screen lives in it.
void RepaintWindow(NativeWindow window);

// What the window module needs to route a repaint of the windowed surface.
ScreenState& State();
}  // namespace Screen
