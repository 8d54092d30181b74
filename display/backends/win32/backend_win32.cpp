// The Win32 display backend: the Direct3D 9 surface (full screen, or in an
// area of a window), the program's windows and their messages, the desktop
// query and the message box. Text lives in font_win32.cpp, keys in
// keyboard_win32.cpp.
//
// Needs "d3d9.dll", loaded at run time so that a machine without it still
// starts and reports the display error, and a driver that offers a lockable
// back buffer. "dwmapi.dll" and SetProcessDPIAware are used when present.
// The back buffer the logic draws into is a 32-bit top-down DIB section: its
// bits are the 0x00RRGGBB pixels the interface hands out, GDI draws text into
// it directly, and Present copies it into the locked Direct3D back buffer
// (converting for 16-bit modes) before presenting. One copy per present
// buys CPU fills and GDI text on the same memory, with no device context
// taken from the device's own surface.
// A windowed surface is drawn straight into its window, onto its area of the
// client area, not into a child window of its own: Wine shows what Direct3D
// draws into a child window one present late, or not at all.
// A lost device (a locked screen, a secure desktop, a display-mode change) is
// reset at the next present once it can be, windowed or full screen.
// Cannot do: tell when the frame reached the screen. Present returns once
// the device has carried out the flip it queued for the next retrace (an
// event query), not when the display scanned it out. 16-bit full screen
// keeps 5 or 6 bits of each channel (black and white stay exact). A windowed surface keeps its size
// when its window is resized: the interface never asks it to follow.
#include <cstdio>
#include <cstring>

#include "display/backends/win32/win32_state.h"
// After windows.h: the timer resolution calls.
#include <mmsystem.h>

#include "support/process/process.h"
#include "support/time/step_trace.h"

namespace Win32Backend {

State& Get() {
    static State state{};
    return state;
}

namespace {

using namespace DisplayBackend;

State& S = Get();

constexpr char ScreenClass[] = "MultimediaBase Class";
// On a parent whose procedure is wrapped: the procedure it had before.
constexpr char WrappedProperty[] = "wordtap.parentProcedure";
constexpr UINT Direct3DVersion = 32;
constexpr UINT DwmDisableComposition = 0, DwmEnableComposition = 1;
constexpr WORD CommandNextControl = 64001, CommandPreviousControl = 64002;
constexpr UINT StopCheckMs = 50;
constexpr LONGLONG FlipWaitMs = 50;
constexpr int32_t MaxBoxWindows = 64;

// What the window procedures post carries a private number: never WM_CLOSE
// (16), which the logic would take for a close request of its own.
constexpr int32_t PrivateNumber(int32_t kind) { return WM_APP + kind; }

HWND ToHwnd(NativeWindow handle) { return reinterpret_cast<HWND>(handle); }
NativeWindow ToHandle(HWND hwnd) { return reinterpret_cast<NativeWindow>(hwnd); }

HICON ProgramIcon() {
    HICON icon = LoadIconA(S.instance, MAKEINTRESOURCEA(1));
    return icon ? icon : LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
}

int32_t TakePending(Message* message) {
    if (S.pendingCount == 0) return 0;
    *message = S.pending[S.pendingHead];
    S.pendingHead = (S.pendingHead + 1) % MaxPending;
    S.pendingCount--;
    return 1;
}

void DropPending(HWND window) {
    Message kept[MaxPending];
    int32_t count = 0;
    for (int32_t i = 0; i < S.pendingCount; i++) {
        const Message& m = S.pending[(S.pendingHead + i) % MaxPending];
        if (m.window != ToHandle(window)) kept[count++] = m;
    }
    for (int32_t i = 0; i < count; i++) S.pending[i] = kept[i];
    S.pendingHead = 0;
    S.pendingCount = count;
}

// Log-off and shut-down: the system ends the process as soon as the
// window that is told returns, so the run ends in order right here.
// Every top-level window of the program is told; the first ends it.
LRESULT EndOfSession(UINT msg, WPARAM wParam) {
    if (msg == WM_ENDSESSION && wParam) {
        Process::RequestStop();
        Process::End();
    }
    return msg == WM_QUERYENDSESSION ? TRUE : 0;
}

// The full-screen window: never closed by the user; its activation decides
// whether presenting makes sense.
LRESULT CALLBACK ScreenWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_QUERYENDSESSION:
        case WM_ENDSESSION:
            return EndOfSession(msg, wParam);
        case WM_ACTIVATE:
            if (S.fullscreen && S.device)
                Post(LOWORD(wParam) == WA_INACTIVE ? MessageFocusLost : MessageFocusGained, hwnd);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hwnd, &paint);
            EndPaint(hwnd, &paint);
            return 1;
        }
        case WM_CLOSE:
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_KEYUP:
        case WM_SYSKEYUP:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

