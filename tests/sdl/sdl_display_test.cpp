// The SDL backend on a real X server (an Xvfb started for this program):
// modes, the surface and its present, windows and their messages, keys by
// physical position, the message box.
#include <gtest/gtest.h>
// After gtest: Xlib defines macros such as None and Bool.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "display/backend.h"
#include "display/backends/sdl/sdl_state.h"
#include "tests/sdl/xvfb_server.h"

namespace {

using namespace DisplayBackend;
using Clock = std::chrono::steady_clock;

class XvfbEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { ASSERT_TRUE(XvfbServer::Start("1024x768x24")) << "Xvfb did not start"; }
    void TearDown() override { XvfbServer::Stop(); }
};

::Window XWindowOf(NativeWindow handle) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(reinterpret_cast<SDL_Window*>(handle), &info)) return 0;
    return info.info.x11.window;
}

// A top-level window by its UTF-8 name (_NET_WM_NAME), which is how SDL
// names its boxes.
::Window TopLevelNamed(Display* x, const char* name) {
    ::Window root = DefaultRootWindow(x), parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(x, root, &root, &parent, &children, &count)) return 0;
    Atom netName = XInternAtom(x, "_NET_WM_NAME", False);
    ::Window found = 0;
    for (unsigned i = 0; i < count && !found; i++) {
        Atom type;
        int format;
        unsigned long items, after;
        unsigned char* value = nullptr;
        if (XGetWindowProperty(x, children[i], netName, 0, 256, False, AnyPropertyType, &type,
                               &format, &items, &after, &value) == Success && value) {
            if (std::string(reinterpret_cast<char*>(value), items) == name) found = children[i];
            XFree(value);
        }
    }
    if (children) XFree(children);
    return found;
}

double MillisSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Pumps until `done` holds or two seconds pass: the X server answers
// asynchronously.
template <typename F>
bool PumpUntil(F done) {
    auto start = Clock::now();
    while (MillisSince(start) < 2000) {
        if (done()) return true;
        SDL_Delay(5);
    }
    return done();
}

class SdlDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        x_ = XOpenDisplay(nullptr);
        ASSERT_NE(x_, nullptr);
    }
    void TearDown() override {
        Shutdown();
        if (x_) XCloseDisplay(x_);
    }
    // The test's own client: what another program on the desktop sees.
    uint32_t ScreenPixel(::Window w, int x, int y) {
        XImage* image = XGetImage(x_, w, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image) return 0xDEADBEEF;
        uint32_t p = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
        XDestroyImage(image);
        return p;
    }
    void Fill(uint32_t rgb) {
        Pixels p = BackBuffer();
        ASSERT_NE(p.data, nullptr);
        for (int32_t y = 0; y < p.height; y++)
            for (int32_t x = 0; x < p.width; x++) p.data[y * p.pitch + x] = rgb;
    }
    NativeWindow OpenAppWindow(int32_t w, int32_t h, const char* title = "wordtap") {
        WindowSpec request{};
        request.clientWidth = w;
        request.clientHeight = h;
        request.title = title;
        request.style = 0xCA0000;
        request.defaultPosition = 1;
        return OpenWindow(request);
    }
    Display* x_ = nullptr;
};

TEST_F(SdlDisplay, DesktopIsTheXvfbScreenWithThirtyTwoBitPixels) {
    ASSERT_NE(InitSystem(), 0);
    DesktopMode modes[4];
    ASSERT_EQ(DesktopModes(modes, 4), 1);
    EXPECT_EQ(modes[0].x, 0);
    EXPECT_EQ(modes[0].width, 1024);
    EXPECT_EQ(modes[0].height, 768);
    EXPECT_EQ(modes[0].depth, 32);
    EXPECT_GE(modes[0].refreshHz, 0);
    EXPECT_EQ(DesktopModes(modes, 0), 0);
}

