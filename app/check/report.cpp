// The timing check's report: plain UTF-8 text, so that no program is needed
// to read it or attach it to a paper's materials.
#include <algorithm>
#include <cmath>

#include "app/check/analysis.h"

namespace TimingCheck {
namespace {

std::string Heading(int number, const char* name, const Item& item) {
    return std::to_string(number) + ". " + name + ": " + VerdictName(item.verdict);
}

void AddItem(std::vector<std::string>& lines, const std::string& heading, const Item& item,
             const std::vector<std::string>& figures) {
    lines.push_back("");
    lines.push_back(heading);
    for (const std::string& line : Wrap(item.sentence, 74)) lines.push_back("   " + line);
    for (const std::string& figure : figures) lines.push_back("   - " + figure);
}

void AddWrapped(std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : Wrap(text, 77)) lines.push_back(line);
}

std::string Or(const std::string& text, const char* instead) { return text.empty() ? instead : text; }

std::string Nominal(int32_t hz) {
    return hz > 0 ? std::to_string(hz) + " Hz (" + Fixed(1000.0 / hz, 3) + " ms)" : "not reported";
}

}  // namespace

std::vector<std::string> Wrap(const std::string& text, size_t width) {
    std::vector<std::string> lines(1);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width) lines.emplace_back();
        if (!lines.back().empty()) lines.back() += ' ';
        lines.back() += word;
        start = end + 1;
    }
    return lines;
}

std::string MethodsSentence(const Recording& r, const Analysis& a, const ReportContext& c) {
    std::string s = "Words were presented with wordtap " + c.version;
    if (!c.graphics.empty() && r.virtualDisplay.empty())
        s += " on " + c.graphics + (c.driver.empty() ? "" : " (" + c.driver + ")");
    s += ", " + std::to_string(c.width) + "\u00d7" + std::to_string(c.height);
    if (a.plausible) s += " at " + Fixed(a.measuredHz, 2) + " Hz measured";
    s += r.nominalHz > 0 ? " (" + std::to_string(r.nominalHz) + " Hz nominal)"
                         : " (nominal rate not reported)";
    s += r.windowed ? ", in a window" : ", full screen";
    if (a.locked)
        s += ", with vertical sync verified (interval SD " + Fixed(a.sdMs, 2) + " ms, " +
             std::to_string(a.missed) + " of " + std::to_string(a.intervals) + " presents missed)";
    else if (!r.virtualDisplay.empty())
        s += ", on an emulated or virtual display (vertical sync not verified)";
    else
        s += r.displayRetrace ? ", with vertical sync requested but not verified" : ", without vertical sync";
    s += "; each word followed a white screen of " + Fixed(a.whiteMeanMs, 0) + " ms";
    if (a.framePeriodMs > 0) s += " (" + Fixed(a.whiteMeanMs / a.framePeriodMs, 0) + " refreshes)";
    s += "; reaction times were logged in whole milliseconds from ";
    s += a.locked ? "the retrace that began to show the word"
                  : "the hand-over of the word's frame to the display";
    s += " to the key's release";
    if (r.keysTyped && a.tapsCounted == static_cast<int32_t>(r.taps.size()) && a.tapsCounted > 0)
        s += " as the program saw it (" +
             (a.seenMedianMs < 0.05 ? std::string("under 0.1") : Fixed(a.seenMedianMs, 1)) +
             " ms after a typed release, median; the keyboard's own delay not measured)";
    return s + ".";
}

