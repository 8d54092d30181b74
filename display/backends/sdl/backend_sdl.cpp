// The SDL2 display backend: surface, windows, messages, keyboard, desktop
// query and message box (text lives in font_sdl.cpp).
//
// Needs SDL2 (2.0.22 or later) with a working video driver. On X11 the
// renderer is OpenGL where the server offers direct rendering, and SDL's
// software renderer (shared-memory images, no OpenGL loaded) where it does
// not, as under Xvfb or on a remote display.
// Cannot do: wait for a real vertical retrace where the driver offers no
// swap control (always so under Xvfb); presents with retrace are then put on
// a timer grid of the mode's refresh period (60 Hz when unknown).
// Key changes are SDL's key events, recorded in order by an event filter as
// SDL pushes them, so a tap between two looks is seen however short.
// Cannot do: follow a key through a focus change. SDL lets go of every key
// when its window loses the keyboard and does not take them up again when it
// comes back, so a key held across the change is found let go at the first
// look after the focus returns, whenever the finger leaves it.
// The input wait sleeps on the X connection; with other video drivers it
// cannot wait, and the response loop yields instead.
#include <SDL.h>
#include <SDL_syswm.h>
#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xatom.h>
#include <poll.h>
#endif
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "display/backend.h"
#include "display/backends/sdl/sdl_state.h"
#include "support/process/process.h"
#include "support/text/codepage.h"
#include "support/text/utf8.h"
#include "support/time/step_trace.h"

namespace SdlBackend {

State& Get() {
    static State state{};
    return state;
}

namespace {

State& S = Get();

constexpr int32_t MaxWindowSide = 16384;
constexpr int WaitNice = -10;

int SDLCALL FilterEvents(void*, SDL_Event* event);

int SDLCALL WatchEvents(void*, SDL_Event* event) {
    // The texture and the renderer's context are gone; Present rebuilds them.
    if (event->type == SDL_RENDER_DEVICE_RESET) S.deviceLost = 1;
    // SDL marks the end of each poll's batch with a sentinel of its own.
    if (event->type != SDL_POLLSENTINEL) S.messagesWaiting = 1;
    return 0;
}

#if defined(SDL_VIDEO_DRIVER_X11)
// SDL's connection to the X server behind `window`; null on other drivers.
Display* XDisplayOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return nullptr;
    return info.info.x11.display;
}
#endif

// Whether frames go through SDL's software renderer. OpenGL on an X server
// without direct rendering (Xvfb, a remote display) is Mesa's software
// rasteriser in the process: some 80 MB for no retrace and no swap control,
// where shared-memory images show the same frames. A render driver named
// in SDL's hint decides by itself.
int32_t ChooseSoftwareRenderer() {
    if (const char* driver = SDL_GetHint(SDL_HINT_RENDER_DRIVER))
        return SDL_strcasecmp(driver, "software") == 0;
#if defined(SDL_VIDEO_DRIVER_X11)
    const char* video = SDL_GetCurrentVideoDriver();
    if (!video || std::strcmp(video, "x11") != 0) return 0;
    // SDL's connection is reachable only through a window, and the choice
    // must come before the first one: a short connection of our own.
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 0;
    int opcode = 0, firstEvent = 0, firstError = 0;
    const int direct = XQueryExtension(display, "DRI3", &opcode, &firstEvent, &firstError) ||
                       XQueryExtension(display, "DRI2", &opcode, &firstEvent, &firstError);
    XCloseDisplay(display);
    return direct ? 0 : 1;
#else
    return 0;
#endif
}

// SDL falls back to its invisible "offscreen" driver when no display can be
// reached; a run there could never be seen or answered. Unless a driver is
// asked for by name, only drivers that show something are allowed, so that
// the open fails and the program reports it.
void RestrictToVisibleDrivers() {
    if (SDL_getenv("SDL_VIDEODRIVER")) return;
    std::string drivers;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); i++) {
        const char* name = SDL_GetVideoDriver(i);
        if (!name || !std::strcmp(name, "offscreen") || !std::strcmp(name, "dummy") ||
            !std::strcmp(name, "evdev"))
            continue;
        // Without a runtime directory there is no compositor to reach, and
        // the attempt only prints a complaint on stderr.
        if (!std::strcmp(name, "wayland") && !SDL_getenv("XDG_RUNTIME_DIR")) continue;
        if (!drivers.empty()) drivers += ',';
        drivers += name;
    }
    // An empty list would mean "any"; name one that cannot exist instead.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.empty() ? "none" : drivers.c_str());
}