// Wraps the procedure of any window a surface is opened in, once. While
// the surface is open, the window's own painting leaves its area alone, and
// whatever the window paints or resizes asks for the surface to be shown
// again.
LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropA(hwnd, WrappedProperty));
    const int32_t hosting = S.device && !S.fullscreen && hwnd == S.deviceWindow;
    if (hosting && msg == WM_ERASEBKGND)
        ExcludeClipRect(reinterpret_cast<HDC>(wParam), S.area.left, S.area.top, S.area.right,
                        S.area.bottom);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropA(hwnd, WrappedProperty);
    }
    const LRESULT result = previous ? CallWindowProcA(previous, hwnd, msg, wParam, lParam)
                                    : DefWindowProcA(hwnd, msg, wParam, lParam);
    if (hosting && (msg == WM_PAINT || msg == WM_SIZE)) Post(MessageRepaint, hwnd);
    return result;
}

// The program's windows: a close request is the program's to decide on.
LRESULT CALLBACK AppWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) {
        Post(MessageCloseRequest, hwnd);
        return 0;
    }
    if (msg == WM_QUERYENDSESSION || msg == WM_ENDSESSION) return EndOfSession(msg, wParam);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A window class of the program's: double clicks, the program's icon.
ATOM RegisterProgramClass(const char* name, WNDPROC procedure, HBRUSH background, HCURSOR cursor) {
    WNDCLASSEXA type{};
    type.cbSize = sizeof type;
    type.style = CS_DBLCLKS;
    type.lpfnWndProc = procedure;
    type.hInstance = S.instance;
    type.hIcon = ProgramIcon();
    type.hCursor = cursor;
    type.hbrBackground = background;
    type.lpszClassName = name;
    return RegisterClassExA(&type);
}

int32_t CreateScreenWindow() {
    if (S.screenWindow) return 1;
    if (!RegisterProgramClass(ScreenClass, ScreenWindowProc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)),
                              nullptr) &&
        GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return 0;
    S.screenWindow = CreateWindowExA(0, ScreenClass, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                     S.instance, nullptr);
    return S.screenWindow != nullptr;
}

void FirstFullscreenOpen() {
    if (S.firstOpenDone) return;
    S.firstOpenDone = 1;
    S.dwmLibrary = LoadLibraryA("dwmapi.dll");
    S.dwmEnableComposition =
        Lookup<HRESULT(WINAPI*)(UINT)>(S.dwmLibrary, "DwmEnableComposition");
    S.dwmIsCompositionEnabled =
        Lookup<HRESULT(WINAPI*)(BOOL*)>(S.dwmLibrary, "DwmIsCompositionEnabled");
    // Without it a scaled desktop would hand us a virtualised size and DPI.
    auto setAware = Lookup<BOOL(WINAPI*)()>(GetModuleHandleA("user32.dll"), "SetProcessDPIAware");
    if (setAware) setAware();
}

// The first full-screen format the adapter takes for the depth.
D3DFORMAT FullscreenFormat(int32_t depth) {
    static const D3DFORMAT deep[] = {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN};
    static const D3DFORMAT shallow[] = {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_UNKNOWN};
    const D3DFORMAT* candidates = depth == 32 ? deep : depth == 16 ? shallow : deep + 1;
    for (; *candidates != D3DFMT_UNKNOWN; candidates++)
        if (SUCCEEDED(S.d3d->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, *candidates,
                                             *candidates, FALSE)))
            return *candidates;
    return D3DFMT_UNKNOWN;
}

