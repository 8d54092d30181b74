// The headless display backend: everything in memory, events from a script.
#include "display/backends/headless/headless.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <vector>

#include "support/process/process.h"
#include "support/text/utf8.h"
#include "support/time/time_platform.h"

namespace {

constexpr int32_t MaxSide = 16384;
constexpr int32_t Dpi = 96;
constexpr int32_t SystemFontHeight = 16;
constexpr FontRef SystemFontRef = 1;

// The platform's own message numbers; 16 never appears.
constexpr int32_t NumberCloseRequest = 0x8001;
constexpr int32_t NumberRepaint = 0x8002;
constexpr int32_t NumberFocusGained = 0x8003;
constexpr int32_t NumberFocusLost = 0x8004;

struct HeadlessFont {
    int32_t pixelHeight;
    int32_t italic;
};

struct BackendState {
    Headless::Config config;
    int traceFd = -1;
    std::string traceFdPath;

    // The surface.
    int32_t surfaceOpen = 0;
    int32_t surfaceFullscreen = 0;
    int32_t width = 0, height = 0;
    std::vector<uint32_t> backBuffer;
    NativeWindow surfaceWindow = 0;  // full screen: the pseudo-window; windowed: the parent
    // The frame on the display.
    std::vector<uint32_t> lastFrame;
    int32_t lastFrameWidth = 0, lastFrameHeight = 0;
    int32_t presentCount = 0;
    std::vector<int64_t> presentTimes;  // [n]: when present n returned; [0]: the start
    int32_t forcedResult = DisplayBackend::PresentShown;
    int32_t forcedCount = 0;

    std::vector<NativeWindow> windows;  // open top-level windows, oldest first
    NativeWindow nextWindow = 0x100;

    std::map<FontRef, HeadlessFont> fonts;
    FontRef nextFont = 0x10;

    int32_t keyboardOpen = 0;
    uint8_t keys[256] = {};
    int32_t focused = 1;
    // Key changes not read yet, oldest first; set when changes were dropped
    // while the keys were unreadable.
    std::deque<DisplayBackend::KeyChange> keyChanges;
    int32_t keyChangesLost = 0;