int32_t EnsureVideo() {
    if (S.videoUp) return 1;
    RestrictToVisibleDrivers();
    // The program handles SIGINT/SIGTERM/SIGHUP itself and ends through its
    // normal shutdown; SDL must not turn them into quit events.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // A close request is the program's decision; SDL must not add a quit.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
    S.videoUp = 1;
    SDL_AddEventWatch(WatchEvents, nullptr);
    S.softwareRenderer = ChooseSoftwareRenderer();
    // Otherwise SDL would put the software renderer's window surface on an
    // OpenGL texture, which loads all of OpenGL after all.
    if (S.softwareRenderer) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Nobody reads these events: ignoring them keeps the queue short during
    // a long full-screen wait, where only the present drains it. Key events
    // go to the filter, which keeps them out of the queue too.
    SDL_StopTextInput();
    static const Uint32 ignored[] = {SDL_TEXTINPUT, SDL_TEXTEDITING, SDL_MOUSEMOTION,
                                     SDL_MOUSEWHEEL};
    for (Uint32 type : ignored) SDL_EventState(type, SDL_IGNORE);
    SDL_SetEventFilter(FilterEvents, nullptr);
#if defined(SDL_VIDEO_DRIVER_X11)
    // SDL announces each X event before it turns it into its own: that ends
    // a run of releases, which can then not be the ones made up on a focus
    // loss (see FilterEvents).
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
#endif
    return 1;
}

SDL_Window* ToWindow(NativeWindow handle) { return reinterpret_cast<SDL_Window*>(handle); }
NativeWindow ToHandle(SDL_Window* window) { return reinterpret_cast<NativeWindow>(window); }

int32_t IsOurWindow(SDL_Window* window) {
    if (!window) return 0;
    if (window == S.fullscreenWindow) return 1;
    for (SDL_Window* w : S.windows)
        if (w == window) return 1;
    return 0;
}

int32_t SideOk(int32_t side) { return side >= 1 && side <= MaxWindowSide; }

void ReleaseRenderer() {
    if (S.texture) SDL_DestroyTexture(S.texture);
    if (S.renderer) SDL_DestroyRenderer(S.renderer);
    S.texture = nullptr;
    S.renderer = nullptr;
    S.glFinish = nullptr;
}

// Whether the renderer's vsync is the driver's, synchronised with the
// display. SDL fakes it otherwise (software renderer, or an OpenGL without
// swap control such as Mesa's llvmpipe on Xvfb) by sleeping after the frame
// was already handed over, which would put the clock read after the present
// up to a frame late. The software renderer is never asked: its window
// surface would keep the fake for good.
int32_t DriverSyncsToRetrace(SDL_Renderer* renderer, const SDL_RendererInfo& info) {
    if (std::strcmp(info.name, "software") == 0) return 0;
    SDL_RenderSetVSync(renderer, 1);
    if (std::strncmp(info.name, "opengl", 6) == 0 && SDL_GL_GetSwapInterval() == 0) {
        SDL_RenderSetVSync(renderer, 0);
        return 0;
    }
    return 1;
}

int64_t NowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Without a driver retrace, presents with retrace are put on a grid of the
// display's refresh period instead: each waits for the next grid point and
// then hands the frame over, so that the frame shows when Present returns.
void WaitForStandInRetrace() {
    const int64_t now = NowNanos();
    if (S.retraceAnchorNanos == 0) {
        S.retraceAnchorNanos = now;
        return;
    }
    const int64_t period = S.retracePeriodNanos;
    const int64_t next = S.retraceAnchorNanos + ((now - S.retraceAnchorNanos) / period + 1) * period;
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::nanoseconds(next))));
    StepTrace::Mark(StepTrace::GridWoken, next);
}

// Renderer and streaming texture for the surface window; the back buffer
// itself survives a rebuild.
int32_t CreateRenderer() {
    S.renderer =
        SDL_CreateRenderer(S.surfaceWindow, -1, S.softwareRenderer ? SDL_RENDERER_SOFTWARE : 0);
    if (!S.renderer) return 0;
    S.texture = SDL_CreateTexture(S.renderer, SDL_PIXELFORMAT_RGB888,
                                  SDL_TEXTUREACCESS_STREAMING, S.width, S.height);
    SDL_RendererInfo info;
    if (!S.texture || SDL_GetRendererInfo(S.renderer, &info) != 0 || !info.name) {
        ReleaseRenderer();
        return 0;
    }
    S.standInRetrace = !DriverSyncsToRetrace(S.renderer, info);
    S.vsync = !S.standInRetrace;
    if (S.standInRetrace) {
        SDL_DisplayMode mode;
        int hz = 0;
        if (SDL_GetCurrentDisplayMode(std::max(0, SDL_GetWindowDisplayIndex(S.surfaceWindow)),
                                      &mode) == 0)
            hz = mode.refresh_rate;
        S.retracePeriodNanos = 1000000000LL / (hz > 0 ? hz : 60);
        S.retraceAnchorNanos = 0;
    }
    // The OpenGL renderers return from the buffer swap before it happens and
    // block in the next call instead; glFinish makes the present wait there.
    if (std::strncmp(info.name, "opengl", 6) == 0)
        S.glFinish = reinterpret_cast<void (*)()>(SDL_GL_GetProcAddress("glFinish"));
    int outW = 0, outH = 0;
    SDL_GetRendererOutputSize(S.renderer, &outW, &outH);
    S.clearOutside = S.surfaceWindow != S.fullscreenWindow &&
                     (S.destination.x != 0 || S.destination.y != 0 ||
                      S.destination.w < outW || S.destination.h < outH);
    return 1;
}

