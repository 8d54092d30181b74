// What the timing check learns of the display's path from the platform, and
// the keys it types into the program's own window to time the input path.
#pragma once
#include <cstdint>
#include <string>

namespace DisplayProbe {
struct Facts {
    std::string graphics, driver, renderer, videoDriver, windowSystem;
    int32_t compositor;  // 1 on the path, 0 not, -1 unknown
    // Empty for a physical display; otherwise why it is none.
    std::string virtualDisplay;
    // Whether a present waits for the display's own retrace, and how.
    int32_t displayRetrace;
    std::string presents;
};
// Meaningful while the screen is open.
Facts Describe();

// 1 when keys can be typed; otherwise 0 and why not.
int32_t OpenKeyInjection(std::string* why);
// 0 when nothing was typed: a press while the program's window has not got
// the keyboard focus. A release always goes.
int32_t TypeKey(int32_t scanCode, int32_t down);
void CloseKeyInjection();
}  // namespace DisplayProbe
