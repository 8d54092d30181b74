// Fonts by number and single-line text drawing on the back buffer.
#pragma once
#include <cstdint>
#include <string_view>

#include "display/backend.h"
#include "display/display_types.h"

// What a drawing target hands to TextPainter::Begin; the current painter
// from its creation until TextPainter::End.
struct PainterRecord {
    int32_t kind;  // PainterRecord::ScreenTarget for the back buffer
    DisplayBackend::Pixels pixels;
    int32_t width, height, depth;
    uint32_t pixelCode;
    void (*giveBack)(PainterRecord* record);
    // Filled by TextPainter::Begin.
    FontRef currentFont;
    int32_t italicOverhang;
    static constexpr int32_t ScreenTarget = 1;
};

namespace FontHandle {
// Loads under `number` (a font held there is freed first); -1 asks for an
// unnumbered record and returns its identifier. 0 on failure.
FontRef Load(int32_t number, const char* face, int32_t size, int32_t flags);
// 0 for a number outside the table, never loaded, or whose load failed.
FontRef Find(int32_t number);
// Points to pixels at the display's logical dots per inch, rounded.
int32_t PixelHeight(int32_t points, int32_t dpi);
void Startup();
void Shutdown();  // frees every font
}  // namespace FontHandle

// Texts are bytes in the encoding (Utf8::Encoding) their file was given.
namespace TextPainter {
// Non-zero on success; with no record or no pixels, 0 and no painter.
int32_t Begin(PainterRecord* record);
void UseFont(FontRef font);  // -1: the system font; 0 keeps the current font
int32_t MeasureWidth(std::string_view text, int32_t encoding);
int32_t MeasureHeight(std::string_view text, int32_t encoding);
// Top-left of the text's cell at (x, y); returns x after the text.
int32_t PutText(int32_t x, int32_t y, std::string_view text, int32_t encoding, ColourRef front,
                ColourRef back);
void End();
}  // namespace TextPainter