int32_t CreateSurface(int32_t width, int32_t height) {
    S.width = width;
    S.height = height;
    S.deviceLost = 0;
    S.backBuffer.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    return CreateRenderer();
}

// A mode the display really offers at exactly width x height (and hz when
// non-zero); SDL lists them best first.
int32_t FindMode(int32_t display, int32_t width, int32_t height, int32_t hz,
                 SDL_DisplayMode* found) {
    int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; i++) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) != 0) continue;
        if (mode.w != width || mode.h != height) continue;
        if (hz != 0 && mode.refresh_rate != hz) continue;
        *found = mode;
        return 1;
    }
    return 0;
}

// The OpenGL renderers need an OpenGL window and would otherwise destroy
// and re-create it under the caller (a new X window that has lost its
// place and its focus); windows are made fit for them from the start.
// The software renderer gets a plain window: an OpenGL one would load
// OpenGL for nothing.
SDL_Window* CreateWindow(const char* title, int x, int y, int w, int h, Uint32 flags) {
    SDL_Window* window = nullptr;
    if (!S.softwareRenderer) window = SDL_CreateWindow(title, x, y, w, h, flags | SDL_WINDOW_OPENGL);
    if (!window) window = SDL_CreateWindow(title, x, y, w, h, flags);
    return window;
}

// Whether a window manager runs on the window's X display; 1 elsewhere.
// Without one nobody answers SDL's full-screen request, and SDL waits 100 ms
// for the answer when the window is shown and again when it is destroyed.
int32_t WindowManagerRuns(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    Display* display = XDisplayOf(window);
    if (!display) return 1;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == None) return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False,
                                          XA_WINDOW, &type, &format, &count, &after, &data);
    const int32_t runs = status == Success && data != nullptr && count == 1;
    if (data) XFree(data);
    return runs;
#else
    (void)window;
    return 1;
#endif
}

// Without a window manager nobody gives a new window the keyboard; as on
// the desktop the program was written for, a window it shows takes it.
void TakeFocus(SDL_Window* window) {
    SDL_RaiseWindow(window);
    SDL_SetWindowInputFocus(window);
}

int32_t MessageFor(const SDL_Event& event, DisplayBackend::Message* message) {
    message->kind = DisplayBackend::MessageOther;
    message->window = 0;
    message->number = static_cast<int32_t>(event.type);
    if (event.type != SDL_WINDOWEVENT) return 1;
    SDL_Window* window = SDL_GetWindowFromID(event.window.windowID);
    message->window = IsOurWindow(window) ? ToHandle(window) : 0;
    switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            message->kind = DisplayBackend::MessageCloseRequest;
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            message->kind = DisplayBackend::MessageRepaint;
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            message->kind = DisplayBackend::MessageFocusGained;
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            message->kind = DisplayBackend::MessageFocusLost;
            break;
        default:
            break;
    }
    return 1;
}

