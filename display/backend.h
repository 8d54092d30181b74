// The narrow interface between the display modules and a platform.
//
// Exactly one backend is linked into a program: SDL2 + FreeType on Linux,
// Direct3D 9 + DirectInput + GDI on Windows, or the headless one in tests.
// Everything a platform decides lives behind these procedures; the display
// modules above them hold the logic that must not differ between platforms.
// Results follow the program's convention: 0 is failure.
#pragma once
#include <cstdint>

#include "display/display_types.h"

namespace DisplayBackend {

// ---- Drawing system and the one surface -------------------------------
int32_t InitSystem();
// Full screen in exactly this mode (refreshHz 0: the display's default).
int32_t OpenFullscreen(int32_t width, int32_t height, int32_t depth, int32_t refreshHz,
                       const char* title);
// A surface filling (x, y, width, height) of the parent's client area.
int32_t OpenInWindow(NativeWindow parent, int32_t x, int32_t y, int32_t width, int32_t height);
void CloseSurface();

// The CPU back buffer: 0x00RRGGBB pixels, `pitch` pixels per row.
struct Pixels {
    uint32_t* data;
    int32_t width;
    int32_t height;
    int32_t pitch;
};
Pixels BackBuffer();  // data is null when no surface is open

enum PresentResult : int32_t { PresentFailed = 0, PresentShown = 1, PresentLost = -1 };
// Shows the back buffer. With `retrace` non-zero it returns only once the
// frame has been handed to the display at a vertical retrace.
int32_t Present(int32_t retrace);

// How presents reach the display: whether one waits for the display's own
// vertical retrace or is paced without it, and in words, for a timing report.
// Meaningful while a surface is open.
struct PresentPacing {
    int32_t displayRetrace;
    const char* description;
};
PresentPacing DescribePresent();

// ---- What the timing check asks of the platform ---------------------------
// The path from the back buffer to the screen, as the platform names it, for
// a report a lab keeps with its methods; empty texts where it cannot tell.
// Meaningful while a surface is open.
struct PlatformFacts {
    char graphics[160];       // the graphics card (or software) that draws the frames
    char driver[96];          // its driver's version
    char renderer[64];        // what the backend draws with
    char videoDriver[32];     // the video driver of a portable layer, if any
    char windowSystem[96];
    int32_t compositor;       // 1 a compositor puts the window on the screen, 0 not, -1 unknown
    // Non-empty where what the check times is no physical display (a virtual
    // X server, Wine, a software renderer): why, in a sentence's words.
    char virtualDisplay[160];
};
void DescribePlatform(PlatformFacts* facts);
// Key changes typed into the program's own window as the keyboard would
// deliver them, so that the check can time the whole input path. 0 and a
// reason where keys cannot be typed so.
int32_t KeyInjectionOpen(const char** why);
// 0 when the key was not sent: a press while the program's window has not
// got the keyboard focus, as it would reach another program. A release is
// always sent, so that no key stays down.
int32_t InjectKey(uint8_t scanCode, int32_t down);
void KeyInjectionClose();

// ---- Messages of the program's windows -------------------------------
enum MessageKind : int32_t {
    MessageNone = 0,
    MessageCloseRequest,  // close box, Alt+F4, window manager's delete
    MessageRepaint,       // the window's content must be shown again
    MessageFocusGained,
    MessageFocusLost,
    MessageOther,
};
struct Message {
    int32_t kind;
    NativeWindow window;  // 0 when the message concerns no window
    int32_t number;       // the platform's own message number; never 16
};
// Takes one pending message without waiting; 0 when there is none.
int32_t PollMessage(Message* message);
// Sleeps until input or a message for the program may have arrived (a key,
// a close request), or `timeoutMs` passed, and leaves what arrived to the
// next KeyChanges and PollMessage. A backend that cannot wait so returns 0
// at once, and the caller yields instead.
int32_t WaitForInput(int32_t timeoutMs);

// ---- Top-level windows ---------------------------------------------------
struct WindowSpec {
    int32_t x, y;                      // ignored with defaultPosition
    int32_t clientWidth, clientHeight;  // the client area, exactly
    const char* title;
    uint32_t style;  // platform style bits (0xCA0000: caption, system menu, minimise box)
    int32_t defaultPosition;  // let the window system place it
    int32_t centreOnScreen;
    int32_t toolWindow;
    int32_t hidden;
    NativeWindow parent;
};
NativeWindow OpenWindow(const WindowSpec& request);
void CloseWindow(NativeWindow window);

// ---- Fonts and text -------------------------------------------------------
constexpr uint32_t FontUnderline = 4, FontStrikeOut = 8, FontHighQuality = 16, FontBold = 256,
                   FontItalic = 512;
int32_t LogicalDpiY();  // 96 on a standard display
// A font whose em height is `pixelHeight` (0: the platform's default size).
// A face that is not installed is replaced by the closest match.
FontRef LoadFont(const char* face, int32_t pixelHeight, uint32_t flags);
FontRef SystemFont();
void FreeFont(FontRef font);
int32_t FontIsItalic(FontRef font);
// A line of Unicode code points (UTF-32) in logical (typing) order. The backend shapes it (joining,
// conjuncts, marks, ligatures), orders it by the Unicode bidirectional algorithm with the base
// direction of its first strong character (none: left to right), and draws every character the
// font lacks from an installed face that has it, at the same size; characters the font has always
// come from the font.
struct TextSize {
    int32_t width;   // the shaped run's advance
    int32_t height;  // the requested font's cell height, whatever the characters
};
TextSize MeasureText(FontRef font, const char32_t* text, int32_t length);
// The cell (advance x cell height) at top-left (x, y) filled with `backRgb`, then the shaped run
// drawn in `frontRgb`. Ink may reach beyond the cell (tall marks above, descenders below): it is
// clipped to `target` only. Returns the advance in pixels, the same as MeasureText's width.
int32_t DrawText(FontRef font, const Pixels& target, int32_t x, int32_t y, const char32_t* text,
                 int32_t length, uint32_t frontRgb, uint32_t backRgb);

// ---- Keyboard -----------------------------------------------------------
int32_t KeyboardOpen();
// 256 bytes by set-1 scan code, bit 7 set while the key is down. 0 when no
// snapshot can be taken, for instance while the program has no focus.
int32_t KeySnapshot(uint8_t snapshot[256]);
// One key going down or up, by set-1 scan code, as the system delivered it.
// Auto-repeats of a held key are not changes.
struct KeyChange {
    uint8_t scanCode;
    uint8_t down;
};
enum KeyChangesResult : int32_t {
    KeysUnreadable = 0,  // no focus, no device: nothing can be read now
    KeysRead = 1,
    // Changes were lost before the ones given (a full buffer, the device
    // acquired again, the focus regained): the caller takes a KeySnapshot
    // after them for what is down now.
    KeysLost = 2,
};
// Moves the key changes that arrived since the last call into `changes`,
// oldest first, at most `capacity`; `*count` says how many. Fewer than
// `capacity` means none are left. While the keys are unreadable, what
// arrives is dropped and the first readable call says KeysLost.
int32_t KeyChanges(KeyChange* changes, int32_t capacity, int32_t* count);
void KeyboardClose();

// ---- Desktops ---------------------------------------------------------------
struct DesktopMode {
    int32_t x, y, width, height, depth, refreshHz;
    char name[32];
};
// Current modes of the attached displays, the primary one first; the count.
int32_t DesktopModes(DesktopMode* modes, int32_t capacity);

// ---- Modal box and the end of the process -------------------------------
// A modal box with the title, the text and one OK button, above everything
// the program shows; returns when dismissed.
int32_t MessageBox(const char* title, const char* text);
void Shutdown();

}  // namespace DisplayBackend