TEST_F(SdlDisplay, FullscreenAtTheDesktopModeShowsTheBackBuffer) {
    ASSERT_NE(InitSystem(), 0);
    ASSERT_NE(OpenFullscreen(1024, 768, 32, 0, "wordtap"), 0);
    SdlBackend::State& s = SdlBackend::Get();
    ASSERT_NE(s.fullscreenWindow, nullptr);
    Pixels p = BackBuffer();
    EXPECT_EQ(p.width, 1024);
    EXPECT_EQ(p.height, 768);
    ::Window w = XWindowOf(reinterpret_cast<NativeWindow>(s.fullscreenWindow));
    ASSERT_NE(w, 0u);
    // When Present returns, the frame is in the X server: another client
    // reads it back at once.
    Fill(0xFF0000);
    p.data[10 * p.pitch + 20] = 0x00FF00;
    ASSERT_EQ(Present(1), PresentShown);
    EXPECT_EQ(ScreenPixel(w, 5, 5), 0xFF0000u);
    EXPECT_EQ(ScreenPixel(w, 20, 10), 0x00FF00u);
    EXPECT_EQ(ScreenPixel(DefaultRootWindow(x_), 1023, 767), 0xFF0000u);
    Fill(0x0000FF);
    ASSERT_EQ(Present(1), PresentShown);
    EXPECT_EQ(ScreenPixel(w, 1023, 767), 0x0000FFu);
    CloseSurface();
    EXPECT_EQ(BackBuffer().data, nullptr);
    EXPECT_EQ(Present(1), PresentFailed);
}

TEST_F(SdlDisplay, FullscreenInAModeTheDisplayLacksFails) {
    ASSERT_NE(InitSystem(), 0);
    EXPECT_EQ(OpenFullscreen(800, 600, 32, 0, "wordtap"), 0);
    EXPECT_EQ(OpenFullscreen(1024, 768, 32, 0, "wordtap"), 1);
    CloseSurface();
    EXPECT_EQ(OpenFullscreen(0, 768, 32, 0, "wordtap"), 0);
    EXPECT_EQ(BackBuffer().data, nullptr);
}

// Presents with retrace are paced by the display's retrace, or where the
// driver has none (Xvfb) by a grid of the refresh period; without, they do
// not wait.
TEST_F(SdlDisplay, PresentWithRetraceIsPaced) {
    ASSERT_NE(InitSystem(), 0);
    ASSERT_NE(OpenFullscreen(1024, 768, 32, 0, "wordtap"), 0);
    Fill(0xFFFFFF);
    Present(1);
    std::vector<double> returns;
    auto start = Clock::now();
    for (int i = 0; i < 13; i++) {
        ASSERT_EQ(Present(1), PresentShown);
        returns.push_back(MillisSince(start));
        if (i == 6) SDL_Delay(5);  // off the grid: the next present waits for it
    }
    EXPECT_GT(returns.back(), 12 * 12.0);  // at least ~80 Hz pacing; Xvfb gives 60
    if (SdlBackend::Get().standInRetrace) {
        // Xvfb's refresh rate is unknown: 60 Hz. Each present lands on the grid.
        const double period = 1000.0 / 60;
        std::vector<double> intervals;
        for (size_t i = 1; i < returns.size(); i++) intervals.push_back(returns[i] - returns[i - 1]);
        std::sort(intervals.begin(), intervals.end());
        EXPECT_NEAR(intervals[intervals.size() / 2], period, 1.5);
        double phase = std::fmod(returns.back() - returns.front(), period);
        EXPECT_LT(std::min(phase, period - phase), 3.0);
    }
    start = Clock::now();
    for (int i = 0; i < 12; i++) ASSERT_EQ(Present(0), PresentShown);
    EXPECT_LT(MillisSince(start), returns.back());
    Present(1);
}