// SDL scan codes are USB usages of physical key positions; the program
// counts keys by set-1 scan code. Extended (E0-prefixed) keys sit at
// code | 0x80, as raw keyboard readers on the other platform report them.
struct KeyMapping {
    SDL_Scancode sdl;
    uint8_t set1;
};
constexpr KeyMapping KeyMap[] = {
    {SDL_SCANCODE_ESCAPE, 0x01},       {SDL_SCANCODE_1, 0x02},
    {SDL_SCANCODE_2, 0x03},            {SDL_SCANCODE_3, 0x04},
    {SDL_SCANCODE_4, 0x05},            {SDL_SCANCODE_5, 0x06},
    {SDL_SCANCODE_6, 0x07},            {SDL_SCANCODE_7, 0x08},
    {SDL_SCANCODE_8, 0x09},            {SDL_SCANCODE_9, 0x0A},
    {SDL_SCANCODE_0, 0x0B},            {SDL_SCANCODE_MINUS, 0x0C},
    {SDL_SCANCODE_EQUALS, 0x0D},       {SDL_SCANCODE_BACKSPACE, 0x0E},
    {SDL_SCANCODE_TAB, 0x0F},          {SDL_SCANCODE_Q, 0x10},
    {SDL_SCANCODE_W, 0x11},            {SDL_SCANCODE_E, 0x12},
    {SDL_SCANCODE_R, 0x13},            {SDL_SCANCODE_T, 0x14},
    {SDL_SCANCODE_Y, 0x15},            {SDL_SCANCODE_U, 0x16},
    {SDL_SCANCODE_I, 0x17},            {SDL_SCANCODE_O, 0x18},
    {SDL_SCANCODE_P, 0x19},            {SDL_SCANCODE_LEFTBRACKET, 0x1A},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_RETURN, 0x1C},
    {SDL_SCANCODE_LCTRL, 0x1D},        {SDL_SCANCODE_A, 0x1E},
    {SDL_SCANCODE_S, 0x1F},            {SDL_SCANCODE_D, 0x20},
    {SDL_SCANCODE_F, 0x21},            {SDL_SCANCODE_G, 0x22},
    {SDL_SCANCODE_H, 0x23},            {SDL_SCANCODE_J, 0x24},
    {SDL_SCANCODE_K, 0x25},            {SDL_SCANCODE_L, 0x26},
    {SDL_SCANCODE_SEMICOLON, 0x27},    {SDL_SCANCODE_APOSTROPHE, 0x28},
    {SDL_SCANCODE_GRAVE, 0x29},        {SDL_SCANCODE_LSHIFT, 0x2A},
    {SDL_SCANCODE_BACKSLASH, 0x2B},    {SDL_SCANCODE_NONUSHASH, 0x2B},
    {SDL_SCANCODE_Z, 0x2C},            {SDL_SCANCODE_X, 0x2D},
    {SDL_SCANCODE_C, 0x2E},            {SDL_SCANCODE_V, 0x2F},
    {SDL_SCANCODE_B, 0x30},            {SDL_SCANCODE_N, 0x31},
    {SDL_SCANCODE_M, 0x32},            {SDL_SCANCODE_COMMA, 0x33},
    {SDL_SCANCODE_PERIOD, 0x34},       {SDL_SCANCODE_SLASH, 0x35},
    {SDL_SCANCODE_RSHIFT, 0x36},       {SDL_SCANCODE_KP_MULTIPLY, 0x37},
    {SDL_SCANCODE_LALT, 0x38},         {SDL_SCANCODE_SPACE, 0x39},
    {SDL_SCANCODE_CAPSLOCK, 0x3A},     {SDL_SCANCODE_F1, 0x3B},
    {SDL_SCANCODE_F2, 0x3C},           {SDL_SCANCODE_F3, 0x3D},
    {SDL_SCANCODE_F4, 0x3E},           {SDL_SCANCODE_F5, 0x3F},
    {SDL_SCANCODE_F6, 0x40},           {SDL_SCANCODE_F7, 0x41},
    {SDL_SCANCODE_F8, 0x42},           {SDL_SCANCODE_F9, 0x43},
    {SDL_SCANCODE_F10, 0x44},          {SDL_SCANCODE_NUMLOCKCLEAR, 0x45},
    {SDL_SCANCODE_SCROLLLOCK, 0x46},   {SDL_SCANCODE_KP_7, 0x47},
    {SDL_SCANCODE_KP_8, 0x48},         {SDL_SCANCODE_KP_9, 0x49},
    {SDL_SCANCODE_KP_MINUS, 0x4A},     {SDL_SCANCODE_KP_4, 0x4B},
    {SDL_SCANCODE_KP_5, 0x4C},         {SDL_SCANCODE_KP_6, 0x4D},
    {SDL_SCANCODE_KP_PLUS, 0x4E},      {SDL_SCANCODE_KP_1, 0x4F},
    {SDL_SCANCODE_KP_2, 0x50},         {SDL_SCANCODE_KP_3, 0x51},
    {SDL_SCANCODE_KP_0, 0x52},         {SDL_SCANCODE_KP_PERIOD, 0x53},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56}, {SDL_SCANCODE_F11, 0x57},
    {SDL_SCANCODE_F12, 0x58},          {SDL_SCANCODE_F13, 0x64},
    {SDL_SCANCODE_F14, 0x65},          {SDL_SCANCODE_F15, 0x66},
    {SDL_SCANCODE_LANG2, 0x70},        {SDL_SCANCODE_INTERNATIONAL1, 0x73},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79}, {SDL_SCANCODE_INTERNATIONAL5, 0x7B},
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D}, {SDL_SCANCODE_KP_EQUALS, 0x8D},
    {SDL_SCANCODE_KP_ENTER, 0x9C},     {SDL_SCANCODE_RCTRL, 0x9D},
    {SDL_SCANCODE_KP_DIVIDE, 0xB5},    {SDL_SCANCODE_PRINTSCREEN, 0xB7},
    {SDL_SCANCODE_RALT, 0xB8},         {SDL_SCANCODE_PAUSE, 0xC5},
    {SDL_SCANCODE_HOME, 0xC7},         {SDL_SCANCODE_UP, 0xC8},
    {SDL_SCANCODE_PAGEUP, 0xC9},       {SDL_SCANCODE_LEFT, 0xCB},
    {SDL_SCANCODE_RIGHT, 0xCD},        {SDL_SCANCODE_END, 0xCF},
    {SDL_SCANCODE_DOWN, 0xD0},         {SDL_SCANCODE_PAGEDOWN, 0xD1},
    {SDL_SCANCODE_INSERT, 0xD2},       {SDL_SCANCODE_DELETE, 0xD3},
    {SDL_SCANCODE_LGUI, 0xDB},         {SDL_SCANCODE_RGUI, 0xDC},
    {SDL_SCANCODE_APPLICATION, 0xDD},
};

uint8_t Set1Code(SDL_Scancode code) {
    for (const KeyMapping& k : KeyMap)
        if (k.sdl == code) return k.set1;
    return 0;
}

