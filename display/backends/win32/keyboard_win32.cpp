// The keyboard for the Win32 backend: DirectInput 7 key states by scan code.
//
// Needs "DINPUT.DLL", loaded at run time; without it no key is ever seen.
// The device is non-exclusive and foreground: states are delivered only
// while the surface's window (the full-screen window, or the window that
// holds the windowed surface) is the foreground window.
// The device signals an event whenever a key changes, so that the response
// wait can sleep on it; the keys are still read as states.
// Cannot do: see a key that goes down and up between two polls (a state
// reader, not a key-event reader); disable the system key (the interface
// never asks for it).
#define DIRECTINPUT_VERSION 0x0700
#include "display/backends/win32/win32_state.h"
// After windows.h, with the version above.
#include <dinput.h>

#include <cstring>

namespace {

using Win32Backend::Lookup;

struct Keyboard {
    HMODULE library;
    IDirectInput7A* input;
    IDirectInputDevice7A* device;
    HANDLE changed;    // auto-reset, set by DirectInput at every key change
    HWND window;       // the window the cooperation level was set for
    int32_t acquired;  // cleared by a failed read: the next poll acquires again
};

Keyboard K{};

// The standard keyboard format: 256 optional key buttons, key i at byte i.
DIOBJECTDATAFORMAT keyObjects[256];

const DIDATAFORMAT* KeyboardFormat() {
    static DIDATAFORMAT format{};
    if (format.dwSize) return &format;
    for (DWORD i = 0; i < 256; i++)
        keyObjects[i] = DIOBJECTDATAFORMAT{&GUID_Key, i, DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_MAKEINSTANCE(i), 0};
    format = DIDATAFORMAT{sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), DIDF_RELAXIS, 256, 256,
                          keyObjects};
    return &format;
}

}  // namespace

namespace DisplayBackend {

int32_t KeyboardOpen() {
    if (K.device) return 1;
    if (!K.library) K.library = LoadLibraryA("DINPUT.DLL");
    using Create = HRESULT(WINAPI*)(HINSTANCE, DWORD, REFIID, LPVOID*, LPUNKNOWN);
    auto create = Lookup<Create>(K.library, "DirectInputCreateEx");
    if (!K.input && (!create || FAILED(create(GetModuleHandleA(nullptr), 0x0700, IID_IDirectInput7A,
                                              reinterpret_cast<void**>(&K.input), nullptr)))) {
        K.input = nullptr;
        return 0;
    }
    if (FAILED(K.input->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A,
                                       reinterpret_cast<void**>(&K.device), nullptr))) {
        K.device = nullptr;
        return 0;
    }
    if (FAILED(K.device->SetDataFormat(KeyboardFormat()))) {
        K.device->Release();
        K.device = nullptr;
        return 0;
    }
    // Taken only before the first acquisition. Without it the wait still
    // wakes at the key messages that the foreground window receives.
    if (!K.changed) K.changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (K.changed && FAILED(K.device->SetEventNotification(K.changed))) {
        CloseHandle(K.changed);
        K.changed = nullptr;
    }
    return 1;
}

int32_t KeySnapshot(uint8_t snapshot[256]) {
    HWND window = Win32Backend::Get().deviceWindow;
    if (!K.device || !window) return 0;
    // The device hears of a lost foreground only when this thread handles the
    // activation message, and the full-screen wait handles none until the
    // next present: keys typed into another program would count meanwhile.
    if (GetForegroundWindow() != window) {
        // Under Wine the window becomes foreground again only once this
        // thread has read the window system's events, which a message wait
        // does (at once, and without dispatching anything).
        MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
        return 0;
    }
    // The cooperation level needs the surface's window, which exists only
    // once a surface is open; it is set again whenever that window changes.
    if (!K.acquired || window != K.window) {
        K.device->Unacquire();
        K.device->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND);
        K.window = window;
        K.acquired = 1;
        K.device->Acquire();
    }
    if (FAILED(K.device->GetDeviceState(256, snapshot))) {
        K.acquired = 0;
        return 0;
    }
    return 1;
}

// Interim: changes as differences between two snapshots.
int32_t KeyChanges(KeyChange* changes, int32_t capacity, int32_t* count) {
    static uint8_t last[256];
    static int32_t haveLast = 0;
    *count = 0;
    uint8_t now[256];
    if (!KeySnapshot(now)) {
        haveLast = 0;
        return KeysUnreadable;
    }
    if (!haveLast) {
        std::memcpy(last, now, sizeof last);
        haveLast = 1;
        return KeysLost;
    }
    for (int32_t code = 0; code < 256 && *count < capacity; ++code) {
        if (((now[code] ^ last[code]) & 0x80) == 0) continue;
        changes[(*count)++] = {static_cast<uint8_t>(code), static_cast<uint8_t>(now[code] >> 7)};
        last[code] = now[code];
    }
    return KeysRead;
}

void KeyboardClose() {
    if (K.device) {
        K.device->Unacquire();
        K.device->Release();
    }
    if (K.input) K.input->Release();
    if (K.library) FreeLibrary(K.library);
    if (K.changed) CloseHandle(K.changed);
    K = Keyboard{};
}

}  // namespace DisplayBackend

HANDLE Win32Backend::KeyboardChanged() { return K.device ? K.changed : nullptr; }
