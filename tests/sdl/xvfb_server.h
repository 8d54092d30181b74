// An Xvfb of its own for each SDL backend test program (CI has no display).
#pragma once
#include <string>

namespace XvfbServer {
bool Start(const char* screen);  // on a free display number; DISPLAY points at it
void Stop();
const std::string& DisplayName();  // ":N"
}  // namespace XvfbServer
