// The timing bench's yardstick for the Windows build: the smallest Direct3D 9
// and DirectInput program that runs wordtap's trial, run under the same Wine
// as wordtap.exe so that Wine's own input and presentation chain sits in
// both. Full screen at the desktop's mode, presents at the retrace
// (D3DPRESENT_INTERVAL_ONE), the performance counter read right after the
// present, and a response loop that empties the message queue, reads the
// key states (GetDeviceState) and yields (Sleep(0)), without ever sleeping.
// With --finish the present is followed by a wait for the device to have
// carried it out (an event query), as wordtap does; without, the clock is
// read as soon as the present is queued.
//
// Reads data/words/list.txt in the working directory and writes a results
// file as wordtap does (same name pattern, header and line format). Shows
// seven black bars as its introduction, a black bar as each "word" across
// the middle of the screen, and ends by itself after the last word. [Esc]
// quits at any time. Its window is called "reference"; keys count while it
// is in the foreground.
#define DIRECTINPUT_VERSION 0x0700
#include <windows.h>
#include <d3d9.h>
#include <dinput.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

enum { MaxWords = 4096, MaxWordLength = 64 };

static IDirect3DDevice9* device;
static IDirectInputDevice7A* keyboard;
static int width, height, finish;
static LONGLONG ticks_per_ms;

// Whole milliseconds, as wordtap's clock counts them.
static unsigned milliseconds(void) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (unsigned)(now.QuadPart / ticks_per_ms);
}

static void clear_white(void) {
    IDirect3DDevice9_Clear(device, 0, NULL, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 255, 255), 1.0f, 0);
}

static void bar(int x, int y, int w, int h) {
    D3DRECT r = {x, y, x + w, y + h};
    IDirect3DDevice9_Clear(device, 1, &r, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
}

static void present(void) {
    IDirect3DDevice9_Present(device, NULL, NULL, NULL, NULL);
    IDirect3DQuery9* query = NULL;
    if (!finish || FAILED(IDirect3DDevice9_CreateQuery(device, D3DQUERYTYPE_EVENT, &query))) return;
    IDirect3DQuery9_Issue(query, D3DISSUE_END);
    // Bounded, as wordtap's: 50 ms.
    const unsigned start = milliseconds();
    while (IDirect3DQuery9_GetData(query, NULL, 0, D3DGETDATA_FLUSH) == S_FALSE && milliseconds() - start < 50)
        Sleep(0);
    IDirect3DQuery9_Release(query);
}

// 0 on [Esc], 1 or 2 once [W] or [O] was let go after being seen down.
static int wait_for_response(void) {
    BYTE keys[256];
    int seen_w = 0, seen_o = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (FAILED(IDirectInputDevice7_GetDeviceState(keyboard, sizeof keys, keys))) {
            IDirectInputDevice7_Acquire(keyboard);  // not in the foreground yet, or input lost
        } else {
            if (keys[DIK_ESCAPE] & 0x80) return 0;
            if (keys[DIK_W] & 0x80) seen_w = 1;
            else if (seen_w) return 1;
            if (keys[DIK_O] & 0x80) seen_o = 1;
            else if (seen_o) return 2;
        }
        Sleep(0);
    }
}

static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETCURSOR) {
        SetCursor(NULL);
        return TRUE;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int main(int argc, char** argv) {
    finish = argc > 1 && strcmp(argv[1], "--finish") == 0;
    static char words[MaxWords][MaxWordLength];
    int count = 0;
    FILE* list = fopen("data/words/list.txt", "rb");
    if (!list) return 1;
    while (count < MaxWords && fgets(words[count], MaxWordLength, list)) {
        words[count][strcspn(words[count], "\r\n")] = 0;
        if (words[count][0]) count++;
    }
    fclose(list);
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart < 1000) return 1;
    ticks_per_ms = frequency.QuadPart / 1000;

    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSA type = {0};
    type.lpfnWndProc = window_proc;
    type.hInstance = instance;
    type.lpszClassName = "reference";
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DDISPLAYMODE mode;
    if (!RegisterClassA(&type) || !d3d || FAILED(IDirect3D9_GetAdapterDisplayMode(d3d, D3DADAPTER_DEFAULT, &mode)))
        return 1;
    width = (int)mode.Width;
    height = (int)mode.Height;
    HWND window = CreateWindowExA(0, "reference", "reference", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                                  NULL, NULL, instance, NULL);
    D3DPRESENT_PARAMETERS params = {0};
    params.BackBufferWidth = mode.Width;
    params.BackBufferHeight = mode.Height;
    params.BackBufferFormat = mode.Format;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = window;
    params.Windowed = FALSE;
    params.FullScreen_RefreshRateInHz = mode.RefreshRate;
    params.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    if (!window || FAILED(IDirect3D9_CreateDevice(d3d, D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                                  D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE,
                                                  &params, &device)))
        return 1;
    SetForegroundWindow(window);

    IDirectInput7A* input = NULL;
    if (FAILED(DirectInputCreateEx(instance, DIRECTINPUT_VERSION, &IID_IDirectInput7A, (void**)&input, NULL)) ||
        FAILED(IDirectInput7_CreateDeviceEx(input, &GUID_SysKeyboard, &IID_IDirectInputDevice7A, (void**)&keyboard,
                                            NULL)) ||
        FAILED(IDirectInputDevice7_SetDataFormat(keyboard, &c_dfDIKeyboard)) ||
        FAILED(IDirectInputDevice7_SetCooperativeLevel(keyboard, window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND)))
        return 1;
    IDirectInputDevice7_Acquire(keyboard);

    char name[64];
    time_t now = time(NULL);
    strftime(name, sizeof name, "results_%Y%m%d-%H%M%S.txt", localtime(&now));
    FILE* results = fopen(name, "wb");
    if (!results) return 1;
    fputs("time\tkey\tword\r\n", results);
    fflush(results);

    // The introduction: seven bars, none across the middle strip.
    clear_white();
    static const int rows[7] = {100, 150, 200, 250, 550, 600, 650};
    for (int i = 0; i < 7; i++) bar(width / 4, rows[i] * height / 768, width / 2, 10);
    present();
    if (!wait_for_response()) return 0;

    for (int i = 0; i < count; i++) {
        clear_white();
        present();
        Sleep(400);
        clear_white();
        const int w = (int)strlen(words[i]) * height / 50;
        bar((width - w) / 2, height / 2 - 12, w, 24);
        Sleep(100);
        present();
        const unsigned start = milliseconds();
        const int response = wait_for_response();
        const unsigned elapsed = milliseconds() - start;
        if (!response) break;
        fprintf(results, "%3u.%03u\t%s\t%s\r\n", elapsed / 1000, elapsed % 1000, response == 1 ? "W" : "O",
                words[i]);
        fflush(results);
    }
    fclose(results);
    IDirectInputDevice7_Unacquire(keyboard);
    IDirectInputDevice7_Release(keyboard);
    IDirectInput7_Release(input);
    IDirect3DDevice9_Release(device);
    IDirect3D9_Release(d3d);
    return 0;
}
