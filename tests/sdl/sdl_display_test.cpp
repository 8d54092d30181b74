// The SDL backend on an Xvfb of its own (started by tests/e2e/xsession.py).
// Windowing, focus, layouts, the error box and centring are pinned end to
// end; these are what an end to end run cannot see precisely.
#include <gtest/gtest.h>
// After gtest: Xlib defines macros such as None and Bool.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <sys/resource.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "display/backend.h"

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
    ASSERT_EQ(modes[0].depth, 32);  // bytes per pixel of a 24-bit screen: what a full-screen open takes
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
    // Where the system lets a process run ahead of others, the wait has.
    const int nice = getpriority(PRIO_PROCESS, 0);
    if (setpriority(PRIO_PROCESS, 0, -10) == 0) {
        EXPECT_EQ(nice, -10);
    }
}

// Key changes come as they happened, however close together; a key let go
// just as the focus goes counts, and the releases SDL makes up when the
// keyboard leaves do not.
TEST_F(SdlDisplay, KeyChangesInOrderAndNoneMadeUpWhenTheFocusGoes) {
    ASSERT_NE(KeyboardOpen(), 0);
    NativeWindow window = OpenProgramWindow(320, 200);
    ASSERT_NE(window, 0);
    std::vector<std::pair<int, int>> got;
    auto look = [&] {
        KeyChange changes[4];
        int32_t count = 0;
        const int32_t result = KeyChanges(changes, 4, &count);
        for (int32_t i = 0; i < count; i++) got.emplace_back(changes[i].scanCode, changes[i].down);
        return result;
    };
    ASSERT_TRUE(PumpUntil([&] { return look() != KeysUnreadable; })) << "window never got focus";
    // X keycodes 25 and 32: W and O. W tapped and O pressed in one go, then W pressed.
    got.clear();
    for (auto [code, down] : {std::pair{25, True}, {25, False}, {32, True}}) XTestFakeKeyEvent(x_, code, down, 0);
    XSync(x_, False);
    PumpUntil([&] { return look() && got.size() >= 3; });
    XTestFakeKeyEvent(x_, 25, True, CurrentTime);
    XSync(x_, False);
    PumpUntil([&] { return look() && got.size() >= 4; });
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{17, 1}, {17, 0}, {24, 1}, {17, 1}}));

    // W let go and the focus taken in one go, with O held: one release.
    ::Window other = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 8, 8, 0, 0, 0);
    XMapWindow(x_, other);
    XSync(x_, False);
    XTestFakeKeyEvent(x_, 25, False, CurrentTime);
    XSetInputFocus(x_, other, RevertToParent, CurrentTime);
    XSync(x_, False);
    got.clear();
    EXPECT_TRUE(PumpUntil([&] { return look() == KeysUnreadable; }));
    XSetInputFocus(x_, XWindowOf(reinterpret_cast<SDL_Window*>(window)), RevertToParent, CurrentTime);
    XSync(x_, False);
    EXPECT_TRUE(PumpUntil([&] { return look() == KeysLost; }));
    EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{17, 0}}));
    XDestroyWindow(x_, other);
}

// The timing check types keys into the program's window: never a press
// into another window, which would reach another program.
TEST_F(SdlDisplay, TypedKeysReachOnlyTheProgramsOwnWindowAndACompositorIsSeen) {
    ASSERT_NE(KeyboardOpen(), 0);
    NativeWindow window = OpenProgramWindow(320, 200);
    ASSERT_NE(OpenInWindow(window, 0, 0, 320, 200), 0);
    uint8_t keys[256];
    ASSERT_TRUE(PumpUntil([&] { return KeySnapshot(keys) != 0; })) << "window never got focus";
    const char* why = "";
    ASSERT_EQ(KeyInjectionOpen(&why), 1) << why;
    ASSERT_EQ(InjectKey(17, 1), 1);
    EXPECT_TRUE(PumpUntil([&] { return KeySnapshot(keys) && (keys[17] & 0x80); }));
    ASSERT_EQ(InjectKey(17, 0), 1);
    EXPECT_TRUE(PumpUntil([&] { return KeySnapshot(keys) && keys[17] == 0; }));

    ::Window other = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, 50, 50, 0, 0, 0);
    XMapWindow(x_, other);
    XSync(x_, False);
    XSetInputFocus(x_, other, RevertToParent, CurrentTime);
    XSync(x_, False);
    PumpUntil([&] { return !KeySnapshot(keys); });
    EXPECT_EQ(InjectKey(17, 1), 0);
    EXPECT_EQ(InjectKey(17, 0), 1);
    KeyInjectionClose();

    PlatformFacts facts;
    DescribePlatform(&facts);
    EXPECT_STREQ(facts.windowSystem, "X11");
    EXPECT_EQ(facts.compositor, 0);
    EXPECT_NE(facts.virtualDisplay[0], 0);  // Xvfb: no direct rendering
    XSetSelectionOwner(x_, XInternAtom(x_, "_NET_WM_CM_S0", False), other, CurrentTime);
    XSync(x_, False);
    DescribePlatform(&facts);
    EXPECT_EQ(facts.compositor, 1);
}

}  // namespace
