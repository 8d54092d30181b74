// State and helpers shared by the SDL backend's files. Internal to the
// backend: nothing outside display/backends/sdl includes it.
#pragma once
#include <SDL.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string>
#include <utility>
#include <unordered_map>
#include <vector>

#include "display/backend.h"

namespace SdlBackend {

struct Font;  // font_sdl.cpp

struct State {
    // SDL video: brought up by whichever entry point needs it first.
    int32_t videoUp;
    int32_t systemReady;

    // The surface: the renderer draws the CPU back buffer through a streaming
    // texture into `surfaceWindow`, which is either our own full-screen window
    // or a top-level window from OpenWindow.
    SDL_Window* fullscreenWindow;
    SDL_Window* surfaceWindow;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    std::vector<uint32_t> backBuffer;
    int32_t width, height;
    SDL_Rect destination;  // windowed: the surface's rectangle in the client area
    int32_t clearOutside;  // the window's client area is larger than the surface
    int32_t vsync;         // the renderer's current vsync setting
    // Frames go through SDL's software renderer into plain windows: chosen
    // once, before the first window, where the display has no direct rendering.
    int32_t softwareRenderer;
    int32_t standInRetrace;  // the driver has no retrace sync: we pace presents
    int64_t retracePeriodNanos, retraceAnchorNanos;
    int32_t deviceLost;    // set by the renderer's device-reset event
    void (*glFinish)();    // non-null while the renderer is OpenGL-based
    int32_t cursorHidden;

    // Top-level windows opened through OpenWindow.
    std::vector<SDL_Window*> windows;

    int32_t keyboardOpen;
    // Key changes in the order SDL delivered them, recorded by the event
    // filter as they are pushed, whoever pumps, and taken by KeyChanges.
    // Head and tail count reads and writes and wrap freely.
    static constexpr uint32_t KeyRingSize = 256;
    DisplayBackend::KeyChange keyRing[KeyRingSize];
    uint32_t keyRingHead, keyRingTail;
    // Releases at the ring's end with nothing pushed after them: if the
    // focus-lost event follows, SDL made them up when the keyboard left.
    uint32_t keyTrailingUps;
    int32_t keysLost;  // changes were dropped: the next read says so
    // A message reached SDL's queue that the window poll has not had a turn
    // at since: the input wait must not sleep over it.
    int32_t messagesWaiting;
    int32_t priorityTried;  // the input wait asked for a higher priority once

    // Fonts.
    FT_Library freetype;
    int32_t fontconfigUp;
    int32_t liveFonts;  // loaded through LoadFont and not yet freed
    int32_t freetypeOrphaned;  // shut down while fonts were live: the last one frees it
    Font* systemFont;
    // For each character a requested face lacked: the file and face index of
    // the installed face that has it (empty: none has it). Looked up once per
    // process; every font then opens that face at its own size.
    std::unordered_map<uint32_t, std::pair<std::string, int32_t>> fallbackFiles;
};

State& Get();

// Windows-1252 text to UTF-8 for SDL and fontconfig.
void Cp1252ToUtf8(const char* text, std::vector<char>& out);

// font_sdl.cpp: releases the font system once nothing uses it any more.
void ShutdownFonts();

}  // namespace SdlBackend
