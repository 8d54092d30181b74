// The timing check's questions on the headless display: a test display, so
// never a physical one. Typed keys arrive as scripted ones do; the
// configuration can refuse them or lose one tap on the way.
#include <cstdio>

#include "display/backends/headless/headless.h"

namespace {
int32_t tapsTyped;
}  // namespace

namespace DisplayBackend {

void DescribePlatform(PlatformFacts* facts) {
    *facts = PlatformFacts{};
    std::snprintf(facts->graphics, sizeof facts->graphics, "none (frames kept in memory)");
    std::snprintf(facts->renderer, sizeof facts->renderer, "headless");
    std::snprintf(facts->windowSystem, sizeof facts->windowSystem, "none");
    std::snprintf(facts->virtualDisplay, sizeof facts->virtualDisplay, "the headless test display");
}

int32_t KeyInjectionOpen(const char** why) {
    if (!Headless::CurrentConfig().keyInjection) {
        *why = "the headless display takes no typed keys";
        return 0;
    }
    tapsTyped = 0;
    return 1;
}

int32_t InjectKey(uint8_t scanCode, int32_t down) {
    if (down) ++tapsTyped;
    // Sent, and lost on the way as by a reader that misses a short tap.
    if (tapsTyped == Headless::CurrentConfig().loseInjectedTap) return 1;
    return Headless::TypeKey(scanCode, down);
}

void KeyInjectionClose() {}

}  // namespace DisplayBackend