    std::deque<DisplayBackend::Message> messages;
    size_t nextScriptEvent = 0;
};

BackendState& S() {
    static BackendState state;
    return state;
}

int64_t NowMicros() {
    const Headless::Config& config = S().config;
    if (config.nowMicros) return config.nowMicros();
    int64_t frequency = TimePlatform::CounterFrequency();
    if (frequency <= 0) return 0;
    int64_t value = TimePlatform::CounterValue();
    // Split so that large counter values do not overflow.
    return value / frequency * 1000000 + value % frequency * 1000000 / frequency;
}

bool SizeOk(int32_t width, int32_t height) {
    return width >= 1 && width <= MaxSide && height >= 1 && height <= MaxSide;
}

// A new black back buffer; an open surface is closed first.
void StartSurface(int32_t width, int32_t height, int32_t fullscreen, NativeWindow window) {
    BackendState& s = S();
    if (s.surfaceOpen) DisplayBackend::CloseSurface();
    s.backBuffer.assign(static_cast<size_t>(width) * height, 0);
    s.width = width;
    s.height = height;
    s.surfaceOpen = 1;
    s.surfaceFullscreen = fullscreen;
    s.surfaceWindow = window;
}

NativeWindow MessageWindow() {
    BackendState& s = S();
    if (!s.windows.empty()) return s.windows.back();
    if (s.surfaceOpen && s.surfaceFullscreen) return s.surfaceWindow;
    return 0;
}

// Close requests for a window that are still waiting merge into one, as the
// real window systems' bursts do in the SDL backend.
void Queue(int32_t kind, int32_t number) {
    auto& messages = S().messages;
    const DisplayBackend::Message message{kind, MessageWindow(), number};
    if (kind == DisplayBackend::MessageCloseRequest && !messages.empty() &&
        messages.back().kind == kind && messages.back().window == message.window)
        return;
    messages.push_back(message);
}

const char* KindName(Headless::ScriptEvent::Kind kind) {
    switch (kind) {
        case Headless::ScriptEvent::KeyDown: return "key-down";
        case Headless::ScriptEvent::KeyUp: return "key-up";
        case Headless::ScriptEvent::CloseRequest: return "close-request";
        case Headless::ScriptEvent::FocusLost: return "focus-lost";
        case Headless::ScriptEvent::FocusGained: return "focus-gained";
        case Headless::ScriptEvent::Repaint: return "repaint";
        case Headless::ScriptEvent::SurfaceLost: return "surface-lost";
        case Headless::ScriptEvent::SurfaceFails: return "surface-fails";
        case Headless::ScriptEvent::SurfaceBack: return "surface-back";
        case Headless::ScriptEvent::Terminate: return "terminate";
    }
    return "unknown";
}

void Fire(const Headless::ScriptEvent& event) {
    BackendState& s = S();
    Headless::Trace("event " + std::string(KindName(event.kind)) + " " +
                    std::to_string(event.scanCode));
    uint8_t* key = event.scanCode >= 0 && event.scanCode < 256 ? &s.keys[event.scanCode] : nullptr;
    switch (event.kind) {
        case Headless::ScriptEvent::KeyDown:
        case Headless::ScriptEvent::KeyUp: {
            if (!key) break;
            const uint8_t down = event.kind == Headless::ScriptEvent::KeyDown ? 1 : 0;
            // A held key's repeats are no changes; keys typed elsewhere are
            // not ours to read.
            if ((*key != 0) != (down != 0) && s.focused)
                s.keyChanges.push_back({static_cast<uint8_t>(event.scanCode), down});
            else if (!s.focused)
                s.keyChangesLost = 1;
            *key = down ? 0x80 : 0;
            break;
        }
        case Headless::ScriptEvent::CloseRequest:
            Queue(DisplayBackend::MessageCloseRequest, NumberCloseRequest);
            break;
        case Headless::ScriptEvent::Repaint:
            Queue(DisplayBackend::MessageRepaint, NumberRepaint);
            break;
        case Headless::ScriptEvent::FocusLost:
            s.focused = 0;
            s.keyChangesLost = 1;
            Queue(DisplayBackend::MessageFocusLost, NumberFocusLost);
            break;
        case Headless::ScriptEvent::FocusGained:
            s.focused = 1;
            Queue(DisplayBackend::MessageFocusGained, NumberFocusGained);
            break;
        case Headless::ScriptEvent::SurfaceLost:
        case Headless::ScriptEvent::SurfaceFails:
            Headless::SetPresentOutcome(event.kind == Headless::ScriptEvent::SurfaceLost
                                            ? DisplayBackend::PresentLost
                                            : DisplayBackend::PresentFailed,
                                        INT32_MAX);
            break;
        case Headless::ScriptEvent::SurfaceBack:
            Headless::SetPresentOutcome(DisplayBackend::PresentShown, 0);
            break;
        case Headless::ScriptEvent::Terminate:
            Process::RequestStop();
            break;
    }
}

// Fires every script event whose time has come, in script order.
void RunScript() {
    BackendState& s = S();
    if (s.nextScriptEvent >= s.config.script.size()) return;
    int64_t now = NowMicros();
    // A clock reset after Configure would otherwise hold back the events
    // anchored at the start for as long as the clock went back.
    if (now < s.presentTimes[0]) s.presentTimes[0] = now;
    while (s.nextScriptEvent < s.config.script.size()) {
        const Headless::ScriptEvent& event = s.config.script[s.nextScriptEvent];
        int32_t anchor = std::max(event.anchorPresent, 0);
        if (anchor > s.presentCount) return;
        if (now - s.presentTimes[static_cast<size_t>(anchor)] < event.delayMicros) return;
        ++s.nextScriptEvent;
        Fire(event);
    }
}

HeadlessFont FontOf(FontRef font) {
    auto found = S().fonts.find(font);
    if (found == S().fonts.end()) return HeadlessFont{SystemFontHeight, 0};
    return found->second;
}

int32_t EffectiveHeight(int32_t pixelHeight) {
    return pixelHeight == 0 ? SystemFontHeight : pixelHeight;
}

std::string Hex(uint32_t rgb) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%06X", rgb & 0xFFFFFFu);
    return buffer;
}

