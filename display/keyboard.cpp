#include "display/keyboard.h"

#include <cstring>

#include "display/backend.h"

namespace {

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

// Cooperation bits as the target platform names them: non-exclusive,
// foreground, system key disabled.
constexpr uint32_t NonExclusive = 0x2, Foreground = 0x4, NoSystemKey = 0x10;

constexpr KeyboardModuleState Fresh() {
    KeyboardModuleState state{};
    state.cooperation = NonExclusive | Foreground | NoSystemKey;
    return state;
}

KeyboardModuleState keyboard = Fresh();

// Each letter's standard scan code, A to Z.
constexpr uint8_t LetterScanCodes[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                         49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

}  // namespace

namespace KeyboardState {

int32_t Init() {
    keyboard.initCalled = 1;
    if (keyboard.deviceState != 0) return 1;
    if (!DisplayBackend::KeyboardOpen()) return 0;
    keyboard.deviceState = 1;
    return 1;
}

void SetMode(int32_t mode) {
    if (!keyboard.letterTableFilled) {
        // Letters by layout are never asked for by the program; every layout
        // is taken to have its letters at their standard positions.
        std::memset(keyboard.letterTable, 0, sizeof keyboard.letterTable);
        for (uint8_t code : LetterScanCodes) keyboard.letterTable[code] = code;
        keyboard.letterTableFilled = 1;
    }
    if (mode == keyboard.mode) return;
    keyboard.mode = mode;
    keyboard.cooperation = NonExclusive | Foreground | ((mode & KeepSystemKey) ? 0 : NoSystemKey);
}

int32_t Poll() {
    if (keyboard.deviceState == 0) return 0;
    // Straight into the record: after a failed read no test looks at the
    // snapshot until a later read has replaced all of it.
    keyboard.deviceState = DisplayBackend::KeySnapshot(keyboard.snapshot) ? 2 : 1;
    return keyboard.deviceState == 2 ? 1 : 0;
}

int32_t WasReleased(int32_t scanCode) {
    if (keyboard.deviceState != 2) return 0;
    if (scanCode < 0 || scanCode > 255) return 0;
    if (keyboard.mode & LettersByLayout) {
        scanCode = keyboard.letterTable[scanCode];
        if (scanCode == 0) return 0;
    }
    if (keyboard.snapshot[scanCode] & 0x80) {
        keyboard.seenDown[scanCode] = 1;
        return 0;
    }
    if (keyboard.seenDown[scanCode]) {
        keyboard.seenDown[scanCode] = 0;
        return 1;
    }
    return 0;
}

void Close() {
    if (!keyboard.initCalled) return;
    if (keyboard.deviceState != 0) DisplayBackend::KeyboardClose();
    // Without a device nothing of the old one means anything any more.
    keyboard = Fresh();
}

}  // namespace KeyboardState
