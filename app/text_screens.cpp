// The introduction and closing texts, their layout on the screen, and the
// wait for an answer.
#include <climits>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "app/experiment.h"
#include "support/process/process.h"
#include "display/app_window.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "display/text_painter.h"
#include "support/files/directory.h"
#include "support/files/text_file.h"
#include "support/text/conversions.h"
#include "support/text/utf8.h"
#include "support/time/clock.h"

namespace {
constexpr int32_t TextFileNumber = 0;
constexpr int32_t FontNumber = 1;
// The single-precision value nearest to 1.2, as the line step is defined.
constexpr float LineSpacing = 1.2f;
// The longest sleep of the response wait between two looks at the keys.
constexpr int32_t InputWaitMs = 10;
// How long the response wait looks without sleeping once an answer key is
// down, so that its release is seen at once and not when the sleeping wait
// is next let run; 0: it always sleeps. A build option, so that the two
// waits can be measured against each other.
#ifndef WORDTAP_HELD_KEY_SPIN_MS
#define WORDTAP_HELD_KEY_SPIN_MS 0
#endif
constexpr uint32_t HeldKeySpinMs = WORDTAP_HELD_KEY_SPIN_MS;

struct ResponseWaitState {
    int32_t heldKeys;      // answer keys held at the last look, a bit each
    uint32_t heldSinceMs;  // when the latest of them went down
};
ResponseWaitState responseWait;

// Whether to look again without sleeping: an answer key went down less than
// HeldKeySpinMs ago and is still held. A key rested on longer lets the wait
// sleep again.
int32_t SpinWhileHeld() {
    if (HeldKeySpinMs == 0) return 0;
    const int32_t held = (KeyboardState::IsHeld(ScanCode::W) ? 1 : 0) |
                         (KeyboardState::IsHeld(ScanCode::O) ? 2 : 0) |
                         (KeyboardState::IsHeld(ScanCode::Escape) ? 4 : 0);
    if (held == 0) {
        responseWait.heldKeys = 0;
        return 0;
    }
    const uint32_t now = TickMilliseconds();
    if (held & ~responseWait.heldKeys) responseWait.heldSinceMs = now;
    responseWait.heldKeys = held;
    return now - responseWait.heldSinceMs < HeldKeySpinMs;
}

struct DefaultText {
    const char* path;
    int32_t createAssertLine;
    int32_t firstLineAssertLine;  // the lines count up from here
    const char* const* lines;
    int32_t lineCount;
};

const char* const DefaultIntroLines[] = {
    "data/introduction.txt",
    "",
    "Enter your introductionary text here.",
    "",
    "The whole file will be displayed on program startup.",
    "",
    "Press [W]   if it is a word.",
    "Press [O]   if it is NOT a word.",
    "Press [Esc] to quit anytime.",
    "",
    "Press [W] or [O] to continue...",
};
const char* const DefaultFinalLines[] = {
    "data/finalscreen.txt", "", "This is the end.", "", "Press [Esc] to quit...",
};

const DefaultText IntroText = {"data/introduction.txt", 124, 125, DefaultIntroLines,
                               static_cast<int32_t>(std::size(DefaultIntroLines))};
const DefaultText FinalText = {"data/finalscreen.txt", 153, 154, DefaultFinalLines,
                               static_cast<int32_t>(std::size(DefaultFinalLines))};

// Lines joined by LF, whatever line ends the file has. The file stays open
// under its number; the next open of that number closes it.
ScreenText ReadWholeText(const char* path) {
    if (TextFile::OpenRead(TextFileNumber, path) == 0) return ScreenText{std::string(), Utf8::Legacy};
    Utf8::FileCheck check{TextFile::Unicode(TextFileNumber), 0, 0};
    std::string text = TextFile::ReadLine(TextFileNumber);
    Utf8::CheckLine(&check, text.data(), static_cast<int32_t>(text.size()));
    while (TextFile::AtEnd(TextFileNumber) == 0) {
        // A huge text or a slow disk must not hold off a termination signal.
        Process::EndIfStopRequested();
        text += '\n';
        const std::string line = TextFile::ReadLine(TextFileNumber);
        Utf8::CheckLine(&check, line.data(), static_cast<int32_t>(line.size()));
        text += line;
    }
    return ScreenText{std::move(text), Utf8::FileEncoding(check)};
}

// Only a missing file gets the default: an empty file or a directory of that
// name is the experimenter's choice and is left alone.
ScreenText LoadScreenText(const DefaultText& text) {
    if (PathSize(text.path) == PathSizeMissing) {
        if (TextFile::Create(TextFileNumber, text.path) == 0)
            AssertOrDie(text.createAssertLine, AssertionSuffix);
        for (int32_t i = 0; i < text.lineCount; ++i) {
            if (TextFile::WriteLine(TextFileNumber, text.lines[i]) == 0)
                AssertOrDie(text.firstLineAssertLine + i, AssertionSuffix);
        }
        // The lines sit in the file's buffer until now: a write that fails
        // here fails the last line. Unreported, it would leave a cut-off
        // text that every later run shows as if it were the experimenter's.
        if (TextFile::Close(TextFileNumber) == 0)
            AssertOrDie(text.firstLineAssertLine + text.lineCount - 1, AssertionSuffix);
    }
    return ReadWholeText(text.path);
}

// Rounds half to even; far-off values are held at the ends of the range.
int32_t RoundCoordinate(float value) {
    const float rounded = std::nearbyint(value);
    if (!(rounded > -2147483648.0f)) return rounded != rounded ? 0 : INT32_MIN;
    if (rounded >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(rounded);
}

// Every step is formed in double and stored back as a float.
float AddStep(float value, int32_t spaceHeight) {
    return static_cast<float>(static_cast<double>(value) +
                              static_cast<double>(spaceHeight) *
                                  static_cast<double>(LineSpacing));
}

// One pass; splitting by field number would be quadratic in the line count.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}
}  // namespace

namespace TextLayout {
int32_t Place(int32_t area, int32_t size, float factor) {
    const float free = static_cast<float>(static_cast<double>(static_cast<float>(area)) -
                                          static_cast<double>(static_cast<float>(size)));
    const float position =
        static_cast<float>(static_cast<double>(free) * static_cast<double>(factor));
    return RoundCoordinate(position);
}

std::vector<int32_t> LineTops(int32_t areaHeight, int32_t lineCount, int32_t spaceHeight,
                              float factor) {
    std::vector<int32_t> tops;
    if (lineCount <= 0) return tops;
    // Every line counts with the height of a space, empty ones included.
    float total = 0.0f;
    for (int32_t i = 0; i < lineCount; ++i) total = AddStep(total, spaceHeight);
    float y = static_cast<float>(
        (static_cast<double>(static_cast<float>(areaHeight)) - static_cast<double>(total)) *
        static_cast<double>(factor));
    tops.reserve(static_cast<size_t>(lineCount));
    for (int32_t i = 0; i < lineCount; ++i) {
        tops.push_back(RoundCoordinate(y));
        y = AddStep(y, spaceHeight);
    }
    return tops;
}
}  // namespace TextLayout

ScreenText LoadIntroText() { return LoadScreenText(IntroText); }
ScreenText LoadFinalText() { return LoadScreenText(FinalText); }

void ShowText(float fx, float fy, std::string_view text, int32_t encoding) {
    if (TextPainter::Begin(Screen::DrawingTarget()) == 0) return;
    TextPainter::UseFont(FontHandle::Find(FontNumber));

    if (CountOccurrences(text, "\n") == 0) {
        // A single line is centred by its own measured size.
        const int32_t width = TextPainter::MeasureWidth(text, encoding);
        const int32_t height = TextPainter::MeasureHeight(text, encoding);
        TextPainter::PutText(TextLayout::Place(DisplaySize::Width, width, fx),
                             TextLayout::Place(DisplaySize::Height, height, fy), text, encoding,
                             ColourBlack, ColourWhite);
        TextPainter::End();
        return;
    }

    const std::vector<std::string_view> lines = SplitLines(text);
    const int32_t spaceHeight = TextPainter::MeasureHeight(" ", encoding);
    const int32_t lineCount =
        lines.size() > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(lines.size());
    const std::vector<int32_t> tops =
        TextLayout::LineTops(DisplaySize::Height, lineCount, spaceHeight, fy);
    for (int32_t i = 0; i < lineCount; ++i) {
        // An empty line keeps its place but draws nothing; blanks are drawn.
        if (lines[i].empty()) continue;
        const int32_t width = TextPainter::MeasureWidth(lines[i], encoding);
        TextPainter::PutText(TextLayout::Place(DisplaySize::Width, width, fx), tops[i], lines[i],
                             encoding, ColourBlack, ColourWhite);
    }
    TextPainter::End();
}

Response CheckForResponse() {
    // A timed sleep would quantise the measured reaction time. The wait for
    // input wakes when a key changes, so the next poll sees the release at
    // once, and keeps the processor free meanwhile; its time-out bounds how
    // late a stop request is noticed. Where it cannot wait, the loop yields.
    KeyboardState::Poll();
    // Both answers let go since the last look (the program was not run
    // meanwhile): the first one let go is the answer.
    static constexpr int32_t Answers[] = {ScanCode::W, ScanCode::O};
    const int32_t answer = KeyboardState::FirstReleased(Answers, 2);
    if (answer == ScanCode::W) return ResponseWord;
    if (answer == ScanCode::O) return ResponseNonWord;
    if (SpinWhileHeld() || !AppWindow::WaitForInput(InputWaitMs)) SleepMs(0);
    if (KeyboardState::WasReleased(ScanCode::Escape)) return ResponseQuit;
    if (AppWindow::Exists(0) && AppWindow::PollEvent() == AppWindow::CloseRequest)
        return ResponseQuit;
    // A termination signal ends the run like a quit, through the shutdown.
    if (Process::StopRequested()) return ResponseQuit;
    return ResponsePending;
}

Response WaitForResponse() {
    KeyboardState::BeginWait();
    for (;;) {
        const Response response = CheckForResponse();
        if (response != ResponsePending) return response;
    }
}
