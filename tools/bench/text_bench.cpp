// What shaping costs on Linux: one word measured and drawn as the painter
// does (ASCII, Arabic, Chinese from a fallback face), and the default
// introduction laid out from a cold start, which must look up no fallback.
//
//   wordtap_text_bench [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/backend.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace DisplayBackend;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Measured, then drawn centred on an 800 x 600 screen.
void Show(FontRef font, const Pixels& screen, const std::u32string& line, int32_t y) {
    const int32_t length = static_cast<int32_t>(line.size());
    const TextSize size = MeasureText(font, line.data(), length);
    DrawText(font, screen, (screen.width - size.width) / 2, y, line.data(), length, 0, 0xFFFFFF);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    std::vector<uint32_t> pixels(800 * 600, 0xFFFFFF);
    const Pixels screen{pixels.data(), 800, 600, 800};
    // 20 points at 96 dpi, the introduction's size on an 800 x 600 screen.
    const std::u32string intro[] = {U"data/introduction.txt", U"Enter your introductionary text here.",
                                    U"The whole file will be displayed on program startup.",
                                    U"Press [W]   if it is a word.", U"Press [O]   if it is NOT a word.",
                                    U"Press [Esc] to quit anytime.", U"Press [W] or [O] to continue..."};
    Clock::time_point start = Clock::now();
    FontRef font = LoadFont("Calibri", 27, FontHighQuality);
    int32_t y = 100;
    for (const std::u32string& line : intro) Show(font, screen, line, y += 33);
    std::printf("cold start, Latin introduction (font, 7 lines): %.2f ms\n", MillisecondsSince(start));

    FontRef word = LoadFont("Calibri", 48, FontHighQuality);
    const std::pair<const char*, std::u32string> words[] = {
        {"ASCII", U"house"}, {"Arabic", U"\u0643\u062A\u0627\u0628"}, {"Chinese", U"\u6C34\u679C"}};
    for (const auto& [name, text] : words) {
        start = Clock::now();
        Show(word, screen, text, 276);
        const double first = MillisecondsSince(start);
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            start = Clock::now();
            Show(word, screen, text, 276);
            times.push_back(MillisecondsSince(start));
        }
        std::sort(times.begin(), times.end());
        std::printf("%-8s first %.2f ms (fallback lookup, glyphs), then median %.3f ms, 99th %.3f ms\n", name,
                    first, times[times.size() / 2], times[times.size() * 99 / 100]);
    }
    FreeFont(word);
    FreeFont(font);
    Shutdown();
    return 0;
}