int32_t CreateCpuBuffer(int32_t width, int32_t height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row 0 first, as the logic expects
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    S.bufferDc = CreateCompatibleDC(nullptr);
    if (!S.bufferDc) return 0;
    void* bits = nullptr;
    S.bufferBitmap = CreateDIBSection(S.bufferDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!S.bufferBitmap || !bits) return 0;
    S.bufferPrevious = SelectObject(S.bufferDc, S.bufferBitmap);
    S.bufferBits = static_cast<uint32_t*>(bits);
    return 1;
}

void FreeCpuBuffer() {
    if (S.bufferDc && S.bufferPrevious) SelectObject(S.bufferDc, S.bufferPrevious);
    if (S.bufferBitmap) DeleteObject(S.bufferBitmap);
    if (S.bufferDc) DeleteDC(S.bufferDc);
    S.bufferDc = nullptr;
    S.bufferBitmap = nullptr;
    S.bufferPrevious = nullptr;
    S.bufferBits = nullptr;
}

// The device for `params`, its back buffer cleared to black, and the CPU
// back buffer of the same size.
int32_t CreateDevice(HWND focus, const D3DPRESENT_PARAMETERS& params) {
    D3DCAPS9 caps;
    if (FAILED(S.d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps))) return 0;
    const DWORD vertices = (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT)
                               ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                               : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    S.params = params;
    // Direct3D would otherwise switch the FPU to single precision, and the
    // text layout's arithmetic with it.
    if (FAILED(S.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, focus,
                                   D3DCREATE_FPU_PRESERVE | vertices, &S.params, &S.device))) {
        S.device = nullptr;
        return 0;
    }
    if (FAILED(S.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &S.deviceBackBuffer))) {
        S.deviceBackBuffer = nullptr;
        return 0;
    }
    S.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    return CreateCpuBuffer(static_cast<int32_t>(params.BackBufferWidth),
                           static_cast<int32_t>(params.BackBufferHeight));
}

int32_t ResetDevice() {
    if (S.deviceBackBuffer) S.deviceBackBuffer->Release();
    S.deviceBackBuffer = nullptr;
    // A window's back buffer has the desktop's format, which a display-mode
    // change may have changed while the device was lost.
    D3DDISPLAYMODE desktop;
    if (!S.fullscreen && SUCCEEDED(S.d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop)))
        S.params.BackBufferFormat = desktop.Format;
    if (FAILED(S.device->Reset(&S.params))) return 0;
    if (FAILED(S.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &S.deviceBackBuffer))) {
        S.deviceBackBuffer = nullptr;
        return 0;
    }
    return 1;
}

// The CPU back buffer into the device's, in the device's format.
int32_t CopyToDevice() {
    if (!S.deviceBackBuffer) return 0;
    const D3DFORMAT format = S.params.BackBufferFormat;
    const int32_t deep = format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
    const int32_t wideGreen = format == D3DFMT_R5G6B5;
    if (!deep && !wideGreen && format != D3DFMT_X1R5G5B5 && format != D3DFMT_A1R5G5B5) return 0;
    GdiFlush();  // text drawn by GDI may still be queued
    D3DLOCKED_RECT locked;
    // Every pixel is written: what the buffer held need not be read back.
    if (FAILED(S.deviceBackBuffer->LockRect(&locked, nullptr, D3DLOCK_DISCARD))) return 0;
    for (int32_t y = 0; y < S.height; y++) {
        const uint32_t* from = S.bufferBits + static_cast<ptrdiff_t>(y) * S.width;
        uint8_t* to = static_cast<uint8_t*>(locked.pBits) + static_cast<ptrdiff_t>(y) * locked.Pitch;
        if (deep) {
            std::memcpy(to, from, static_cast<size_t>(S.width) * 4);
            continue;
        }
        auto* out = reinterpret_cast<uint16_t*>(to);
        for (int32_t x = 0; x < S.width; x++) {
            const uint32_t p = from[x], r = (p >> 19) & 0x1F, b = (p >> 3) & 0x1F;
            out[x] = static_cast<uint16_t>(wideGreen ? (r << 11) | (((p >> 10) & 0x3F) << 5) | b
                                                     : 0x8000 | (r << 10) | (((p >> 11) & 0x1F) << 5) | b);
        }
    }
    S.deviceBackBuffer->UnlockRect();
    return 1;
}

