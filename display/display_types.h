// Small types shared by the display modules and their callers.
#pragma once
#include <cstdint>

using ColourRef = uint32_t;     // 0x00BBGGRR, red in the lowest byte
using NativeWindow = intptr_t;  // the window system's handle; 0: none
using FontRef = intptr_t;       // the backend's font handle; 0: none

constexpr ColourRef ColourWhite = 0xFFFFFF;
constexpr ColourRef ColourBlack = 0x000000;

// 0x00BBGGRR to the backends' 0x00RRGGBB.
constexpr uint32_t ColourToRgb(ColourRef colour) {
    return ((colour & 0xFFu) << 16) | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}

// Keys by physical position (set-1 scan codes).
namespace ScanCode {
constexpr int32_t Escape = 1;
constexpr int32_t W = 17;
constexpr int32_t O = 24;
}  // namespace ScanCode