std::vector<std::string> ReportLines(const Recording& r, const Analysis& a, const ReportContext& c) {
    std::vector<std::string> lines = {"wordtap " + c.version + " timing check, " + c.when,
                                      "Display: " + c.display, "",
                                      std::string("Verdict: ") + VerdictName(a.overall.verdict)};
    AddWrapped(lines, a.overall.sentence);
    lines.push_back("");
    AddWrapped(lines, "Methods: " + MethodsSentence(r, a, c));

    const std::string verified = a.locked                    ? "yes"
                                 : !r.virtualDisplay.empty() ? "no (emulated or virtual display)"
                                                             : "no (see 1.)";
    const std::vector<std::string> provenance = {
        "wordtap:         " + c.version,
        "Computer:        " + c.computer,
        "Graphics:        " + Or(c.graphics, "not reported"),
        "Driver:          " + Or(c.driver, "not reported"),
        "Drawn with:      " + Or(c.renderer, "not reported") +
            (c.videoDriver.empty() ? "" : ", video driver " + c.videoDriver),
        "Window system:   " + Or(c.windowSystem, "not reported"),
        "Compositor:      " + c.compositor,
        "Display mode:    " + c.display,
        "Presents:        " + c.presents,
        "Virtual display: " + (r.virtualDisplay.empty() ? std::string("no") : r.virtualDisplay),
        std::string("Vertical sync:   requested; the driver ") +
            (r.displayRetrace ? "waits for the retrace" : "does not wait for the display's retrace") +
            "; verified by the intervals: " + verified,
    };
    lines.push_back("");
    lines.push_back("Provenance");
    for (const std::string& line : provenance) {
        // Continued lines under the value, not under the name.
        const std::vector<std::string> parts = Wrap(line.substr(17), 60);
        lines.push_back("  " + line.substr(0, 17) + parts[0]);
        for (size_t i = 1; i < parts.size(); ++i) lines.push_back(std::string(19, ' ') + parts[i]);
    }

    AddItem(lines, Heading(1, "Retrace lock", a.retrace), a.retrace,
            {std::to_string(a.intervals) + " intervals between presents back to back: mean " +
                 Fixed(a.meanMs, 3) + " ms, SD " + Fixed(a.sdMs, 3) + " ms, from " + Fixed(a.smallestMs, 3) +
                 " to " + Fixed(a.largestMs, 3) + " ms",
             "median " + Fixed(a.medianMs, 3) + " ms (" + Fixed(a.measuredHz, 2) + " Hz); nominal refresh " +
                 Nominal(r.nominalHz),
             "on whole refresh periods (within 1 ms): " + Fixed(100 * a.onGridShare, 1) + " %",
             "missed (over a period and 4 ms): " + std::to_string(a.missed) +
                 "; early (under a period less 4 ms): " + std::to_string(a.early),
             std::string("vertical sync verified: ") + (a.locked ? "yes" : "no")});
    const std::string frames = a.framePeriodMs > 0
                                   ? " (" + Fixed(a.whiteSmallestMs / a.framePeriodMs, 2) + " to " +
                                         Fixed(a.whiteLargestMs / a.framePeriodMs, 2) + " refreshes)"
                                   : " (refresh period unknown)";
    AddItem(lines, Heading(2, "The trial", a.trial) + " (" + std::to_string(r.trials.size()) + " times)",
            a.trial,
            {"white screen before the word: mean " + Fixed(a.whiteMeanMs, 3) + " ms, from " +
                 Fixed(a.whiteSmallestMs, 3) + " to " + Fixed(a.whiteLargestMs, 3) + " ms" + frames,
             "400 ms blank: mean " + Fixed(a.blankMeanMs, 3) + " ms, at most " + Fixed(a.blankLargestMs, 3) +
                 " ms off",
             "word drawn in: mean " + Fixed(a.drawMeanMs, 3) + " ms",
             "100 ms wait: mean " + Fixed(a.waitMeanMs, 3) + " ms, at most " + Fixed(a.waitLargestMs, 3) +
                 " ms off",
             "present returned after: mean " + Fixed(a.presentMeanMs, 3) + " ms, largest " +
                 Fixed(a.presentLargestMs, 3) + " ms"});
    AddItem(lines, Heading(3, "Clock", a.clock), a.clock,
            {"millisecond clock: steps of " + Fixed(a.clockStepMs, 1) + " ms",
             "counter: " + Fixed(r.counterHz, 0) + " Hz, smallest step " +
                 (a.counterStepSeen ? "read " : "(none read back to back: its period) ") +
                 Fixed(a.counterStepMs * 1000, 3) + " \u00b5s",
             "backward steps: " + std::to_string(a.backwardSteps),
             "drift against " + r.referenceName + " over " + Fixed(a.driftSpanMs / 1000, 1) +
                 " s: millisecond clock " + Fixed(a.driftPpm, 0) + " ppm, counter " +
                 Fixed(a.counterDriftPpm, 1) + " ppm",
             "the system's timer (not the clock): a 1 ms sleep took " + Fixed(a.sleepMedianMs, 2) +
                 " ms, at most " + Fixed(a.sleepLargestMs, 2) + " ms"});
    double longestHold = 0;
    for (const Tap& tap : r.taps) longestHold = std::max(longestHold, tap.heldMs);
    AddItem(
        lines, Heading(4, "Keyboard", a.keyboard), a.keyboard,
        {r.keysTyped ? std::to_string(r.taps.size()) + " keys typed into the program's window, held 0 to " +
                           Fixed(longestHold, 0) + " ms; counted " + std::to_string(a.tapsCounted)
                     : "no keys typed: " + r.noTyping,
         "release to the look that saw it: median " + Fixed(a.seenMedianMs, 3) + " ms, largest " +
             Fixed(a.seenLargestMs, 3) + " ms",
         "processor used by the program (all its threads) while it waited for the keys: " +
             Fixed(a.processorPercent, 1) + " % of one",
         "not measured: the keyboard's own delay (scanning, USB polling)"});
    lines.push_back("");
    AddWrapped(
        lines,
        "Thresholds: a lock only from a backend that waits for the display's own retrace, in full screen, "
        "on a physical display, within 10 % of the nominal rate (23 to 360 Hz where none is reported); the "
        "SD of all intervals under 0.2 ms; a present over a period and 4 ms missed (over 5 %: not "
        "suitable); blank and wait within 5 ms (over 20 ms: not suitable); 1 ms clock steps, a counter "
        "under 0.1 ms, drift under 500 ppm (over 5000: not suitable); every typed key counted and seen "
        "within 1 ms (median) and 2 ms (largest; over 5 ms: not suitable).");
    return lines;
}

}  // namespace TimingCheck