AppWindowSlot* SlotOf(HWND hwnd) {
    for (AppWindowSlot& slot : S.windows)
        if (hwnd && slot.hwnd == hwnd) return &slot;
    return nullptr;
}

// Tab and Shift+Tab of the active window's table; 1 when it took the message.
int32_t TranslateAccelerators(MSG* msg) {
    HWND active = GetActiveWindow();
    AppWindowSlot* slot = SlotOf(active);
    return slot && slot->accelerators && TranslateAcceleratorA(active, slot->accelerators, msg);
}

// The message box: windows of this thread recorded while it is up.
struct BoxWindow {
    HWND hwnd;
    int32_t topmost;
    int32_t disabledByUs;
};
struct BoxWindows {
    BoxWindow list[MaxBoxWindows];
    int32_t count;
};

// Keeps the program's other windows out of the way of the box: disabled,
// unless foreground (that one owns the box), and out of the top-most band.
BOOL CALLBACK RecordBoxWindow(HWND hwnd, LPARAM data) {
    auto* windows = reinterpret_cast<BoxWindows*>(data);
    if (GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId() || !IsWindowVisible(hwnd))
        return TRUE;
    if (windows->count == MaxBoxWindows) return FALSE;
    BoxWindow& record = windows->list[windows->count++];
    record.hwnd = hwnd;
    record.topmost = (GetWindowLongA(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    record.disabledByUs = hwnd != GetForegroundWindow() && IsWindowEnabled(hwnd);
    if (record.disabledByUs) EnableWindow(hwnd, FALSE);
    return TRUE;
}

BOOL CALLBACK DismissBox(HWND hwnd, LPARAM) {
    char name[16];
    if (GetClassNameA(hwnd, name, sizeof name) && std::strcmp(name, "#32770") == 0)
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// Runs inside the box's modal loop: a stop request (a console event, on
// another thread) dismisses the box so that the shutdown runs in order.
void CALLBACK CheckStopRequest(HWND, UINT, UINT_PTR, DWORD) {
    if (Process::StopRequested()) EnumThreadWindows(GetCurrentThreadId(), DismissBox, 0);
}

}  // namespace

void Post(int32_t kind, HWND window) {
    const NativeWindow handle = ToHandle(window);
    if (S.pendingCount > 0) {
        const Message& tail = S.pending[(S.pendingHead + S.pendingCount - 1) % MaxPending];
        if (tail.kind == kind && tail.window == handle) return;
    }
    // Only a dispatch that nobody polls could fill it; the newest then goes.
    if (S.pendingCount == MaxPending) return;
    S.pending[(S.pendingHead + S.pendingCount) % MaxPending] = Message{kind, handle, PrivateNumber(kind)};
    S.pendingCount++;
}

}  // namespace Win32Backend

namespace DisplayBackend {

using namespace Win32Backend;

int32_t InitSystem() {
    if (S.systemReady) return 1;
    if (!S.instance) S.instance = GetModuleHandleA(nullptr);
    if (!CreateScreenWindow()) return 0;
    if (!S.d3d) {
        if (!S.d3d9Library) S.d3d9Library = LoadLibraryA("d3d9.dll");
        auto create = Lookup<IDirect3D9*(WINAPI*)(UINT)>(S.d3d9Library, "Direct3DCreate9");
        S.d3d = create ? create(Direct3DVersion) : nullptr;
        if (!S.d3d) return 0;
    }
    static const D3DFORMAT formats[] = {D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8};
    UINT modes = 0;
    for (D3DFORMAT format : formats)
        modes += S.d3d->GetAdapterModeCount(D3DADAPTER_DEFAULT, format);
    if (modes == 0) {
        S.d3d->Release();
        S.d3d = nullptr;
        return 0;
    }
    S.systemReady = 1;
    return 1;
}

int32_t OpenFullscreen(int32_t width, int32_t height, int32_t depth, int32_t refreshHz,
                       const char* title) {
    CloseSurface();
    if (!InitSystem()) return 0;
    FirstFullscreenOpen();
    // Composition would put the full-screen surface through the desktop's
    // compositor, one more frame between present and screen.
    BOOL composing = FALSE;
    if (S.dwmIsCompositionEnabled && S.dwmEnableComposition &&
        SUCCEEDED(S.dwmIsCompositionEnabled(&composing)) && composing) {
        S.compositionWasOn = 1;
        S.dwmEnableComposition(DwmDisableComposition);
    }
    ShowCursor(FALSE);
    S.cursorHidden = 1;
    SetWindowTextA(S.screenWindow, title);
    MoveWindow(S.screenWindow, 0, 0, width, height, TRUE);
    S.fullscreen = 1;
    S.deviceWindow = S.screenWindow;
    S.width = width;
    S.height = height;

    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = static_cast<UINT>(width);
    params.BackBufferHeight = static_cast<UINT>(height);
    params.BackBufferFormat = FullscreenFormat(depth);
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_FLIP;
    params.hDeviceWindow = S.screenWindow;
    params.Windowed = FALSE;
    params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    // 0 and 1 both stand for the display's default rate.
    params.FullScreen_RefreshRateInHz = refreshHz > 1 ? static_cast<UINT>(refreshHz) : 0;
    params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    if (params.BackBufferFormat == D3DFMT_UNKNOWN || !CreateDevice(S.screenWindow, params)) {
        CloseSurface();
        return 0;
    }
    // 1 ms sleeps in the program stay 1 ms while the screen is ours.
    timeBeginPeriod(1);
    S.timerRaised = 1;
    ShowWindow(S.screenWindow, SW_SHOWMAXIMIZED);
    return 1;
}

int32_t OpenInWindow(NativeWindow parentHandle, int32_t x, int32_t y, int32_t width, int32_t height) {
    CloseSurface();
    HWND parent = ToHwnd(parentHandle);
    if (!parent || !IsWindow(parent) || !InitSystem()) return 0;
    S.fullscreen = 0;
    S.deviceWindow = parent;
    S.width = width;
    S.height = height;
    S.area = RECT{x, y, x + width, y + height};
    D3DDISPLAYMODE desktop;
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = static_cast<UINT>(width);
    params.BackBufferHeight = static_cast<UINT>(height);
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_COPY;
    params.hDeviceWindow = parent;
    params.Windowed = TRUE;
    params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    if (FAILED(S.d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &desktop)) ||
        (params.BackBufferFormat = desktop.Format, !CreateDevice(parent, params))) {
        CloseSurface();
        return 0;
    }
    if (!GetPropA(parent, WrappedProperty)) {
        SetPropA(parent, WrappedProperty, reinterpret_cast<HANDLE>(GetWindowLongPtrA(parent, GWLP_WNDPROC)));
        SetWindowLongPtrA(parent, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ParentProc));
    }
    return 1;
}