void FillRect(const DisplayBackend::Pixels& target, int64_t left, int64_t top, int64_t right,
              int64_t bottom, uint32_t rgb) {
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, target.width);
    bottom = std::min<int64_t>(bottom, target.height);
    for (int64_t y = top; y < bottom; ++y) {
        uint32_t* row = target.data + y * target.pitch;
        for (int64_t x = left; x < right; ++x) row[x] = rgb;
    }
}

void SaveFrame() {
    BackendState& s = S();
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%04d.ppm", s.presentCount);
    std::string path = s.config.frameDirectory + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    std::fprintf(file, "P6\n%d %d\n255\n", s.width, s.height);
    std::vector<unsigned char> rgb(static_cast<size_t>(s.width) * 3);
    for (int32_t y = 0; y < s.height; ++y) {
        const uint32_t* row = s.backBuffer.data() + static_cast<size_t>(y) * s.width;
        for (int32_t x = 0; x < s.width; ++x) {
            rgb[x * 3] = static_cast<unsigned char>(row[x] >> 16);
            rgb[x * 3 + 1] = static_cast<unsigned char>(row[x] >> 8);
            rgb[x * 3 + 2] = static_cast<unsigned char>(row[x]);
        }
        std::fwrite(rgb.data(), 1, rgb.size(), file);
    }
    std::fclose(file);
}

void CloseTraceFile() {
    BackendState& s = S();
    if (s.traceFd >= 0) ::close(s.traceFd);
    s.traceFd = -1;
    s.traceFdPath.clear();
}

}  // namespace

// ---- Configuration and inspection -----------------------------------------

namespace Headless {

void Configure(const Config& config) {
    CloseTraceFile();
    BackendState& s = S();
    s = BackendState{};
    s.config = config;
    s.focused = config.startFocused ? 1 : 0;
    s.presentTimes.push_back(NowMicros());
}

void Trace(const std::string& line) {
    BackendState& s = S();
    if (s.config.traceFile.empty()) return;
    if (s.traceFd < 0 || s.traceFdPath != s.config.traceFile) {
        CloseTraceFile();
        s.traceFd = ::open(s.config.traceFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                           0644);
        if (s.traceFd < 0) return;
        s.traceFdPath = s.config.traceFile;
    }
    // One write per line: a process that ends abruptly loses no finished line.
    std::string text = line + "\n";
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t written = ::write(s.traceFd, data, left);
        if (written <= 0) break;
        data += written;
        left -= static_cast<size_t>(written);
    }
}

std::vector<std::string> ReadTraceFile(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

int32_t FontCellHeight(int32_t pixelHeight) {
    int32_t h = EffectiveHeight(pixelHeight);
    return h + h / 4;
}

int32_t FontAdvance(int32_t pixelHeight) { return std::max(1, EffectiveHeight(pixelHeight) / 2); }

int32_t TypeKey(int32_t scanCode, int32_t down) {
    if (down && !S().focused) return 0;
    Fire({down ? ScriptEvent::KeyDown : ScriptEvent::KeyUp, 0, 0, scanCode});
    return 1;
}

const Config& CurrentConfig() { return S().config; }

int32_t PresentCount() { return S().presentCount; }

std::vector<uint32_t> LastFrame(int32_t* width, int32_t* height) {
    if (width) *width = S().lastFrameWidth;
    if (height) *height = S().lastFrameHeight;
    return S().lastFrame;
}

void SetPresentOutcome(int32_t result, int32_t count) {
    S().forcedResult = result;
    S().forcedCount = std::max(count, 0);
}

}  // namespace Headless

// ---- The backend interface ------------------------------------------------