TEST_F(SdlDisplay, WindowHasTheExactClientAreaAndHostsTheSurface) {
    NativeWindow win = OpenAppWindow(800, 600, "caf\xE9");
    ASSERT_NE(win, 0);
    ::Window xw = XWindowOf(win);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(x_, xw, &attributes));
    EXPECT_EQ(attributes.width, 800);
    EXPECT_EQ(attributes.height, 600);
    EXPECT_STREQ(SDL_GetWindowTitle(reinterpret_cast<SDL_Window*>(win)), "caf\xC3\xA9");
    EXPECT_FALSE(SDL_GetWindowFlags(reinterpret_cast<SDL_Window*>(win)) & SDL_WINDOW_RESIZABLE);

    ASSERT_NE(OpenInWindow(win, 0, 0, 800, 600), 0);
    Fill(0x336699);
    ASSERT_EQ(Present(1), PresentShown);
    EXPECT_EQ(ScreenPixel(xw, 0, 0), 0x336699u);
    EXPECT_EQ(ScreenPixel(xw, 799, 599), 0x336699u);

    // A driver reset takes the renderer with it: the next present rebuilds
    // it and still shows the back buffer.
    SDL_Event reset{};
    reset.type = SDL_RENDER_DEVICE_RESET;
    SDL_PushEvent(&reset);
    EXPECT_EQ(SdlBackend::Get().deviceLost, 1);
    Fill(0x00FF00);
    ASSERT_EQ(Present(1), PresentShown);
    EXPECT_EQ(SdlBackend::Get().deviceLost, 0);
    EXPECT_EQ(ScreenPixel(xw, 400, 300), 0x00FF00u);

    // Reopening inside the same window replaces the surface.
    ASSERT_NE(OpenInWindow(win, 0, 0, 800, 600), 0);
    CloseWindow(win);
    EXPECT_EQ(BackBuffer().data, nullptr);

    EXPECT_EQ(OpenAppWindow(0, 600), 0);
    EXPECT_EQ(OpenAppWindow(800, 16385), 0);
    EXPECT_EQ(OpenInWindow(0, 0, 0, 800, 600), 0);
}

TEST_F(SdlDisplay, CloseRequestIsReportedOnceAndTheWindowStays) {
    NativeWindow win = OpenAppWindow(640, 480);
    ASSERT_NE(win, 0);
    ::Window xw = XWindowOf(win);
    // What a window manager sends for the close box or Alt+F4.
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xw;
    event.xclient.message_type = XInternAtom(x_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x_, xw, False, NoEventMask, &event);
    XFlush(x_);

    int closes = 0;
    auto start = Clock::now();
    while (MillisSince(start) < 1000) {
        Message m{};
        while (PollMessage(&m)) {
            EXPECT_NE(m.number, 16);
            if (m.kind == MessageCloseRequest) {
                closes++;
                EXPECT_EQ(m.window, win);
            }
        }
        SDL_Delay(5);
    }
    EXPECT_EQ(closes, 1);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(x_, xw, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
    Message m{};
    EXPECT_EQ(PollMessage(&m), 0);
}

TEST_F(SdlDisplay, KeysArePhysicalPositionsAndNeedTheFocus) {
    ASSERT_NE(KeyboardOpen(), 0);
    uint8_t keys[256];
    // No window of ours: nothing to read.
    EXPECT_EQ(KeySnapshot(keys), 0);
    NativeWindow win = OpenAppWindow(640, 480);
    ASSERT_NE(win, 0);
    ASSERT_TRUE(PumpUntil([&] { return KeySnapshot(keys) != 0; })) << "window never got focus";

    // X keycode 25 is the key right of Q's position. A French layout puts
    // the letter Z there; the snapshot still reports W's code 17.
    ASSERT_EQ(std::system(("setxkbmap -display " + XvfbServer::DisplayName() + " fr").c_str()), 0);
    XTestFakeKeyEvent(x_, 25, True, CurrentTime);
    XFlush(x_);
    EXPECT_TRUE(PumpUntil([&] { return KeySnapshot(keys) && (keys[17] & 0x80); }));
    int othersDown = 0;
    for (int code = 0; code < 256; code++) othersDown += code != 17 && keys[code] != 0;
    EXPECT_EQ(othersDown, 0);
    XTestFakeKeyEvent(x_, 25, False, CurrentTime);
    XTestFakeKeyEvent(x_, 9, True, CurrentTime);  // Escape
    XFlush(x_);
    EXPECT_TRUE(PumpUntil([&] { return KeySnapshot(keys) && keys[1] == 0x80 && keys[17] == 0; }));
    XTestFakeKeyEvent(x_, 9, False, CurrentTime);
    XFlush(x_);

    // Another client takes the focus: no snapshot any more.
    ::Window other = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 50, 50, 0, 0, 0);
    XMapWindow(x_, other);
    XSync(x_, False);
    XSetInputFocus(x_, other, RevertToNone, CurrentTime);
    XFlush(x_);
    EXPECT_TRUE(PumpUntil([&] { return KeySnapshot(keys) == 0; }));
    KeyboardClose();
    EXPECT_EQ(KeySnapshot(keys), 0);
}