void CloseSurface() {
    if (S.deviceBackBuffer) S.deviceBackBuffer->Release();
    if (S.device) S.device->Release();
    S.deviceBackBuffer = nullptr;
    S.device = nullptr;
    FreeCpuBuffer();
    // The parent paints where the surface was.
    if (!S.fullscreen && S.deviceWindow) InvalidateRect(S.deviceWindow, &S.area, TRUE);
    if (S.fullscreen && S.screenWindow) ShowWindow(S.screenWindow, SW_HIDE);
    if (S.timerRaised) timeEndPeriod(1);
    if (S.cursorHidden) ShowCursor(TRUE);
    if (S.compositionWasOn && S.dwmEnableComposition) S.dwmEnableComposition(DwmEnableComposition);
    S.area = RECT{};
    S.deviceWindow = nullptr;
    S.fullscreen = S.width = S.height = 0;
    S.timerRaised = S.cursorHidden = S.compositionWasOn = 0;
    S.params = D3DPRESENT_PARAMETERS{};
}

Pixels BackBuffer() {
    // The screen is drawn between two waits, never during one.
    TellKeyboardLosses();
    if (!S.bufferBits) return Pixels{nullptr, 0, 0, 0};
    return Pixels{S.bufferBits, S.width, S.height, S.width};
}