void RecordKey(const SDL_KeyboardEvent& key) {
    // Typed while no window of ours had the keyboard (SDL names none then).
    if (key.repeat || !S.keyboardOpen || !IsOurWindow(SDL_GetWindowFromID(key.windowID))) return;
    const uint8_t code = Set1Code(key.keysym.scancode);
    if (code == 0) return;
    const uint8_t down = key.state == SDL_PRESSED ? 1 : 0;
    if (S.keyRingTail - S.keyRingHead == State::KeyRingSize) {
        S.keysLost = 1;
        return;
    }
    S.keyRing[S.keyRingTail++ % State::KeyRingSize] = {code, down};
    S.keyTrailingUps = down ? 0 : S.keyTrailingUps + 1;
}

// Runs on the thread that pumps (ours) as SDL pushes each event; allocates
// nothing.
int SDLCALL FilterEvents(void*, SDL_Event* event) {
    switch (event->type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            RecordKey(event->key);
            return 0;
        case SDL_SYSWMEVENT:
            S.keyTrailingUps = 0;
            return 0;
        case SDL_WINDOWEVENT:
            // When the keyboard leaves, SDL lets go of every key it holds
            // down and then says the focus went: nobody let go of those.
            // The keys are read again from a snapshot once the focus is back.
            if (event->window.event == SDL_WINDOWEVENT_FOCUS_LOST &&
                IsOurWindow(SDL_GetWindowFromID(event->window.windowID))) {
                S.keyRingTail -= S.keyTrailingUps;
                S.keysLost = 1;
            }
            break;
        default:
            break;
    }
    S.keyTrailingUps = 0;
    return 1;
}

}  // namespace

// Bytes 0x80-0x9F of Windows-1252; the undefined ones keep their value.
void Cp1252ToUtf8(const char* text, std::vector<char>& out) {
    std::u32string characters;
    text = text ? text : "";
    Codepage::LegacyToUnicode(text, static_cast<int32_t>(std::strlen(text)), &characters);
    std::string utf8;
    for (char32_t c : characters) Utf8::Append(c, &utf8);
    out.assign(utf8.begin(), utf8.end());
    out.push_back('\0');
}

}  // namespace SdlBackend

namespace DisplayBackend {

using namespace SdlBackend;

int32_t InitSystem() {
    if (S.systemReady) return 1;
    if (!EnsureVideo()) return 0;
    if (SDL_GetNumVideoDisplays() < 1 || SDL_GetNumDisplayModes(0) < 1) return 0;
    S.systemReady = 1;
    return 1;
}

int32_t OpenFullscreen(int32_t width, int32_t height, int32_t /*depth*/, int32_t refreshHz,
                       const char* title) {
    CloseSurface();
    if (!InitSystem() || !SideOk(width) || !SideOk(height)) return 0;
    SDL_DisplayMode desktop;
    if (SDL_GetCurrentDisplayMode(0, &desktop) != 0) return 0;
    // The desktop's own mode needs no switch; anything else must be a mode
    // the display lists, never a scaled approximation.
    int32_t atDesktop = desktop.w == width && desktop.h == height &&
                        (refreshHz == 0 || desktop.refresh_rate == 0 ||
                         desktop.refresh_rate == refreshHz);
    SDL_DisplayMode mode{};
    if (!atDesktop && !FindMode(0, width, height, refreshHz, &mode)) return 0;

    std::vector<char> utf8;
    Cp1252ToUtf8(title, utf8);
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(0, &bounds) != 0) bounds = SDL_Rect{0, 0, width, height};
    Uint32 flags = atDesktop ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_FULLSCREEN;
    SDL_Window* window =
        CreateWindow(utf8.data(), bounds.x, bounds.y, width, height, flags | SDL_WINDOW_HIDDEN);
    if (!window) return 0;
    // With no window manager a borderless window over the whole display is
    // full screen already, and it spares the start the unanswered request.
    if (atDesktop && !WindowManagerRuns(window)) {
        SDL_SetWindowFullscreen(window, 0);
        SDL_SetWindowBordered(window, SDL_FALSE);
        SDL_SetWindowPosition(window, bounds.x, bounds.y);
    }
    if (!atDesktop && SDL_SetWindowDisplayMode(window, &mode) != 0) {
        SDL_DestroyWindow(window);
        return 0;
    }
    SDL_ShowWindow(window);
    S.fullscreenWindow = window;
    S.surfaceWindow = window;
    S.destination = SDL_Rect{0, 0, width, height};
    if (!CreateSurface(width, height)) {
        CloseSurface();
        return 0;
    }
    SDL_ShowCursor(SDL_DISABLE);
    S.cursorHidden = 1;
    TakeFocus(window);
    return 1;
}

int32_t OpenInWindow(NativeWindow parent, int32_t x, int32_t y, int32_t width, int32_t height) {
    CloseSurface();
    SDL_Window* window = ToWindow(parent);
    if (!IsOurWindow(window) || window == S.fullscreenWindow) return 0;
    if (!SideOk(width) || !SideOk(height)) return 0;
    S.surfaceWindow = window;
    S.destination = SDL_Rect{x, y, width, height};
    if (!CreateSurface(width, height)) {
        CloseSurface();
        return 0;
    }
    return 1;
}

