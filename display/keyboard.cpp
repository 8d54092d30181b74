#include "display/keyboard.h"

#include <cstring>

#include "display/backend.h"

namespace {

// Changes taken from the backend per call; more are read in further calls.
constexpr int32_t ChangeBatch = 64;

struct KeyboardModuleState {
    int32_t initCalled;
    int32_t deviceState;  // 0 none, 1 made (acquire pending), 2 last poll succeeded
    // Per scan code: seen down and not let go since; let go after being seen
    // down and not reported yet, as the release's place in the order (0: no).
    uint8_t seenDown[256];
    uint32_t released[256];
    uint32_t releases;
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

void Apply(const DisplayBackend::KeyChange& change) {
    const uint8_t code = change.scanCode;
    if (change.down) {
        keyboard.seenDown[code] = 1;
    } else if (keyboard.seenDown[code]) {
        keyboard.seenDown[code] = 0;
        // A second tap of the key before the look keeps the first one's place.
        if (!keyboard.released[code]) keyboard.released[code] = ++keyboard.releases;
    }
}

// After lost changes: a key seen down that is up now was let go meanwhile
// (held while the focus went elsewhere, say); a key down now is seen down.
int32_t Reconcile() {
    uint8_t snapshot[256];
    if (!DisplayBackend::KeySnapshot(snapshot)) return 0;
    for (int32_t code = 0; code < 256; ++code)
        Apply({static_cast<uint8_t>(code), static_cast<uint8_t>((snapshot[code] & 0x80) ? 1 : 0)});
    return 1;
}

// Every change the backend holds, applied in order (or dropped).
int32_t Drain(int32_t apply) {
    DisplayBackend::KeyChange changes[ChangeBatch];
    for (;;) {
        int32_t count = 0;
        const int32_t result = DisplayBackend::KeyChanges(changes, ChangeBatch, &count);
        if (result == DisplayBackend::KeysUnreadable) return 0;
        if (apply)
            for (int32_t i = 0; i < count; ++i) Apply(changes[i]);
        if (result == DisplayBackend::KeysLost && apply && !Reconcile()) return 0;
        if (count < ChangeBatch) return 1;
    }
}

int32_t MapCode(int32_t scanCode) {
    if (scanCode < 0 || scanCode > 255) return 0;
    if (keyboard.mode & KeyboardState::LettersByLayout) return keyboard.letterTable[scanCode];
    return scanCode;
}

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

int32_t BeginWait() {
    if (keyboard.deviceState == 0) return 0;
    // A tap during the blank before a word is no answer to it; a key held
    // since then answers when it is let go, as if first seen now.
    Drain(0);
    std::memset(keyboard.seenDown, 0, sizeof keyboard.seenDown);
    std::memset(keyboard.released, 0, sizeof keyboard.released);
    keyboard.deviceState = Reconcile() ? 2 : 1;
    return keyboard.deviceState == 2 ? 1 : 0;
}

int32_t Poll() {
    if (keyboard.deviceState == 0) return 0;
    keyboard.deviceState = Drain(1) ? 2 : 1;
    return keyboard.deviceState == 2 ? 1 : 0;
}

int32_t WasReleased(int32_t scanCode) {
    const int32_t code = MapCode(scanCode);
    if (code == 0 || !keyboard.released[code]) return 0;
    keyboard.released[code] = 0;
    return 1;
}

int32_t FirstReleased(const int32_t* scanCodes, int32_t count) {
    int32_t first = 0;
    uint32_t firstAt = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t code = MapCode(scanCodes[i]);
        const uint32_t at = code != 0 ? keyboard.released[code] : 0;
        if (at != 0 && (firstAt == 0 || at < firstAt)) first = scanCodes[i], firstAt = at;
    }
    if (first != 0) keyboard.released[MapCode(first)] = 0;
    return first;
}

int32_t IsHeld(int32_t scanCode) {
    const int32_t code = MapCode(scanCode);
    return code != 0 && keyboard.seenDown[code];
}

void Close() {
    if (!keyboard.initCalled) return;
    if (keyboard.deviceState != 0) DisplayBackend::KeyboardClose();
    // Without a device nothing of the old one means anything any more.
    keyboard = Fresh();
}

}  // namespace KeyboardState