// Present only queues the flip; the caller reads its clock next. An event
// query issued behind it is signalled once the device has carried out
// everything before it, the flip included (what glFinish is on Linux).
// Bounded, so that a driver that never signals costs a few frames at most;
// by the performance counter, as the tick count moves in 15.6 ms steps.
void WaitForQueuedWork() {
    IDirect3DQuery9* query = nullptr;
    if (FAILED(S.device->CreateQuery(D3DQUERYTYPE_EVENT, &query)) || !query) return;
    LARGE_INTEGER frequency, start, now;
    if (SUCCEEDED(query->Issue(D3DISSUE_END)) && QueryPerformanceFrequency(&frequency) &&
        QueryPerformanceCounter(&start)) {
        const LONGLONG limit = frequency.QuadPart * FlipWaitMs / 1000;
        while (query->GetData(nullptr, 0, D3DGETDATA_FLUSH) == S_FALSE && QueryPerformanceCounter(&now) &&
               now.QuadPart - start.QuadPart < limit)
            Sleep(0);
    }
    query->Release();
}

int32_t Present(int32_t retrace) {
    if (!S.device || !S.bufferBits) return PresentFailed;
    StepTrace::Mark(StepTrace::PresentBegin);
    HRESULT state = S.device->TestCooperativeLevel();
    if (state == D3DERR_DEVICELOST) {
        // Another program may be handing the display back right now.
        const DWORD start = GetTickCount();
        do {
            Sleep(1);
            state = S.device->TestCooperativeLevel();
        } while (state == D3DERR_DEVICELOST && GetTickCount() - start < 32);
    }
    if (state == D3DERR_DEVICELOST || state == D3DERR_DRIVERINTERNALERROR) return PresentLost;
    // The interval is part of the device's parameters: a change takes a reset.
    const UINT interval = retrace ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
    if (state == D3DERR_DEVICENOTRESET || S.params.PresentationInterval != interval) {
        S.params.PresentationInterval = interval;
        if (!ResetDevice()) return PresentLost;
    }
    if (!CopyToDevice()) return PresentFailed;
    StepTrace::Mark(StepTrace::PresentDrawn);
    const RECT* destination = S.fullscreen ? nullptr : &S.area;
    if (FAILED(S.device->Present(nullptr, destination, nullptr, nullptr))) return PresentFailed;
    StepTrace::Mark(StepTrace::PresentQueued);
    WaitForQueuedWork();
    StepTrace::Mark(StepTrace::PresentDone);
    return PresentShown;
}

PresentPacing DescribePresent() {
    if (!S.device) return {0, "no surface"};
    // Wine turns Direct3D into OpenGL; whether that waits for a retrace
    // depends on the host's driver, which a Windows program cannot see.
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version"))
        return {0, "Direct3D 9 under Wine, drawn through the host's OpenGL: the display's "
                   "retrace not seen"};
    if (S.params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE)
        return {0, "Direct3D 9, presented immediately"};
    return {1, S.fullscreen ? "Direct3D 9 full screen, one present per retrace"
                            : "Direct3D 9 in a window, one present per retrace (the desktop "
                              "compositor may add a frame)"};
}

