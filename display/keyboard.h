// The keyboard as raw key states by scan code; answers count on release.
#pragma once
#include <cstdint>

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
}  // namespace KeyboardState