TEST_F(SdlDisplay, FocusChangesAndExposureBecomeMessages) {
    NativeWindow win = OpenAppWindow(320, 200);
    ASSERT_NE(win, 0);
    bool gained = false, lost = false;
    auto drain = [&] {
        Message m{};
        while (PollMessage(&m)) {
            if (m.kind == MessageFocusGained && m.window == win) gained = true;
            if (m.kind == MessageFocusLost && m.window == win) lost = true;
        }
    };
    EXPECT_TRUE(PumpUntil([&] { drain(); return gained; }));
    XSetInputFocus(x_, PointerRoot, RevertToNone, CurrentTime);
    XFlush(x_);
    EXPECT_TRUE(PumpUntil([&] { drain(); return lost; }));

    bool repaint = false;
    ::Window cover = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 1024, 768, 0, 0, 0);
    XMapRaised(x_, cover);
    XSync(x_, False);
    XUnmapWindow(x_, cover);
    XFlush(x_);
    EXPECT_TRUE(PumpUntil([&] {
        Message m{};
        while (PollMessage(&m))
            if (m.kind == MessageRepaint && m.window == win) repaint = true;
        return repaint;
    }));
}

TEST_F(SdlDisplay, MessageBoxIsShownAboveTheFullscreenSurfaceAndDismissedByReturn) {
    ASSERT_NE(InitSystem(), 0);
    ASSERT_NE(OpenFullscreen(1024, 768, 32, 0, "wordtap"), 0);
    ::Window full = XWindowOf(reinterpret_cast<NativeWindow>(SdlBackend::Get().fullscreenWindow));
    std::atomic<int> fullscreenMapState{-1};
    std::string display = XvfbServer::DisplayName();
    std::thread dismisser([&] {
        // The participant's part: find the box, give it the keyboard, press
        // Return.
        Display* x = XOpenDisplay(display.c_str());
        if (!x) return;
        ::Window box = 0;
        for (int tries = 0; tries < 500 && !box; tries++) {
            box = TopLevelNamed(x, "wordtap-box");
            if (!box) usleep(20000);
        }
        XWindowAttributes attributes;
        if (XGetWindowAttributes(x, full, &attributes)) fullscreenMapState = attributes.map_state;
        if (box) {
            XSetInputFocus(x, box, RevertToNone, CurrentTime);
            XSync(x, False);
            KeyCode ret = XKeysymToKeycode(x, XK_Return);
            XTestFakeKeyEvent(x, ret, True, CurrentTime);
            XTestFakeKeyEvent(x, ret, False, CurrentTime);
            XSync(x, False);
        }
        XCloseDisplay(x);
    });
    auto start = Clock::now();
    int32_t result = MessageBox("wordtap-box", "Error73: Couldn't initialize display!");
    double shown = MillisSince(start);
    dismisser.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(fullscreenMapState.load(), IsUnmapped);
    EXPECT_LT(shown, 10000);
    // The surface is back afterwards.
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(x_, full, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
}

TEST_F(SdlDisplay, WithoutADisplayEverythingFailsQuietly) {
    std::string saved = XvfbServer::DisplayName();
    unsetenv("DISPLAY");
    EXPECT_EQ(InitSystem(), 0);
    EXPECT_EQ(OpenFullscreen(1024, 768, 32, 0, "wordtap"), 0);
    EXPECT_EQ(OpenAppWindow(800, 600), 0);
    EXPECT_EQ(KeyboardOpen(), 0);
    DesktopMode modes[1];
    EXPECT_EQ(DesktopModes(modes, 1), 0);
    EXPECT_EQ(MessageBox("wordtap", "Error73: Couldn't initialize display!"), 0);
    Message m{};
    EXPECT_EQ(PollMessage(&m), 0);
    EXPECT_EQ(Present(1), PresentFailed);
    setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_NE(InitSystem(), 0);  // a failed start is tried again
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);
    return RUN_ALL_TESTS();
}