void CloseSurface() {
    ReleaseRenderer();
    if (S.fullscreenWindow) SDL_DestroyWindow(S.fullscreenWindow);
    if (S.cursorHidden) SDL_ShowCursor(SDL_ENABLE);
    S.cursorHidden = 0;
    S.fullscreenWindow = nullptr;
    S.surfaceWindow = nullptr;
    S.backBuffer.clear();
    S.backBuffer.shrink_to_fit();
    S.width = S.height = 0;
    S.deviceLost = 0;
}

Pixels BackBuffer() {
    if (S.backBuffer.empty()) return Pixels{nullptr, 0, 0, 0};
    return Pixels{S.backBuffer.data(), S.width, S.height, S.width};
}

int32_t Present(int32_t retrace) {
    if (!S.surfaceWindow || S.backBuffer.empty()) return PresentFailed;
    StepTrace::Mark(StepTrace::PresentBegin);
    if (S.deviceLost || !S.renderer) {
        // A driver reset took the renderer's resources with it.
        ReleaseRenderer();
        S.deviceLost = 0;
        if (!CreateRenderer()) return PresentLost;
    }
    const int32_t wanted = retrace ? 1 : 0;
    if (!S.standInRetrace && wanted != S.vsync) {
        SDL_RenderSetVSync(S.renderer, wanted);
        S.vsync = wanted;
    }
    if (SDL_UpdateTexture(S.texture, nullptr, S.backBuffer.data(),
                          S.width * static_cast<int>(sizeof(uint32_t))) != 0)
        return PresentFailed;
    if (S.clearOutside) {
        SDL_SetRenderDrawColor(S.renderer, 0, 0, 0, 255);
        SDL_RenderClear(S.renderer);
    }
    const SDL_Rect* dest = S.surfaceWindow == S.fullscreenWindow ? nullptr : &S.destination;
    if (SDL_RenderCopy(S.renderer, S.texture, nullptr, dest) != 0) return PresentFailed;
    if (S.standInRetrace && wanted) {
        // Draw first and wait after, so that only the hand-over itself
        // follows the stand-in retrace.
        SDL_RenderFlush(S.renderer);
        if (S.glFinish) S.glFinish();
        StepTrace::Mark(StepTrace::PresentDrawn);
        WaitForStandInRetrace();
    }
    SDL_RenderPresent(S.renderer);
    if (S.glFinish) S.glFinish();
    StepTrace::Mark(StepTrace::PresentDone);
    return PresentShown;
}

PresentPacing DescribePresent() {
    if (!S.renderer) return {0, "no surface"};
    if (S.softwareRenderer)
        return {0, "SDL software renderer (no direct rendering on this X server): presents paced by "
                   "wordtap on the refresh period, no retrace to wait for"};
    if (S.standInRetrace)
        return {0, "OpenGL without swap control: presents paced by wordtap on the refresh period, "
                   "the display's retrace not seen"};
    return {1, "OpenGL with the driver's vertical sync, then glFinish"};
}

int32_t PollMessage(Message* message) {
    if (!S.videoUp || !message) return 0;
    SDL_Event event;
    if (!SDL_PollEvent(&event)) {
        S.messagesWaiting = 0;
        return 0;
    }
    // A caller that takes one message a turn finds the next one unslept.
    S.messagesWaiting = 1;
    // Close requests that arrive in a row (a double click on the close box,
    // Alt+F4 held) are one request, as a burst of equal events is one event.
    if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE) {
        SDL_Event next;
        while (SDL_PeepEvents(&next, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
               next.type == SDL_WINDOWEVENT && next.window.event == SDL_WINDOWEVENT_CLOSE &&
               next.window.windowID == event.window.windowID)
            SDL_PollEvent(&next);
    }
    return MessageFor(event, message);
}

int32_t WaitForInput(int32_t timeoutMs) {
    if (S.keyRingHead != S.keyRingTail) return 1;
    if (S.messagesWaiting) {
        S.messagesWaiting = 0;
        return 1;
    }
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_Window* window = S.surfaceWindow ? S.surfaceWindow
                         : S.windows.empty() ? nullptr : S.windows.front();
    Display* display = XDisplayOf(window);
    if (!display) return 0;
    // Events that Xlib has read already would not wake poll(); the next
    // pump takes them. Otherwise sleep until the server sends anything: a
    // key, a close request, a focus change. poll() only looks, so every
    // event stays for SDL's pump in KeySnapshot and PollMessage.
    if (XEventsQueued(display, QueuedAlready) > 0) return 1;
    // Under load a release wakes the wait only once the scheduler lets this
    // thread in ahead of what runs; at nice -10 that is at once. It takes
    // CAP_SYS_NICE or a nice limit granted to the account (limits.conf);
    // without either the call fails and the priority stays as it was. Asked
    // at the first wait, the introduction's, which times nothing.
    if (!S.priorityTried) {
        S.priorityTried = 1;
        setpriority(PRIO_PROCESS, 0, WaitNice);
    }
    XFlush(display);
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    StepTrace::Mark(StepTrace::WaitBegin);
    // A signal ends the sleep early (EINTR); the caller checks for a stop.
    const int arrived = poll(&connection, 1, timeoutMs);
    StepTrace::Mark(StepTrace::WaitWoken, arrived > 0);
    return 1;
#else
    (void)timeoutMs;
    return 0;
#endif
}

