// Draws one line through the backend's text path, black on white with a
// margin, into a PGM file. Usage: text_probe <face> <em pixels> <UTF-8 text> <out.pgm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/backend.h"
#include "support/text/utf8.h"

int main(int argc, char** argv) {
    using namespace DisplayBackend;
    if (argc != 5) return 2;
    FontRef font = LoadFont(argv[1], std::atoi(argv[2]), 0);
    std::u32string text;
    for (int32_t at = 0, n = static_cast<int32_t>(std::strlen(argv[3])); at < n;) text.push_back(Utf8::Next(argv[3], n, &at));
    const TextSize size = MeasureText(font, text.data(), static_cast<int32_t>(text.size()));
    const int32_t width = size.width + 2 * size.height, height = 3 * size.height;
    std::vector<uint32_t> data(static_cast<size_t>(width) * height, 0xFFFFFF);
    const int32_t drawn = DrawText(font, Pixels{data.data(), width, height, width}, size.height, size.height,
                                   text.data(), static_cast<int32_t>(text.size()), 0, 0xFFFFFF);
    FILE* out = std::fopen(argv[4], "wb");
    if (!font || drawn != size.width || !out) return 1;
    std::fprintf(out, "P5\n%d %d\n255\n", width, height);
    for (uint32_t pixel : data) std::fputc(static_cast<int>(pixel & 0xFF), out);
    FreeFont(font);
    Shutdown();  // what the fonts leave behind shows as a leak
    return std::fclose(out) == 0 ? 0 : 1;
}
