// An Xvfb server of its own for each SDL backend test program, so that the
// tests run on machines without a display (CI runs as root with none).
#pragma once
#include <string>

namespace XvfbServer {
// Starts `Xvfb -screen 0 <screen>` on a free display number and points
// DISPLAY at it; false when the server could not be started.
bool Start(const char* screen = "1024x768x24");
void Stop();
const std::string& DisplayName();  // ":N"
}  // namespace XvfbServer
