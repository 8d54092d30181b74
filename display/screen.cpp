#include "display/screen.h"

#include "display/backend.h"
#include "display/text_painter.h"

namespace {

constexpr int32_t MaxSide = 16384;
constexpr uint32_t PixelCodeXrgb32 = 64;
constexpr uint32_t PixelCodeXrgb1555 = 2;

ScreenState screen{};

// The one painter record on the back buffer; at most one painter exists.
PainterRecord painter{};
bool painterOut = false;

bool SizeOk(int32_t width, int32_t height) {
    return width >= 1 && width <= MaxSide && height >= 1 && height <= MaxSide;
}

void ResetGeometry() {
    screen.open = 0;
    screen.windowed = 0;
    screen.presentActive = 0;
    screen.shown = 0;
    screen.width = screen.height = 0;
    screen.drawingWidth = screen.drawingHeight = 0;
    screen.depth = 0;
    screen.pixelCode = 0;
    screen.deviceWindow = 0;
    screen.x = screen.y = screen.rightOffset = screen.bottomOffset = screen.autoStretch = 0;
}

void GiveBack(PainterRecord* record) {
    record->pixels = DisplayBackend::Pixels{nullptr, 0, 0, 0};
    painterOut = false;
}

void FillBackBuffer(uint32_t rgb) {
    DisplayBackend::Pixels pixels = DisplayBackend::BackBuffer();
    if (!pixels.data) return;
    for (int32_t y = 0; y < pixels.height; ++y) {
        uint32_t* row = pixels.data + static_cast<int64_t>(y) * pixels.pitch;
        for (int32_t x = 0; x < pixels.width; ++x) row[x] = rgb;
    }
}

}  // namespace

namespace Screen {

int32_t InitSystem() {
    if (screen.systemReady) return 1;
    screen.systemReady = DisplayBackend::InitSystem() ? 1 : 0;
    return screen.systemReady;
}

int32_t OpenFull(int32_t width, int32_t height, int32_t depth, const char* title,
                 int32_t retraceMode, int32_t refreshRate) {
    // A second device over the first would leak it; one screen at a time.
    Close();
    if (depth != 16 && depth != 32) return 0;
    // Checked here so that absurd settings never make a backend allocate.
    if (!SizeOk(width, height)) return 0;
    int32_t refresh = refreshRate < 0 ? 0 : refreshRate;
    if (!DisplayBackend::OpenFullscreen(width, height, depth, refresh, title ? title : ""))
        return 0;
    screen.width = screen.drawingWidth = width;
    screen.height = screen.drawingHeight = height;
    screen.depth = depth;
    screen.pixelCode = depth == 32 ? PixelCodeXrgb32 : PixelCodeXrgb1555;
    screen.refreshRate = refresh;
    screen.retraceMode = retraceMode;
    screen.windowed = 0;
    FillBackBuffer(0);
    screen.open = 1;
    screen.presentActive = 1;
    return 1;
}

int32_t OpenInWindow(NativeWindow parent, int32_t x, int32_t y, int32_t width, int32_t height,
                     int32_t autoStretch, int32_t rightOffset, int32_t bottomOffset,
                     int32_t retraceMode) {
    Close();
    if (!parent || !SizeOk(width, height)) return 0;
    if (!DisplayBackend::OpenInWindow(parent, x, y, width, height)) return 0;
    screen.x = x;
    screen.y = y;
    screen.rightOffset = rightOffset;
    screen.bottomOffset = bottomOffset;
    screen.autoStretch = autoStretch;
    screen.width = screen.drawingWidth = width;
    screen.height = screen.drawingHeight = height;
    screen.windowed = 1;
    screen.deviceWindow = parent;
    // The back buffer is always 32-bit XRGB in a window.
    screen.depth = 32;
    screen.pixelCode = PixelCodeXrgb32;
    screen.retraceMode = retraceMode;
    DisplayBackend::DesktopMode desktop{};
    screen.refreshRate = DisplayBackend::DesktopModes(&desktop, 1) > 0 ? desktop.refreshHz : 0;
    FillBackBuffer(0);
    screen.open = 1;
    screen.presentActive = 1;
    return 1;
}

void Clear(ColourRef colour) {
    if (!screen.open) return;
    FillBackBuffer(ColourToRgb(colour));
}

int32_t Present() {
    screen.shown = 0;
    if (!screen.open) return 0;
    screen.drawingWidth = screen.width;
    screen.drawingHeight = screen.height;
    if (!screen.windowed) {
        // Full screen has no event poll of its own: activation changes that
        // arrived while the program waited are handled here.
        DisplayBackend::Message message{};
        while (DisplayBackend::PollMessage(&message)) {
            if (message.kind == DisplayBackend::MessageFocusLost) screen.presentActive = 0;
            else if (message.kind == DisplayBackend::MessageFocusGained) screen.presentActive = 1;
        }
    }
    if (!screen.presentActive) return 1;
    // A failure does not switch presenting off: a window has no activation
    // that would switch it on again, and a full screen can lose its device
    // while active (a driver reset). The backend resets what it can.
    const int32_t result = DisplayBackend::Present(screen.retraceMode != 0);
    screen.shown = result == DisplayBackend::PresentShown ? 1 : 0;
    return result == DisplayBackend::PresentLost ? 0 : 1;
}

int32_t LastPresentShown() { return screen.shown; }

void Close() {
    if (!screen.open) return;
    // A painter still out would otherwise draw into the freed back buffer.
    if (painterOut) painter.pixels = DisplayBackend::Pixels{nullptr, 0, 0, 0};
    DisplayBackend::CloseSurface();
    ResetGeometry();
}

PainterRecord* DrawingTarget() {
    if (!screen.open) return nullptr;
    DisplayBackend::Pixels pixels = DisplayBackend::BackBuffer();
    if (!pixels.data) return nullptr;
    painter = PainterRecord{};
    painter.kind = PainterRecord::ScreenTarget;
    painter.pixels = pixels;
    painter.width = screen.width;
    painter.height = screen.height;
    painter.depth = screen.depth;
    painter.pixelCode = screen.pixelCode;
    painter.giveBack = GiveBack;
    painterOut = true;
    return &painter;
}

void RepaintWindow(NativeWindow window) {
    if (screen.open && screen.windowed && window != 0 && screen.deviceWindow == window &&
        screen.width > 0 && screen.height > 0)
        Present();
}

ScreenState& State() { return screen; }

}  // namespace Screen
