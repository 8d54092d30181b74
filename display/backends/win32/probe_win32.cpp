// The timing check's questions on Windows: the Direct3D adapter and its
// driver, Wine underneath, the desktop compositor; and keys typed into the
// program's own window through SendInput.
//
// Under Wine the adapter is a card Wine names for the host's OpenGL renderer
// (it may be another one, or software), and typed keys go through Wine's own
// input path, as real ones do there.
#include <cstdio>
#include <cstring>

#include "display/backends/win32/win32_state.h"

namespace {

using Win32Backend::Get;
using Win32Backend::Lookup;

// Wine's version and its host's system, when ntdll is Wine's; null otherwise.
const char* WineVersion(const char** hostSystem, const char** hostRelease) {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto version = Lookup<const char*(__cdecl*)()>(ntdll, "wine_get_version");
    const auto host = Lookup<void(__cdecl*)(const char**, const char**)>(ntdll, "wine_get_host_version");
    *hostSystem = *hostRelease = "";
    if (host) host(hostSystem, hostRelease);
    return version ? version() : nullptr;
}

int32_t CompositionEnabled() {
    const HMODULE dwm = LoadLibraryA("dwmapi.dll");
    const auto enabled = Lookup<HRESULT(WINAPI*)(BOOL*)>(dwm, "DwmIsCompositionEnabled");
    BOOL on = FALSE;
    const int32_t known = enabled && SUCCEEDED(enabled(&on));
    if (dwm) FreeLibrary(dwm);
    return known ? (on ? 1 : 0) : -1;
}

}  // namespace

namespace DisplayBackend {

void DescribePlatform(PlatformFacts* facts) {
    *facts = PlatformFacts{};
    Win32Backend::State& s = Get();
    std::snprintf(facts->renderer, sizeof facts->renderer, "Direct3D 9");
    D3DADAPTER_IDENTIFIER9 adapter{};
    if (s.d3d && SUCCEEDED(s.d3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &adapter))) {
        std::snprintf(facts->graphics, sizeof facts->graphics, "%s", adapter.Description);
        const LARGE_INTEGER v = adapter.DriverVersion;
        std::snprintf(facts->driver, sizeof facts->driver, "%s %u.%u.%u.%u", adapter.Driver,
                      static_cast<unsigned>(HIWORD(v.HighPart)), static_cast<unsigned>(LOWORD(v.HighPart)),
                      static_cast<unsigned>(HIWORD(v.LowPart)), static_cast<unsigned>(LOWORD(v.LowPart)));
    }
    const char *hostSystem, *hostRelease;
    const char* wine = WineVersion(&hostSystem, &hostRelease);
    if (wine) {
        // Wine names a card of its own choosing for the host's OpenGL renderer.
        std::snprintf(facts->graphics, sizeof facts->graphics, "%s, as Wine names the host's graphics",
                      adapter.Description);
        std::snprintf(facts->windowSystem, sizeof facts->windowSystem,
                      "Windows as Wine %s gives it, on %s %s", wine, hostSystem, hostRelease);
        std::snprintf(facts->virtualDisplay, sizeof facts->virtualDisplay,
                      "Wine %s, which draws Direct3D through the host's OpenGL, where a Windows program "
                      "cannot see the display's retrace",
                      wine);
    } else {
        std::snprintf(facts->windowSystem, sizeof facts->windowSystem, "Windows");
        if (std::strstr(adapter.Description, "Basic Render"))
            std::snprintf(facts->virtualDisplay, sizeof facts->virtualDisplay,
                          "Microsoft's software renderer, with no graphics driver installed");
    }
    // Exclusive full screen goes past the compositor, a window through it;
    // under Wine the host's compositor, if any, is out of sight.
    facts->compositor = wine ? -1 : s.fullscreen ? 0 : CompositionEnabled();
}

int32_t KeyInjectionOpen(const char** why) {
    if (!Get().deviceWindow) {
        *why = "no window to type keys into";
        return 0;
    }
    return 1;
}

int32_t InjectKey(uint8_t scanCode, int32_t down) {
    if (down && GetForegroundWindow() != Get().deviceWindow) return 0;
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wScan = scanCode;
    input.ki.dwFlags = KEYEVENTF_SCANCODE | (down ? 0 : KEYEVENTF_KEYUP);
    return SendInput(1, &input, sizeof input) == 1 ? 1 : 0;
}

void KeyInjectionClose() {}

}  // namespace DisplayBackend
