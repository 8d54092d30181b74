// The SDL backend on an Xvfb started for this program. Windowing, close
// requests, focus and centring are pinned end to end; these are what an end
// to end run cannot see precisely.
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
#include <cstdlib>
#include <string>
#include <thread>

#include "display/backend.h"
#include "display/backends/sdl/sdl_state.h"
#include "tests/sdl/xvfb_server.h"

namespace {

using namespace DisplayBackend;

::Window XWindowOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(window, &info) ? info.info.x11.window : 0;
}

// Pumps until `done` holds or two seconds pass: the X server answers asynchronously.
template <typename F>
bool PumpUntil(F done) {
    for (int i = 0; i < 400; i++) {
        if (done()) return true;
        SDL_Delay(5);
    }
    return done();
}

// The program's window: caption, system menu and minimise box.
NativeWindow OpenProgramWindow(int32_t width, int32_t height) {
    WindowSpec request{};
    request.clientWidth = width;
    request.clientHeight = height;
    request.title = "wordtap";
    request.style = 0xCA0000;
    return OpenWindow(request);
}

// What a window manager sends for the close box, `count` times.
void RequestClose(Display* x, NativeWindow window, int count) {
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = XWindowOf(reinterpret_cast<SDL_Window*>(window));
    close.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    for (int i = 0; i < count; i++) XSendEvent(x, close.xclient.window, False, NoEventMask, &close);
}

class SdlDisplay : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(x_ = XOpenDisplay(nullptr), nullptr); }
    void TearDown() override {
        Shutdown();
        XCloseDisplay(x_);
    }
    Display* x_ = nullptr;
};

TEST_F(SdlDisplay, TheDesktopModeOpensAndPresentReturnsWithTheFrameOnTheScreen) {
    ASSERT_NE(InitSystem(), 0);
    DesktopMode modes[2];
    ASSERT_EQ(DesktopModes(modes, 2), 1);
    EXPECT_EQ(modes[0].width, 1024);
    EXPECT_EQ(modes[0].height, 768);
    EXPECT_EQ(modes[0].depth, 32);
    ASSERT_NE(OpenFullscreen(1024, 768, 32, 0, "wordtap"), 0);
    Pixels p = BackBuffer();
    ASSERT_EQ(p.width * p.height, 1024 * 768);
    for (uint32_t colour : {0xFF0000u, 0x0000FFu}) {
        for (int32_t y = 0; y < p.height; y++) std::fill_n(p.data + y * p.pitch, p.width, colour);
        ASSERT_EQ(Present(1), PresentShown);
        // Read back at once by another client: no waiting for the server.
        XImage* image = XGetImage(x_, DefaultRootWindow(x_), 1023, 767, 1, 1, AllPlanes, ZPixmap);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(XGetPixel(image, 0, 0) & 0xFFFFFF, colour);
        XDestroyImage(image);
    }
}

TEST_F(SdlDisplay, KeycodeRightOfQIsW17WhateverTheLayout) {
    ASSERT_NE(KeyboardOpen(), 0);
    ASSERT_NE(OpenProgramWindow(640, 480), 0);
    uint8_t keys[256];
    ASSERT_TRUE(PumpUntil([&] { return KeySnapshot(keys) != 0; })) << "window never got focus";
    // A French layout puts the letter Z at X keycode 25.
    ASSERT_EQ(std::system(("setxkbmap -display " + XvfbServer::DisplayName() + " fr").c_str()), 0);
    XTestFakeKeyEvent(x_, 25, True, CurrentTime);
    XFlush(x_);
    EXPECT_TRUE(PumpUntil([&] { return KeySnapshot(keys) && (keys[17] & 0x80); }));
    int othersDown = 0;
    for (int code = 0; code < 256; code++) othersDown += code != 17 && keys[code] != 0;
    EXPECT_EQ(othersDown, 0);
    XTestFakeKeyEvent(x_, 25, False, CurrentTime);
    XFlush(x_);
    EXPECT_TRUE(PumpUntil([&] { return KeySnapshot(keys) && keys[17] == 0; }));
}

TEST_F(SdlDisplay, CloseRequestsInARowAreOneAndTheWindowStays) {
    NativeWindow window = OpenProgramWindow(320, 200);
    ASSERT_NE(window, 0);
    RequestClose(x_, window, 2);
    XSync(x_, False);
    int closes = 0;
    Message message;
    PumpUntil([&] {
        SDL_PumpEvents();
        while (PollMessage(&message)) closes += message.kind == MessageCloseRequest;
        return closes > 0;
    });
    SDL_Delay(50);
    SDL_PumpEvents();
    while (PollMessage(&message)) closes += message.kind == MessageCloseRequest;
    EXPECT_EQ(closes, 1);
    EXPECT_NE(SDL_GetWindowFlags(reinterpret_cast<SDL_Window*>(window)) & SDL_WINDOW_SHOWN, 0u);
}