int32_t PollMessage(Message* message) {
    if (!message) return 0;
    if (TakePending(message)) return 1;
    MSG msg;
    // Sent messages are delivered inside the peek, and may post ours.
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) return TakePending(message);
    if (!TranslateAccelerators(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    message->kind = MessageOther;
    message->window = ToHandle(msg.hwnd);
    message->number = msg.message == WM_CLOSE ? PrivateNumber(MessageOther)
                                              : static_cast<int32_t>(msg.message);
    return 1;
}

// Sleeps on DirectInput's key-change event and the thread's message queue;
// the caller's bound is how late a stop request may be seen. The key changes
// are drained from DirectInput's buffer after the wake, so a tap counts
// however long the sleep, without the busy poll that cost a whole core; under
// Wine the buffer is filled while this wait reads the window system's events.
// A full screen leaves its posted messages queued until the next present, so
// only new ones wake it; a window's event poll takes one message a turn, so
// any waiting one does. Messages sent to a full screen in the foreground (the
// end of the session) are handled here; in the background they wait for the
// present, as a deactivation handled at once minimises the window, which Wine
// without a window manager never brings back.
int32_t WaitForInput(int32_t timeoutMs) {
    if (S.pendingCount > 0) return 1;
    HANDLE changed = KeyboardChanged();
    StepTrace::Mark(StepTrace::WaitBegin);
    const DWORD result = MsgWaitForMultipleObjectsEx(changed ? 1 : 0, changed ? &changed : nullptr,
                                                     static_cast<DWORD>(timeoutMs), QS_ALLINPUT,
                                                     S.fullscreen ? 0 : MWMO_INPUTAVAILABLE);
    StepTrace::Mark(StepTrace::WaitWoken, result != WAIT_TIMEOUT);
    if (result == WAIT_FAILED) return 0;
    // Even after a time-out: a message sent between the peek and the status
    // call below counts as seen, and no later wait would wake for it.
    MSG msg;
    if (S.fullscreen && GetForegroundWindow() == S.deviceWindow)
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    // What is queued now is no longer new: the next wait sleeps.
    GetQueueStatus(QS_ALLINPUT);
    return 1;
}

NativeWindow OpenWindow(const WindowSpec& request) {
    if (!S.instance) S.instance = GetModuleHandleA(nullptr);
    int32_t index = 0;
    while (index < MaxWindows && S.windows[index].hwnd) index++;
    if (index == MaxWindows) return 0;
    AppWindowSlot& slot = S.windows[index];
    std::snprintf(slot.className, sizeof slot.className, "WindowClass_%d", static_cast<int>(index));

    if (!RegisterProgramClass(slot.className, AppWindowProc,
                              reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)),
                              LoadCursorA(nullptr, MAKEINTRESOURCEA(32512))))  // IDC_ARROW
        return 0;

    const DWORD style = request.style & ~static_cast<DWORD>(WS_VISIBLE);
    const DWORD extended = request.toolWindow ? WS_EX_TOOLWINDOW : 0;
    RECT outer{0, 0, request.clientWidth, request.clientHeight};
    AdjustWindowRectEx(&outer, style, FALSE, extended);
    const int outerWidth = outer.right - outer.left, outerHeight = outer.bottom - outer.top;
    int x = request.x, y = request.y;
    if (request.centreOnScreen) {
        RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        x = work.left + (work.right - work.left - outerWidth) / 2;
        y = work.top + (work.bottom - work.top - outerHeight) / 2;
    } else if (request.defaultPosition) {
        x = y = CW_USEDEFAULT;
    }
    HWND hwnd = CreateWindowExA(extended, slot.className, request.title ? request.title : "", style, x,
                                y, outerWidth, outerHeight, ToHwnd(request.parent), nullptr,
                                S.instance, nullptr);
    if (!hwnd) {
        UnregisterClassA(slot.className, S.instance);
        slot = AppWindowSlot{};
        return 0;
    }
    slot.hwnd = hwnd;
    ACCEL keys[2] = {{FVIRTKEY, VK_TAB, CommandNextControl},
                     {FVIRTKEY | FSHIFT, VK_TAB, CommandPreviousControl}};
    slot.accelerators = CreateAcceleratorTableA(keys, 2);
    if (!request.hidden)
        ShowWindow(hwnd, (style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED
                         : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED
                                                 : SW_SHOWNORMAL);
    return ToHandle(hwnd);
}

