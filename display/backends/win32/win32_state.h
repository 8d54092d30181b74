// State shared by the Win32 backend's files. Internal to the backend:
// nothing outside display/backends/win32 includes it.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <d3d9.h>
// The interface has procedures of these names; the macros would rename them.
#undef DrawText
#undef MessageBox

#include <cstdint>

#include "display/backend.h"

namespace Win32Backend {

constexpr int32_t MaxWindows = 16;
constexpr int32_t MaxPending = 32;

struct AppWindowSlot {
    HWND hwnd;
    HACCEL accelerators;
    char className[24];
};

struct State {
    HINSTANCE instance;

    // Drawing system: the 3D object and the hidden window that full screen uses.
    HMODULE d3d9Library;
    IDirect3D9* d3d;
    int32_t systemReady;
    HWND screenWindow;

    // Loaded on the first full-screen open; both optional.
    int32_t firstOpenDone;
    HMODULE dwmLibrary;
    HRESULT(WINAPI* dwmIsCompositionEnabled)(BOOL*);
    HRESULT(WINAPI* dwmEnableComposition)(UINT);
    int32_t compositionWasOn;

    // The surface: the device and its back buffer, and the CPU back buffer
    // (a DIB section) that the logic fills and GDI draws text into.
    IDirect3DDevice9* device;
    IDirect3DSurface9* deviceBackBuffer;
    D3DPRESENT_PARAMETERS params;  // kept for resets
    int32_t fullscreen;
    int32_t width, height;
    HWND deviceWindow;  // full screen: screenWindow; windowed: the parent
    RECT area;          // windowed: where the surface lies in the parent's client area
    int32_t cursorHidden;
    int32_t timerRaised;
    HDC bufferDc;
    HBITMAP bufferBitmap;
    HGDIOBJ bufferPrevious;
    uint32_t* bufferBits;

    // Top-level windows from OpenWindow; slot i registers "WindowClass_<i>".
    AppWindowSlot windows[MaxWindows];

    // What window procedures noticed during dispatch, for PollMessage.
    DisplayBackend::Message pending[MaxPending];
    int32_t pendingHead, pendingCount;
};

State& Get();

// A procedure looked up in a DLL loaded at run time; null when it is missing.
template <typename Procedure>
Procedure Lookup(HMODULE library, const char* name) {
    if (!library) return nullptr;
    // Through the generic function type, which the compiler accepts as a cast.
    return reinterpret_cast<Procedure>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// A message for PollMessage to hand out; an equal one at the tail is kept
// once, so that a burst (two close requests, repaints) reads as one.
void Post(int32_t kind, HWND window);

// keyboard_win32.cpp: signalled whenever a key changes; null without a keyboard.
HANDLE KeyboardChanged();
// keyboard_win32.cpp: tells on standard error of the key changes lost since
// the last call; called where no wait for an answer runs.
void TellKeyboardLosses();

// font_win32.cpp: frees the measuring context.
void ShutdownFonts();

}  // namespace Win32Backend