NativeWindow OpenWindow(const WindowSpec& request) {
    if (!EnsureVideo()) return 0;
    if (!SideOk(request.clientWidth) || !SideOk(request.clientHeight)) return 0;
    constexpr uint32_t Caption = 0xC00000, Maximize = 0x01000000, Minimize = 0x20000000;
    Uint32 flags = request.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
    if (request.toolWindow) {
        flags |= SDL_WINDOW_UTILITY;
    } else {
        if ((request.style & Caption) == 0) flags |= SDL_WINDOW_BORDERLESS;
        if (request.style & Maximize) flags |= SDL_WINDOW_MAXIMIZED;
        if (request.style & Minimize) flags |= SDL_WINDOW_MINIMIZED;
    }
    int x = request.x, y = request.y;
    if (request.centreOnScreen) {
        x = y = SDL_WINDOWPOS_CENTERED;
    } else if (request.defaultPosition) {
        x = y = SDL_WINDOWPOS_UNDEFINED;
    }
    std::vector<char> utf8;
    Cp1252ToUtf8(request.title, utf8);
    SDL_Window* window =
        CreateWindow(utf8.data(), x, y, request.clientWidth, request.clientHeight, flags);
    if (!window) return 0;
    if (request.parent && IsOurWindow(ToWindow(request.parent)))
        SDL_SetWindowModalFor(window, ToWindow(request.parent));
    S.windows.push_back(window);
    if (!(flags & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED))) TakeFocus(window);
    return ToHandle(window);
}

void CloseWindow(NativeWindow handle) {
    SDL_Window* window = ToWindow(handle);
    for (size_t i = 0; i < S.windows.size(); i++) {
        if (S.windows[i] != window) continue;
        if (S.surfaceWindow == window) CloseSurface();
        SDL_DestroyWindow(window);
        S.windows.erase(S.windows.begin() + static_cast<std::ptrdiff_t>(i));
        return;
    }
}

int32_t LogicalDpiY() { return 96; }

int32_t KeyboardOpen() {
    if (!EnsureVideo()) return 0;
    S.keyboardOpen = 1;
    S.keyRingHead = S.keyRingTail = S.keyTrailingUps = 0;
    S.keysLost = 1;
    return 1;
}

int32_t KeySnapshot(uint8_t snapshot[256]) {
    if (!S.keyboardOpen) return 0;
    SDL_PumpEvents();
    if (!IsOurWindow(SDL_GetKeyboardFocus())) return 0;
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    std::memset(snapshot, 0, 256);
    for (const KeyMapping& k : KeyMap)
        if (k.sdl < count && keys[k.sdl]) snapshot[k.set1] = 0x80;
    return 1;
}

int32_t KeyChanges(KeyChange* changes, int32_t capacity, int32_t* count) {
    *count = 0;
    if (!S.keyboardOpen) return KeysUnreadable;
    // Releases read here are no longer at the ring's end when a focus loss
    // comes in a later pump.
    S.keyTrailingUps = 0;
    SDL_PumpEvents();
    StepTrace::Mark(StepTrace::SnapshotPumped, SDL_GetKeyboardState(nullptr)[SDL_SCANCODE_W]);
    // Without the focus nothing more is recorded, but what came before the
    // focus went is given still: a key let go just before counts then.
    const int32_t focused = IsOurWindow(SDL_GetKeyboardFocus());
    if (!focused) S.keysLost = 1;
    if (!focused && S.keyRingHead == S.keyRingTail) return KeysUnreadable;
    while (*count < capacity && S.keyRingHead != S.keyRingTail)
        changes[(*count)++] = S.keyRing[S.keyRingHead++ % State::KeyRingSize];
    if (!focused || S.keyRingHead != S.keyRingTail || !S.keysLost) return KeysRead;
    S.keysLost = 0;
    return KeysLost;
}

void KeyboardClose() { S.keyboardOpen = 0; }

int32_t DesktopModes(DesktopMode* modes, int32_t capacity) {
    if (!EnsureVideo()) return 0;
    int displays = SDL_GetNumVideoDisplays();
    int32_t count = 0;
    // SDL lists the X server's primary output as display 0.
    for (int d = 0; d < displays && count < capacity; d++) {
        SDL_DisplayMode mode;
        if (SDL_GetCurrentDisplayMode(d, &mode) != 0) continue;
        DesktopMode& out = modes[count++];
        SDL_Rect bounds{0, 0, mode.w, mode.h};
        SDL_GetDisplayBounds(d, &bounds);
        out.x = bounds.x;
        out.y = bounds.y;
        out.width = mode.w;
        out.height = mode.h;
        // Bytes per pixel, not colour bits: a 24-bit-colour screen stores
        // 32-bit pixels, and 32 is what the full-screen open accepts.
        out.depth = SDL_BYTESPERPIXEL(mode.format) * 8;
        out.refreshHz = mode.refresh_rate > 0 ? mode.refresh_rate : 0;
        const char* name = SDL_GetDisplayName(d);
        std::memset(out.name, 0, sizeof out.name);
        if (name) std::strncpy(out.name, name, sizeof out.name - 1);
    }
    return count;
}

