// Current display mode of each desktop, the primary one first.
#pragma once
#include <cstdint>

namespace DesktopInfo {
int32_t Enumerate();
// 0 for an index outside the table.
int32_t Width(int32_t index);
int32_t Height(int32_t index);
int32_t Depth(int32_t index);
int32_t RefreshHz(int32_t index);
void Shutdown();
}  // namespace DesktopInfo
