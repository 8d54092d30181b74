// The timing check's questions on SDL: the OpenGL strings of the renderer's
// context, SDL's video driver, the window system and its compositor; and
// keys typed into the program's own window through XTest.
//
// Needs X11 with the XTest extension to type keys; under Wayland (SDL's own
// driver) no program may type into another's window, and keys cannot be
// typed at all. Cannot tell whether a compositor that runs takes the
// full-screen window off its path (SDL asks it to).
#include <SDL.h>
#include <SDL_syswm.h>
#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/backend.h"
#include "display/backends/sdl/sdl_state.h"

namespace {

using SdlBackend::Get;

constexpr unsigned GlVendor = 0x1F00, GlRenderer = 0x1F01, GlVersion = 0x1F02;

#if defined(SDL_VIDEO_DRIVER_X11)
Display* injector;  // a connection of our own, for the typed keys
Window injectInto;

Window XWindowOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
    return info.info.x11.window;
}

// A compositing manager owns the selection _NET_WM_CM_Sn of its screen.
int32_t CompositorOnX11() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return -1;
    char name[32];
    std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", DefaultScreen(display));
    const Atom selection = XInternAtom(display, name, False);
    const int32_t owned = XGetSelectionOwner(display, selection) != None ? 1 : 0;
    XCloseDisplay(display);
    return owned;
}
#endif

void Copy(char* to, size_t size, const char* text) { std::snprintf(to, size, "%s", text ? text : ""); }

int32_t Contains(const char* text, const char* part) { return std::strstr(text, part) != nullptr; }

// The renderer's own context is current on this thread once it has drawn.
void OpenGlStrings(DisplayBackend::PlatformFacts* facts) {
    using GetString = const unsigned char* (*)(unsigned);
    const auto get = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (!get || !SDL_GL_GetCurrentContext()) return;
    const auto text = [&](unsigned name) {
        const unsigned char* value = get(name);
        return value ? reinterpret_cast<const char*>(value) : "";
    };
    std::snprintf(facts->graphics, sizeof facts->graphics, "%s %s", text(GlVendor), text(GlRenderer));
    std::snprintf(facts->driver, sizeof facts->driver, "OpenGL %s", text(GlVersion));
    // Mesa's rasterisers on the processor.
    if (Contains(facts->graphics, "llvmpipe") || Contains(facts->graphics, "softpipe") ||
        Contains(facts->graphics, "Software Rasterizer"))
        std::snprintf(facts->virtualDisplay, sizeof facts->virtualDisplay,
                      "OpenGL drawn in software (%s), with no graphics card between the frames "
                      "and the screen",
                      text(GlRenderer));
}

}  // namespace

namespace DisplayBackend {

void DescribePlatform(PlatformFacts* facts) {
    *facts = PlatformFacts{};
    SdlBackend::State& s = Get();
    const char* video = SDL_GetCurrentVideoDriver();
    Copy(facts->videoDriver, sizeof facts->videoDriver, video);
    SDL_RendererInfo info{};
    if (s.renderer && SDL_GetRendererInfo(s.renderer, &info) == 0 && info.name)
        std::snprintf(facts->renderer, sizeof facts->renderer, "SDL %s renderer", info.name);
    if (s.renderer && !s.softwareRenderer && std::strncmp(info.name ? info.name : "", "opengl", 6) == 0)
        OpenGlStrings(facts);
    else if (s.softwareRenderer)
        Copy(facts->graphics, sizeof facts->graphics, "none: SDL's software renderer draws on the processor");
    facts->compositor = -1;
    video = video ? video : "";
    if (std::strcmp(video, "wayland") == 0) {
        Copy(facts->windowSystem, sizeof facts->windowSystem, "Wayland");
        facts->compositor = 1;  // a Wayland display is its compositor
    } else if (std::strcmp(video, "x11") == 0) {
        const int32_t underWayland = std::getenv("WAYLAND_DISPLAY") != nullptr;
        Copy(facts->windowSystem, sizeof facts->windowSystem,
             underWayland ? "X11 through XWayland, under a Wayland compositor" : "X11");
#if defined(SDL_VIDEO_DRIVER_X11)
        facts->compositor = underWayland ? 1 : CompositorOnX11();
#endif
    } else if (std::strcmp(video, "kmsdrm") == 0) {
        Copy(facts->windowSystem, sizeof facts->windowSystem, "none: straight to the display (KMS)");
        facts->compositor = 0;
    } else {
        Copy(facts->windowSystem, sizeof facts->windowSystem, video);
    }
    if (s.softwareRenderer)
        Copy(facts->virtualDisplay, sizeof facts->virtualDisplay,
             "an X server without direct rendering, as a virtual display (Xvfb) or a remote "
             "one is, with no display retrace to wait for");
}

int32_t KeyInjectionOpen(const char** why) {
    KeyInjectionClose();
#if defined(SDL_VIDEO_DRIVER_X11)
    const char* video = SDL_GetCurrentVideoDriver();
    if (!video || std::strcmp(video, "x11") != 0) {
        *why = "keys can be typed into a window only on X11, and this is not X11";
        return 0;
    }
    injectInto = XWindowOf(Get().surfaceWindow);
    injector = injectInto ? XOpenDisplay(nullptr) : nullptr;
    int event = 0, error = 0, major = 0, minor = 0;
    if (!injector || !XTestQueryExtension(injector, &event, &error, &major, &minor)) {
        KeyInjectionClose();
        *why = "the X server has no XTest extension to type keys with";
        return 0;
    }
    return 1;
#else
    *why = "this build of SDL has no X11 to type keys through";
    return 0;
#endif
}

int32_t InjectKey(uint8_t scanCode, int32_t down) {
#if defined(SDL_VIDEO_DRIVER_X11)
    if (!injector) return 0;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(injector, &focus, &revert);
    if (down && focus != injectInto) return 0;
    // X key codes are the set-1 scan codes moved up by 8, by position, with
    // the evdev key codes of current servers as with the older ones.
    XTestFakeKeyEvent(injector, static_cast<unsigned>(scanCode) + 8, down ? True : False, CurrentTime);
    // Back once the server has handled it and sent the program its event:
    // the caller times from here, and a press and release typed back to
    // back reach the program together, as a tap between two looks does.
    XSync(injector, False);
    return 1;
#else
    (void)scanCode;
    (void)down;
    return 0;
#endif
}

void KeyInjectionClose() {
#if defined(SDL_VIDEO_DRIVER_X11)
    if (injector) XCloseDisplay(injector);
    injector = nullptr;
    injectInto = 0;
#endif
}

}  // namespace DisplayBackend
