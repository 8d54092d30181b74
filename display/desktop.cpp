#include "display/desktop.h"

#include "display/backend.h"

namespace {

constexpr int32_t Capacity = 16;

DisplayBackend::DesktopMode table[Capacity];
int32_t count = 0;

const DisplayBackend::DesktopMode* Entry(int32_t index) {
    return index >= 0 && index < count ? &table[index] : nullptr;
}

}  // namespace

namespace DesktopInfo {

int32_t Enumerate() {
    count = 0;
    for (auto& entry : table) entry = DisplayBackend::DesktopMode{};
    int32_t found = DisplayBackend::DesktopModes(table, Capacity);
    count = found < 0 ? 0 : (found > Capacity ? Capacity : found);
    return count;
}

int32_t Width(int32_t index) { return Entry(index) ? Entry(index)->width : 0; }
int32_t Height(int32_t index) { return Entry(index) ? Entry(index)->height : 0; }
int32_t Depth(int32_t index) { return Entry(index) ? Entry(index)->depth : 0; }
int32_t RefreshHz(int32_t index) { return Entry(index) ? Entry(index)->refreshHz : 0; }

void Shutdown() { count = 0; }

}  // namespace DesktopInfo
