// Numbered top-level windows and the non-blocking event poll.
#pragma once
#include <cstdint>

#include "display/display_types.h"

struct QueuedEvent {
    int32_t number;
    int32_t object;
    int32_t window;
    int32_t data;
    int32_t extra1, extra2;
};

namespace AppWindow {
constexpr int32_t DefaultPosition = -65535;
constexpr int32_t CloseRequest = 16;
// Flag bits with their own meaning; all others are platform style bits.
constexpr uint32_t CentreOnScreen = 0x1, CentreOnParent = 0x2, ToolWindow = 0x4,
                   NoControlList = 0x8, StartHidden = 0x10000000;

// A window whose client area is exactly width x height; non-zero on success.
int32_t Open(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height,
             const char* title, uint32_t flags, NativeWindow parent);
int32_t Exists(int32_t number);
NativeWindow NativeHandle(int32_t number);
// The next event number, 0 at once when nothing is pending.
int32_t PollEvent();
// Sleeps until PollEvent or a keyboard poll may have something new, or
// `timeoutMs` passed; 0 at once where the platform cannot wait (yield then).
int32_t WaitForInput(int32_t timeoutMs);
// Details of the event last taken.
const QueuedEvent& CurrentEvent();
void Close(int32_t number);  // -1 closes all
// Appends an event unless the tail holds an equal one.
void PostEvent(const QueuedEvent& event);
void Startup();
void Shutdown();
}  // namespace AppWindow
