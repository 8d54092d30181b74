// The lexical-decision experiment: run and results log, settings, display
// set-up, text screens and word lists.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct StringList;

namespace Settings {
extern int32_t Width;
extern int32_t Height;
extern int32_t Fullscreen;
extern int32_t UseNativeResolution;
extern int32_t RandomizeOrder;
}  // namespace Settings

namespace DisplaySize {
extern int32_t Width;
extern int32_t Height;
}  // namespace DisplaySize

enum Response : int32_t {
    ResponsePending = -1,  // nothing answered yet
    ResponseQuit = 0,
    ResponseWord = 1,
    ResponseNonWord = 2
};

extern const char* const AssertionSuffix;  // ": assertion failed!"
extern const char* const DisplaySuffix;    // ": Couldn't initialize display!"
constexpr int32_t ResultsFileNumber = 0;

// Runs the experiment once; every way out ends the process via the runtime.
[[noreturn]] void RunExperiment();
// Shows "Error<line><suffix>" in the box titled "wordtap", then shuts down.
[[noreturn]] void AssertOrDie(int32_t line, const char* suffix);

int32_t LoadSettings();
int32_t InitDisplay();
// A text file's lines joined by LF, and how its bytes are read.
struct ScreenText {
    std::string text;
    int32_t encoding;  // Utf8::Encoding
};
ScreenText LoadIntroText();
ScreenText LoadFinalText();
void ShowText(float fx, float fy, std::string_view text, int32_t encoding);
Response WaitForResponse();
// One turn of WaitForResponse: a look at the keys and the window.
Response CheckForResponse();
// The settings as LoadSettings reads them, leaving the file as it is.
void ReadSettings();
void LoadWordList(StringList* list);

// "  0.523"-style seconds with three decimals in a three-wide field.
std::string ReactionTimeText(int64_t milliseconds);

// The geometry of ShowText, free of any drawing so that it can be checked
// by itself. All of it is held in 32-bit floats and rounded half to even.
namespace TextLayout {
// Top-left x (or y) of an extent `size` placed in `area` by `factor`.
int32_t Place(int32_t area, int32_t size, float factor);
// Tops of `lineCount` lines stepped by 1.2 times `spaceHeight`, the block
// placed in `areaHeight` by `factor` as if every line were that tall.
std::vector<int32_t> LineTops(int32_t areaHeight, int32_t lineCount, int32_t spaceHeight,
                              float factor);
}  // namespace TextLayout
