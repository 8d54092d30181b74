// The keyboard for the Win32 backend: DirectInput 7 by scan code, read as
// the ordered key changes of the device's buffer.
//
// Needs "DINPUT.DLL", loaded at run time; without it no key is ever seen.
// The device is non-exclusive and foreground: keys are delivered only while
// the surface's window (the full-screen window, or the window that holds the
// windowed surface) is the foreground window.
// Every key change lands in a buffer of BufferSize entries, read oldest
// first after each wake, so a key that goes down and up between two looks
// is still seen, however long the program was not run. The device signals an
// event at every change, so that the response wait can sleep on it.
// What the buffer cannot give is handed to the caller as a loss, after which
// the keys are read as states: a full buffer, the device acquired again (the
// foreground regained, input lost), or a device that refused the buffer (then
// every look is read as states, and a tap between two looks goes unseen).
// Each loss is told on standard error after the wait, not while it runs.
// Cannot do: disable the system key (the interface never asks for it); time
// a change by the device's own stamps (the answer's time is the look's).
#define DIRECTINPUT_VERSION 0x0700
#include "display/backends/win32/win32_state.h"
// After windows.h, with the version above.
#include <dinput.h>

#include "support/process/process.h"
#include "support/time/step_trace.h"

namespace {

using Win32Backend::Lookup;

// 32 taps unread before anything is lost (31 under Wine, which keeps one
// entry fewer than asked for).
constexpr DWORD BufferSize = 64;
constexpr uint8_t TracedKey = 17;  // W, whose changes a traced build stamps

enum Note : uint32_t { NoteOverflow = 1, NoteReacquired = 2 };

struct Keyboard {
    HMODULE library;
    IDirectInput7A* input;
    IDirectInputDevice7A* device;
    HANDLE changed;    // auto-reset, set by DirectInput at every key change
    HWND window;       // the window the cooperation level was set for
    int32_t acquired;  // cleared by a failed read or a lost foreground: acquire again
    int32_t buffered;  // the device took the buffer size
    int32_t everRead;  // the first acquisition loses nothing worth a note
    int32_t lost;      // changes were lost: the next call that empties the buffer says so
    int32_t numbered;  // lastSequence holds the number of the last change read
    DWORD lastSequence;
    uint32_t notes;    // losses not told yet
    int32_t tracedDown;
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

int32_t TakeBuffer() {
    DIPROPDWORD size{};
    size.diph.dwSize = sizeof size;
    size.diph.dwHeaderSize = sizeof size.diph;
    size.diph.dwHow = DIPH_DEVICE;
    size.dwData = BufferSize;
    return SUCCEEDED(K.device->SetProperty(DIPROP_BUFFERSIZE, &size.diph));
}

// 1 when the device may be read now: acquired for the surface's window,
// which is in the foreground.
int32_t Reachable() {
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
        // What the device may still buffer now was typed elsewhere.
        K.acquired = 0;
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
        // Whatever the buffer kept is from before: the caller reads the
        // states instead.
        DWORD all = INFINITE;
        if (K.buffered) K.device->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), nullptr, &all, 0);
        K.lost = 1;
        K.numbered = 0;
        if (K.everRead) K.notes |= NoteReacquired;
    }
    return 1;
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
    // Both taken only before the first acquisition.
    K.buffered = TakeBuffer();
    if (!K.buffered)
        Process::WriteConsoleLine(Process::StandardError,
                                  "Keyboard: the device keeps no buffer of key changes; keys are read "
                                  "as states, and a tap between two looks at them goes unseen.");
    // Without it the wait still wakes at the key messages that the
    // foreground window receives.
    if (!K.changed) K.changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (K.changed && FAILED(K.device->SetEventNotification(K.changed))) {
        CloseHandle(K.changed);
        K.changed = nullptr;
    }
    return 1;
}

int32_t KeySnapshot(uint8_t snapshot[256]) {
    if (!Reachable()) return 0;
    if (FAILED(K.device->GetDeviceState(256, snapshot))) {
        K.acquired = 0;
        return 0;
    }
    K.everRead = 1;
    K.tracedDown = snapshot[TracedKey] >> 7;
    StepTrace::Mark(StepTrace::SnapshotPumped, K.tracedDown);
    return 1;
}

int32_t KeyChanges(KeyChange* changes, int32_t capacity, int32_t* count) {
    *count = 0;
    if (!Reachable()) return KeysUnreadable;
    if (!K.buffered) return KeysLost;  // states only, at every look
    DIDEVICEOBJECTDATA data[BufferSize];
    DWORD got = capacity < static_cast<int32_t>(BufferSize) ? static_cast<DWORD>(capacity) : BufferSize;
    const HRESULT result = K.device->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), data, &got, 0);
    if (FAILED(result)) {
        K.acquired = 0;
        return KeysUnreadable;
    }
    K.everRead = 1;
    // Wine says nothing of an overflow to a DirectInput 7 device and keeps
    // one entry fewer than asked for; a full buffer or a gap in the changes'
    // numbers (simultaneous changes share one) tells of it there.
    int32_t overflow = result == DI_BUFFEROVERFLOW || got + 1 >= BufferSize;
    for (DWORD i = 0; i < got; i++) {
        if (K.numbered && data[i].dwSequence - K.lastSequence > 1) overflow = 1;
        K.lastSequence = data[i].dwSequence;
        K.numbered = 1;
        const uint8_t code = static_cast<uint8_t>(data[i].dwOfs);
        const uint8_t down = (data[i].dwData & 0x80) ? 1 : 0;
        changes[i] = KeyChange{code, down};
        if (code == TracedKey) K.tracedDown = down;
    }
    if (overflow) {
        K.lost = 1;
        K.notes |= NoteOverflow;
    }
    *count = static_cast<int32_t>(got);
    StepTrace::Mark(StepTrace::SnapshotPumped, K.tracedDown);
    // A loss is told with the last changes, so that the states are read
    // after every change the buffer still held.
    if (*count == capacity || !K.lost) return KeysRead;
    K.lost = 0;
    return KeysLost;
}

void KeyboardClose() {
    Win32Backend::TellKeyboardLosses();
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

void Win32Backend::TellKeyboardLosses() {
    if (K.notes & NoteOverflow)
        Process::WriteConsoleLine(Process::StandardError,
                                  "Keyboard: its buffer of key changes filled up between two looks, "
                                  "or changes went missing from it; the keys down were read from "
                                  "their states, and a tap in between may have gone unseen.");
    if (K.notes & NoteReacquired)
        Process::WriteConsoleLine(Process::StandardError,
                                  "Keyboard: taken again after it was out of reach (another window in "
                                  "the foreground, or input lost); the keys down were read from their "
                                  "states.");
    K.notes = 0;
}