void CloseWindow(NativeWindow handle) {
    HWND hwnd = ToHwnd(handle);
    AppWindowSlot* slot = SlotOf(hwnd);
    if (!slot) return;
    if (!S.fullscreen && S.deviceWindow == hwnd) CloseSurface();
    if (HWND owner = GetWindow(hwnd, GW_OWNER)) SetActiveWindow(owner);
    DestroyWindow(hwnd);
    UnregisterClassA(slot->className, S.instance);
    if (slot->accelerators) DestroyAcceleratorTable(slot->accelerators);
    *slot = AppWindowSlot{};
    DropPending(hwnd);
}

int32_t DesktopModes(DesktopMode* modes, int32_t capacity) {
    using EnumDevices = BOOL(WINAPI*)(LPCSTR, DWORD, PDISPLAY_DEVICEA, DWORD);
    auto enumDevices = Lookup<EnumDevices>(GetModuleHandleA("user32.dll"), "EnumDisplayDevicesA");
    DISPLAY_DEVICEA device;
    auto next = [&](DWORD index) {
        device = DISPLAY_DEVICEA{};
        device.cb = sizeof device;
        return enumDevices(nullptr, index, &device, 0) != FALSE;
    };
    int32_t count = 0;
    if (enumDevices) {
        for (DWORD i = 0; next(i); i++)
            if (device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) count++;
        int32_t following = 1;
        for (DWORD i = 0; count > 0 && next(i); i++) {
            if (!(device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)) continue;
            DEVMODEA mode{};
            mode.dmSize = sizeof mode;
            if (!EnumDisplaySettingsA(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode)) continue;
            // The primary display is entry 0 wherever the enumeration puts it.
            const int32_t index = (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) ? 0 : following++;
            if (index >= count || index >= capacity) continue;
            DesktopMode& out = modes[index];
            out.x = mode.dmPosition.x;
            out.y = mode.dmPosition.y;
            out.width = static_cast<int32_t>(mode.dmPelsWidth);
            out.height = static_cast<int32_t>(mode.dmPelsHeight);
            out.depth = static_cast<int32_t>(mode.dmBitsPerPel);
            out.refreshHz = static_cast<int32_t>(mode.dmDisplayFrequency);
            std::memcpy(out.name, device.DeviceName, sizeof out.name);
        }
    }
    if (count > 0) return count;
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (!display) return 0;
    if (capacity > 0) {
        const int32_t hz = GetDeviceCaps(display, VREFRESH);
        modes[0] = DesktopMode{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                               GetDeviceCaps(display, BITSPIXEL), hz == 1 ? 0 : hz, {}};
    }
    DeleteDC(display);
    return 1;
}

int32_t MessageBox(const char* title, const char* text) {
    BoxWindows windows{};
    EnumWindows(RecordBoxWindow, reinterpret_cast<LPARAM>(&windows));
    for (int32_t i = 0; i < windows.count; i++)
        if (windows.list[i].topmost)
            SetWindowPos(windows.list[i].hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    if (foreground) GetWindowThreadProcessId(foreground, &process);
    HWND owner = process == GetCurrentProcessId() ? foreground : nullptr;
    const UINT_PTR timer = SetTimer(nullptr, 0, StopCheckMs, CheckStopRequest);
    const int result = MessageBoxA(owner, text, title, MB_OK);
    if (timer) KillTimer(nullptr, timer);
    for (int32_t i = 0; i < windows.count; i++) {
        const BoxWindow& record = windows.list[i];
        if (record.disabledByUs) EnableWindow(record.hwnd, TRUE);
        if (record.topmost)
            SetWindowPos(record.hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    return result;
}

void Shutdown() {
    CloseSurface();
    for (AppWindowSlot& slot : S.windows)
        if (slot.hwnd) CloseWindow(ToHandle(slot.hwnd));
    KeyboardClose();
    ShutdownFonts();
    if (S.d3d) S.d3d->Release();
    if (S.d3d9Library) FreeLibrary(S.d3d9Library);
    if (S.dwmLibrary) FreeLibrary(S.dwmLibrary);
    if (S.screenWindow) {
        DestroyWindow(S.screenWindow);
        UnregisterClassA(ScreenClass, S.instance);
    }
    S = State{};
}

}  // namespace DisplayBackend
