#include "display/text_painter.h"

#include <string>
#include <vector>

#include "support/memory/object_table.h"
#include "support/text/codepage.h"
#include "support/text/utf8.h"

namespace {

struct FontRecord {
    FontRef handle;  // first: the record is live while it is non-zero
};

constexpr int32_t FontTableSlots = 16;
constexpr uint32_t FontFlagMask = DisplayBackend::FontUnderline | DisplayBackend::FontStrikeOut |
                                  DisplayBackend::FontHighQuality | DisplayBackend::FontBold |
                                  DisplayBackend::FontItalic;

ObjectTable* fontTable = nullptr;
PainterRecord* current = nullptr;

void DisposeFont(int32_t number) {
    auto* record = static_cast<FontRecord*>(ObjectTable::Lookup(fontTable, number));
    if (record) DisplayBackend::FreeFont(record->handle);
    ObjectTable::Free(fontTable, number);
}

// Texts are C strings: a zero byte ends them whatever the view says.
int32_t TextLength(std::string_view text) {
    size_t end = text.find('\0');
    size_t length = end == std::string_view::npos ? text.size() : end;
    return length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(length);
}

std::u32string ToUnicode(const char* text, int32_t length, int32_t encoding) {
    std::u32string characters;
    if (encoding == Utf8::Unicode) {
        characters.reserve(static_cast<size_t>(length));
        for (int32_t at = 0; at < length;) characters.push_back(Utf8::Next(text, length, &at));
    } else {
        Codepage::LegacyToUnicode(text, length, &characters);
    }
    return characters;
}

DisplayBackend::TextSize Measure(std::string_view text, int32_t encoding) {
    const std::u32string characters = ToUnicode(text.data(), TextLength(text), encoding);
    return DisplayBackend::MeasureText(current->currentFont, characters.data(),
                                       static_cast<int32_t>(characters.size()));
}

// How far an italic "H" reaches beyond its advance: drawn white on black into
// a scratch area twice its size, the rightmost lit column c gives c - w + 2.
int32_t ItalicOverhang(FontRef font) {
    if (!DisplayBackend::FontIsItalic(font)) return 0;
    DisplayBackend::TextSize size = DisplayBackend::MeasureText(font, U"H", 1);
    int32_t w = size.width, h = size.height;
    if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return 0;
    std::vector<uint32_t> scratch(static_cast<size_t>(2 * w) * (2 * h), 0);
    DisplayBackend::Pixels pixels{scratch.data(), 2 * w, 2 * h, 2 * w};
    DisplayBackend::DrawText(font, pixels, 0, 0, U"H", 1, 0xFFFFFF, 0);
    for (int32_t c = 2 * w - 1; c >= 0; --c)
        for (int32_t row = 0; row < h; ++row)
            if (scratch[static_cast<size_t>(row) * (2 * w) + c] & 0xFFFFFFu) return c - w + 2;
    return 0;
}

}  // namespace

namespace FontHandle {

void Startup() {
    if (!fontTable) fontTable = ObjectTable::Create(sizeof(FontRecord), FontTableSlots, DisposeFont);
}

void Shutdown() {
    ObjectTable::Destroy(fontTable);
    fontTable = nullptr;
}

int32_t PixelHeight(int32_t points, int32_t dpi) {
    // Rounded to the nearest, halves away from zero.
    int64_t product = static_cast<int64_t>(points) * dpi;
    int64_t magnitude = (product < 0 ? -product : product) + 36;
    int64_t result = magnitude / 72;
    if (product < 0) result = -result;
    if (result > INT32_MAX || result < INT32_MIN) return -1;
    return static_cast<int32_t>(result);
}

FontRef Load(int32_t number, const char* face, int32_t size, int32_t flags) {
    Startup();
    int32_t identifier = 0;
    auto* record = static_cast<FontRecord*>(ObjectTable::Obtain(fontTable, number, &identifier));
    if (!record) return 0;
    int32_t key = number == ObjectTable::NewUnnumbered ? identifier : number;
    int32_t pixelHeight = PixelHeight(size, DisplayBackend::LogicalDpiY());
    FontRef font = DisplayBackend::LoadFont(face ? face : "", pixelHeight,
                                            static_cast<uint32_t>(flags) & FontFlagMask);
    if (!font) {
        ObjectTable::Free(fontTable, key);
        return 0;
    }
    record->handle = font;
    return number == ObjectTable::NewUnnumbered ? identifier : font;
}

FontRef Find(int32_t number) {
    auto* record = static_cast<FontRecord*>(ObjectTable::Lookup(fontTable, number));
    return record ? record->handle : 0;
}

}  // namespace FontHandle

namespace TextPainter {

int32_t Begin(PainterRecord* record) {
    if (!record) return 0;
    if (current && current != record) End();
    if (!record->pixels.data) {
        if (record->giveBack) record->giveBack(record);
        current = nullptr;
        return 0;
    }
    record->currentFont = DisplayBackend::SystemFont();
    record->italicOverhang = ItalicOverhang(record->currentFont);
    current = record;
    return 1;
}

void UseFont(FontRef font) {
    if (!current) return;
    // A null font is refused, as the platform refuses it: the one in effect
    // stays, and so does its overhang.
    if (font == 0) return;
    if (font == -1) font = DisplayBackend::SystemFont();
    current->currentFont = font;
    current->italicOverhang = ItalicOverhang(font);
}

int32_t MeasureWidth(std::string_view text, int32_t encoding) {
    if (!current || TextLength(text) == 0) return 0;
    return Measure(text, encoding).width + current->italicOverhang;
}

int32_t MeasureHeight(std::string_view text, int32_t encoding) {
    if (!current || TextLength(text) == 0) return 0;
    return Measure(text, encoding).height;
}

int32_t PutText(int32_t x, int32_t y, std::string_view text, int32_t encoding, ColourRef front,
                ColourRef back) {
    if (!current) return 0;
    const std::u32string characters = ToUnicode(text.data(), TextLength(text), encoding);
    if (characters.empty() || !current->pixels.data) return x;
    int32_t advance = DisplayBackend::DrawText(current->currentFont, current->pixels, x, y,
                                               characters.data(), static_cast<int32_t>(characters.size()),
                                               ColourToRgb(front), ColourToRgb(back));
    return static_cast<int32_t>(static_cast<int64_t>(x) + advance);
}

void End() {
    if (!current) return;
    PainterRecord* record = current;
    current = nullptr;
    if (record->giveBack) record->giveBack(record);
}

}  // namespace TextPainter