// The box is shown by a process of our own. SDL's X11 box waits for its
// helper process in a loop that retries on EINTR, so a termination signal
// could not end the program while the box is up; this process polls the box
// process instead and, once a stop is requested, kills it and returns, and
// the caller ends the run as after any box.
//
// The box process shares our X connection. Before the fork every window of
// ours is hidden and the cursor shown, so that SDL over there finds nothing
// to raise or restore when the box goes; and there the connection is pointed
// at /dev/null, so that nothing it might still send reaches the server in our
// name (SDL's box opens a connection of its own). It ends with _exit: no exit
// handlers, no SDL teardown.
namespace {
constexpr int BoxDismissed = 0, BoxNotShown = 1;  // the box process's exit codes

// The descriptor of the X connection behind `window`, or -1.
int XConnectionOf(SDL_Window* window) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11)
        return ConnectionNumber(info.info.x11.display);
#endif
    (void)window;
    return -1;
}

[[noreturn]] void ShowBoxAndExit(const char* title, const char* text, int xConnection) {
    // A process group of its own, which SDL's helper process joins, so that
    // one kill takes the box away.
    setpgid(0, 0);
#if defined(SDL_VIDEO_DRIVER_X11)
    if (xConnection >= 0) {
        const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null >= 0) dup2(null, xConnection);
        // Anything sent there fails at once; the process then ends past the
        // exit handlers, which might wait for threads that it does not have.
        XSetIOErrorHandler([](Display*) -> int { _exit(BoxNotShown); });
    }
#endif
    (void)xConnection;
    _exit(SDL_ShowSimpleMessageBox(0, title, text, nullptr) == 0 ? BoxDismissed : BoxNotShown);
}

int32_t ShowBoxUntilStopped(const char* title, const char* text, int xConnection) {
    const pid_t box = fork();
    // Without a process to spare, the box as SDL shows it, past a signal's reach.
    if (box < 0) return SDL_ShowSimpleMessageBox(0, title, text, nullptr) == 0 ? 1 : 0;
    if (box == 0) ShowBoxAndExit(title, text, xConnection);
    setpgid(box, box);  // whichever side comes first
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(box, &status, WNOHANG);
        if (ended == box) return WIFEXITED(status) && WEXITSTATUS(status) == BoxDismissed ? 1 : 0;
        if (ended < 0 && errno != EINTR) return 0;
        if (Process::StopRequested()) {
            if (kill(-box, SIGKILL) != 0) kill(box, SIGKILL);
            while (waitpid(box, &status, 0) < 0 && errno == EINTR) {
            }
            return 0;
        }
        SDL_Delay(10);
    }
}
}  // namespace

int32_t MessageBox(const char* title, const char* text) {
    // A full-screen window would cover the box, and any shown one would be
    // raised in the box process (see above): all of ours hide meanwhile.
    std::vector<SDL_Window*> ours(S.windows);
    if (S.fullscreenWindow) ours.push_back(S.fullscreenWindow);
    std::vector<SDL_Window*> hidden;
    int xConnection = -1;
    for (SDL_Window* w : ours) {
        if (xConnection < 0) xConnection = XConnectionOf(w);
        if (SDL_GetWindowFlags(w) & SDL_WINDOW_SHOWN) {
            SDL_HideWindow(w);
            hidden.push_back(w);
        }
    }
    const bool cursorHidden = S.videoUp && SDL_ShowCursor(SDL_QUERY) == SDL_DISABLE;
    if (cursorHidden) SDL_ShowCursor(SDL_ENABLE);
    std::vector<char> utf8Title, utf8Text;
    Cp1252ToUtf8(title, utf8Title);
    Cp1252ToUtf8(text, utf8Text);
    const int32_t result = ShowBoxUntilStopped(utf8Title.data(), utf8Text.data(), xConnection);
    if (cursorHidden) SDL_ShowCursor(SDL_DISABLE);
    for (SDL_Window* w : hidden) {
        SDL_ShowWindow(w);
        TakeFocus(w);
    }
    return result;
}

void Shutdown() {
    CloseSurface();
    for (SDL_Window* w : S.windows) SDL_DestroyWindow(w);
    S.windows.clear();
    S.keyboardOpen = 0;
    ShutdownFonts();
    if (S.videoUp) {
        SDL_DelEventWatch(WatchEvents, nullptr);
        SDL_SetEventFilter(nullptr, nullptr);
    }
    S.messagesWaiting = 0;
    SDL_Quit();
    S.videoUp = 0;
    S.systemReady = 0;
}

}  // namespace DisplayBackend