namespace DisplayBackend {

int32_t InitSystem() {
    return S().config.failInitSystem ? 0 : 1;
}

int32_t OpenFullscreen(int32_t width, int32_t height, int32_t depth, int32_t refreshHz,
                       const char* title) {
    (void)title;
    BackendState& s = S();
    const Headless::Config& c = s.config;
    // A drawing system that cannot start makes every open fail.
    if (c.failInitSystem || c.failSurface) return 0;
    if (depth != 16 && depth != 32) return 0;
    bool offered = width == c.desktopWidth && height == c.desktopHeight;
    for (const auto& mode : c.extraModes)
        if (mode.first == width && mode.second == height) offered = true;
    if (!offered || !SizeOk(width, height)) return 0;
    StartSurface(width, height, 1, s.nextWindow++);
    Headless::Trace("open-full " + std::to_string(width) + " " + std::to_string(height) + " " +
                    std::to_string(depth) + " " + std::to_string(refreshHz));
    return 1;
}

int32_t OpenInWindow(NativeWindow parent, int32_t x, int32_t y, int32_t width, int32_t height) {
    (void)x;
    (void)y;
    BackendState& s = S();
    if (s.config.failInitSystem || s.config.failSurface || !SizeOk(width, height)) return 0;
    if (std::find(s.windows.begin(), s.windows.end(), parent) == s.windows.end()) return 0;
    StartSurface(width, height, 0, parent);
    Headless::Trace("surface-in-window " + std::to_string(width) + " " + std::to_string(height));
    return 1;
}

void CloseSurface() {
    BackendState& s = S();
    if (!s.surfaceOpen) return;
    s.surfaceOpen = 0;
    s.surfaceFullscreen = 0;
    s.surfaceWindow = 0;
    s.width = s.height = 0;
    std::vector<uint32_t>().swap(s.backBuffer);
    Headless::Trace("close-surface");
}

Pixels BackBuffer() {
    BackendState& s = S();
    if (!s.surfaceOpen) return Pixels{nullptr, 0, 0, 0};
    return Pixels{s.backBuffer.data(), s.width, s.height, s.width};
}

int32_t Present(int32_t retrace) {
    BackendState& s = S();
    RunScript();
    if (!s.surfaceOpen) return PresentFailed;
    if (s.forcedCount > 0 && s.forcedResult != PresentShown) {
        --s.forcedCount;
        return s.forcedResult;
    }
    if (retrace && s.config.waitForRetrace) s.config.waitForRetrace();
    s.lastFrame = s.backBuffer;
    s.lastFrameWidth = s.width;
    s.lastFrameHeight = s.height;
    ++s.presentCount;
    s.presentTimes.push_back(NowMicros());
    if (!s.config.frameDirectory.empty()) SaveFrame();
    Headless::Trace("present " + std::to_string(s.presentCount));
    return PresentShown;
}

int32_t PollMessage(Message* message) {
    BackendState& s = S();
    RunScript();
    if (s.messages.empty()) return 0;
    if (message) *message = s.messages.front();
    s.messages.pop_front();
    return 1;
}

// Scripted time moves only with the program's sleeps and yields: the
// response loop must keep yielding for the script to go on.
int32_t WaitForInput(int32_t /*timeoutMs*/) { return 0; }

PresentPacing DescribePresent() {
    if (S().config.waitForRetrace) return {1, "headless, at the virtual retrace"};
    return {0, "headless, no retrace"};
}

NativeWindow OpenWindow(const WindowSpec& request) {
    BackendState& s = S();
    if (s.config.failWindow || !SizeOk(request.clientWidth, request.clientHeight)) return 0;
    NativeWindow window = s.nextWindow++;
    s.windows.push_back(window);
    Headless::Trace("open-window " + std::to_string(request.clientWidth) + " " +
                    std::to_string(request.clientHeight) + " " + (request.title ? request.title : ""));
    return window;
}

void CloseWindow(NativeWindow window) {
    BackendState& s = S();
    auto found = std::find(s.windows.begin(), s.windows.end(), window);
    if (found == s.windows.end()) return;
    if (s.surfaceOpen && !s.surfaceFullscreen && s.surfaceWindow == window) CloseSurface();
    s.windows.erase(found);
    Headless::Trace("close-window");
}

int32_t LogicalDpiY() { return Dpi; }

FontRef LoadFont(const char* face, int32_t pixelHeight, uint32_t flags) {
    (void)face;  // every face is "substituted" by the one built-in font
    BackendState& s = S();
    if (s.config.failFonts || pixelHeight < 0 || pixelHeight > MaxSide) return 0;
    FontRef font = s.nextFont++;
    s.fonts[font] = HeadlessFont{pixelHeight, (flags & FontItalic) ? 1 : 0};
    return font;
}

FontRef SystemFont() { return SystemFontRef; }

void FreeFont(FontRef font) { S().fonts.erase(font); }

int32_t FontIsItalic(FontRef font) { return FontOf(font).italic; }

TextSize MeasureText(FontRef font, const char32_t* text, int32_t length) {
    HeadlessFont f = FontOf(font);
    if (!text || length <= 0) return TextSize{0, Headless::FontCellHeight(f.pixelHeight)};
    int64_t width = static_cast<int64_t>(length) * Headless::FontAdvance(f.pixelHeight);
    return TextSize{static_cast<int32_t>(std::min<int64_t>(width, INT32_MAX)),
                    Headless::FontCellHeight(f.pixelHeight)};
}

int32_t DrawText(FontRef font, const Pixels& target, int32_t x, int32_t y, const char32_t* text,
                 int32_t length, uint32_t frontRgb, uint32_t backRgb) {
    if (!text || length <= 0) return 0;
    HeadlessFont f = FontOf(font);
    int32_t h = EffectiveHeight(f.pixelHeight);
    int64_t advance = Headless::FontAdvance(f.pixelHeight);
    int64_t cell = Headless::FontCellHeight(f.pixelHeight);
    std::string line = "text " + std::to_string(x) + " " + std::to_string(y) + " " + Hex(frontRgb) +
                       " " + Hex(backRgb) + " ";
    for (int32_t i = 0; i < length; ++i) Utf8::Append(text[i], &line);
    Headless::Trace(line);
    int64_t total = advance * static_cast<int64_t>(length);
    if (target.data) {
        FillRect(target, x, y, x + total, y + cell, backRgb & 0xFFFFFFu);
        int64_t reach = f.italic ? advance + h / 8 : advance - 1;
        for (int32_t i = 0; i < length; ++i) {
            if (text[i] == U' ') continue;
            int64_t left = x + static_cast<int64_t>(i) * advance;
            FillRect(target, left + 1, y + h / 4, left + reach, y + h, frontRgb & 0xFFFFFFu);
        }
    }
    return static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
}

int32_t KeyboardOpen() {
    if (S().config.failKeyboard) return 0;
    S().keyboardOpen = 1;
    return 1;
}

int32_t KeySnapshot(uint8_t snapshot[256]) {
    BackendState& s = S();
    RunScript();
    if (!s.keyboardOpen || !s.focused) return 0;
    std::memcpy(snapshot, s.keys, sizeof s.keys);
    return 1;
}

int32_t KeyChanges(KeyChange* changes, int32_t capacity, int32_t* count) {
    BackendState& s = S();
    RunScript();
    *count = 0;
    if (!s.keyboardOpen || !s.focused) {
        s.keyChanges.clear();
        return KeysUnreadable;
    }
    while (*count < capacity && !s.keyChanges.empty()) {
        changes[(*count)++] = s.keyChanges.front();
        s.keyChanges.pop_front();
    }
    const int32_t lost = s.keyChangesLost;
    s.keyChangesLost = 0;
    return lost ? KeysLost : KeysRead;
}

void KeyboardClose() { S().keyboardOpen = 0; }

int32_t DesktopModes(DesktopMode* modes, int32_t capacity) {
    if (!modes || capacity < 1) return 0;
    const Headless::Config& c = S().config;
    DesktopMode mode{};
    mode.width = c.desktopWidth;
    mode.height = c.desktopHeight;
    mode.depth = c.desktopDepth;
    mode.refreshHz = c.desktopRefreshHz;
    std::snprintf(mode.name, sizeof mode.name, "headless");
    modes[0] = mode;
    return 1;
}

int32_t MessageBox(const char* title, const char* text) {
    Headless::Trace("box " + std::string(title ? title : "") + "|" + (text ? text : ""));
    return 1;
}

void Shutdown() {
    BackendState& s = S();
    CloseSurface();
    while (!s.windows.empty()) CloseWindow(s.windows.back());
    s.fonts.clear();
    s.keyboardOpen = 0;
}

}  // namespace DisplayBackend