// The response loop sleeps in WaitForInput: it must wake for what arrives,
// whether still on the connection or already pumped into SDL's queue by the
// keyboard, and leave every event to the pollers.
TEST_F(SdlDisplay, InputWaitWakesForKeysAndQueuedCloseRequestsAndTakesNothing) {
    ASSERT_NE(KeyboardOpen(), 0);
    NativeWindow window = OpenProgramWindow(320, 200);
    ASSERT_NE(window, 0);
    uint8_t keys[256];
    ASSERT_TRUE(PumpUntil([&] { return KeySnapshot(keys) != 0; })) << "window never got focus";
    Message message;
    while (PollMessage(&message)) {
    }
    constexpr int32_t Never = 20000;  // a wait that sleeps through its wake-up takes this long
    auto waitMs = [] {
        const Uint32 start = SDL_GetTicks();
        EXPECT_EQ(WaitForInput(Never), 1);
        return SDL_GetTicks() - start;
    };
    XTestFakeKeyEvent(x_, 25, True, CurrentTime);
    XSync(x_, False);
    EXPECT_LT(waitMs(), Never / 4u);
    EXPECT_TRUE(KeySnapshot(keys) && (keys[17] & 0x80));

    RequestClose(x_, window, 1);
    XTestFakeKeyEvent(x_, 25, False, CurrentTime);
    XSync(x_, False);
    ASSERT_TRUE(PumpUntil([&] { return KeySnapshot(keys) && keys[17] == 0; }));
    EXPECT_LT(waitMs(), Never / 4u);
    bool closed = false;
    while (PollMessage(&message)) closed |= message.kind == MessageCloseRequest;
    EXPECT_TRUE(closed);
}

TEST_F(SdlDisplay, MessageBoxOverTheFullScreenIsDismissedByReturn) {
    ASSERT_NE(InitSystem(), 0);
    ASSERT_NE(OpenFullscreen(1024, 768, 32, 0, "wordtap"), 0);
    ::Window full = XWindowOf(SdlBackend::Get().fullscreenWindow);
    std::atomic<int> fullscreenMapState{-1};
    std::atomic<bool> dismissed{false};
    // SDL shows the box from a forked child. Everything that takes libX11's
    // process-wide lock happens before that, or the child could inherit the
    // lock held by this thread and wait for it for ever.
    Display* x = XOpenDisplay(XvfbServer::DisplayName().c_str());
    ASSERT_NE(x, nullptr);
    // Focus and key events are retried until the box is gone: a mapped box
    // is not yet necessarily reading its keys.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const Atom netName = XInternAtom(x, "_NET_WM_NAME", False);  // SDL names boxes only by it
    const KeyCode ret = XKeysymToKeycode(x, XK_Return);
    std::thread participant([&] {
        for (int tries = 0; tries < 500 && !dismissed; tries++, usleep(20000)) {
            ::Window root, parent, *children = nullptr, box = 0;
            unsigned count = 0;
            XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count);
            for (unsigned i = 0; i < count && !box; i++) {
                Atom type;
                int format;
                unsigned long items, after;
                unsigned char* name = nullptr;
                XGetWindowProperty(x, children[i], netName, 0, 64, False, AnyPropertyType, &type,
                                   &format, &items, &after, &name);
                XWindowAttributes a;
                if (name && std::string(reinterpret_cast<char*>(name), items) == "wordtap-box" &&
                    XGetWindowAttributes(x, children[i], &a) && a.map_state == IsViewable)
                    box = children[i];
                if (name) XFree(name);
            }
            if (children) XFree(children);
            if (!box || tries % 5 != 0) continue;
            XWindowAttributes attributes;
            if (fullscreenMapState < 0 && XGetWindowAttributes(x, full, &attributes))
                fullscreenMapState = attributes.map_state;
            XSetInputFocus(x, box, RevertToNone, CurrentTime);
            XTestFakeKeyEvent(x, ret, True, CurrentTime);
            XTestFakeKeyEvent(x, ret, False, CurrentTime);
            XSync(x, False);
        }
    });
    EXPECT_EQ(MessageBox("wordtap-box", "Error73: Couldn't initialize display!"), 1);
    dismissed = true;
    participant.join();
    XCloseDisplay(x);
    EXPECT_EQ(fullscreenMapState.load(), IsUnmapped);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(x_, full, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);  // the surface is back afterwards
}

TEST_F(SdlDisplay, WithoutADisplayEverythingFailsQuietly) {
    unsetenv("DISPLAY");
    EXPECT_EQ(InitSystem(), 0);
    EXPECT_EQ(OpenFullscreen(1024, 768, 32, 0, "wordtap"), 0);
    EXPECT_EQ(KeyboardOpen(), 0);
    EXPECT_EQ(MessageBox("wordtap", "Error73: Couldn't initialize display!"), 0);
    EXPECT_EQ(Present(1), PresentFailed);
    setenv("DISPLAY", XvfbServer::DisplayName().c_str(), 1);
    EXPECT_NE(InitSystem(), 0);  // a failed start is tried again
}

}  // namespace

class XvfbEnvironment : public ::testing::Environment {
    void SetUp() override { ASSERT_TRUE(XvfbServer::Start("1024x768x24")) << "Xvfb did not start"; }
    void TearDown() override { XvfbServer::Stop(); }
};

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);
    return RUN_ALL_TESTS();
}
