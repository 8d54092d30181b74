// The keyboard by scan code, from the ordered key changes the system
// delivers; answers count on release.
#pragma once
#include <cstdint>

namespace KeyboardState {
constexpr int32_t LettersByLayout = 1;
constexpr int32_t KeepSystemKey = 2;
int32_t Init();
void SetMode(int32_t mode);
// Starts a wait for an answer: what happened before is dropped, and the keys
// down now count as seen down. 1 when the keys could be read.
int32_t BeginWait();
// Takes the changes that arrived since the last look, in order. 1 when the
// keys could be read, 0 when not (no focus, no device).
int32_t Poll();
// 1 once for a key that went down (or was down when the wait began) and was
// let go since; however short the tap, and whatever came between the looks.
int32_t WasReleased(int32_t scanCode);
// Of the keys given, the one let go first as WasReleased sees it (and only
// it taken), or 0: two taps between two looks keep their order.
int32_t FirstReleased(const int32_t* scanCodes, int32_t count);
// 1 while the key is held: seen down and not let go.
int32_t IsHeld(int32_t scanCode);
void Close();
}  // namespace KeyboardState
