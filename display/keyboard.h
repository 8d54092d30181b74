// The keyboard as raw key states by scan code; answers count on release.
#pragma once
#include <cstdint>

struct KeyboardModuleState {
    int32_t initCalled;
    int32_t deviceState;  // 0 none, 1 made (acquire pending), 2 last poll succeeded
    uint8_t snapshot[256];
    uint8_t seenDown[256];
    int32_t mode;
    uint32_t cooperation;
    uint8_t letterTable[256];
    int32_t letterTableFilled;
};

namespace KeyboardState {
constexpr int32_t LettersByLayout = 1;
constexpr int32_t KeepSystemKey = 2;
int32_t Init();
void SetMode(int32_t mode);
// 1 when a fresh snapshot was taken, 0 when none could be taken.
int32_t Poll();
// 1 once for a key that an earlier test saw down and the last poll sees up.
int32_t WasReleased(int32_t scanCode);
void Close();
KeyboardModuleState& State();  // for tests
}  // namespace KeyboardState
