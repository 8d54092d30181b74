// The timing check's report and plot: plain text and a hand-written SVG, so
// that no library is needed to read or attach either.
#include <algorithm>
#include <cmath>
#include <cstdio>

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

}  // namespace

std::vector<std::string> Wrap(const std::string& text, size_t width) {
    std::vector<std::string> lines(1);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!lines.back().empty() && lines.back().size() + 1 + word.size() > width)
            lines.emplace_back();
        if (!lines.back().empty()) lines.back() += ' ';
        lines.back() += word;
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> ReportLines(const Recording& r, const Analysis& a,
                                     const ReportContext& context) {
    std::vector<std::string> lines = {
        "wordtap timing check, " + context.when,
        "",
        "Computer: " + context.computer,
        "Display:  " + context.display,
        "Presents: " + context.presents,
        "",
        std::string("Verdict: ") + VerdictName(a.overall.verdict),
    };
    for (const std::string& line : Wrap(a.overall.sentence, 77)) lines.push_back(line);

    const std::string nominal = r.nominalHz > 0 ? std::to_string(r.nominalHz) + " Hz (" +
                                                      Fixed(1000.0 / r.nominalHz, 3) + " ms)"
                                                : "unknown";
    AddItem(lines, Heading(1, "Retrace lock", a.retrace), a.retrace,
            {std::to_string(a.intervals) + " intervals between presents back to back: mean " +
                 Fixed(a.meanMs, 3) + " ms, SD " + Fixed(a.sdMs, 3) + " ms, largest " +
                 Fixed(a.largestMs, 3) + " ms",
             "commonest interval " + Fixed(a.periodMs, 3) + " ms; nominal refresh " + nominal,
             "on whole refresh periods (within 1 ms): " + Fixed(100 * a.onGridShare, 1) +
                 " %, spread of the one-period intervals " + Fixed(a.jitterSdMs, 3) + " ms",
             std::string("locked: ") + (a.locked ? "yes" : "no") + "; missed refreshes: " +
                 std::to_string(a.missed)});
    AddItem(lines, Heading(2, "The trial", a.trial) + " (" + std::to_string(r.trials.size()) + " times)",
            a.trial,
            {"400 ms blank: mean " + Fixed(a.blankMeanMs, 3) + " ms, at most " +
                 Fixed(a.blankLargestMs, 3) + " ms off",
             "word drawn in: mean " + Fixed(a.drawMeanMs, 3) + " ms",
             "100 ms wait: mean " + Fixed(a.waitMeanMs, 3) + " ms, at most " +
                 Fixed(a.waitLargestMs, 3) + " ms off",
             "present returned after: mean " + Fixed(a.presentMeanMs, 3) + " ms, largest " +
                 Fixed(a.presentLargestMs, 3) + " ms"});
    AddItem(lines, Heading(3, "Clock", a.clock), a.clock,
            {"millisecond clock: steps of " + Fixed(a.clockStepMs, 1) + " ms",
             "high-resolution counter: smallest step seen " + Fixed(a.counterStepMs * 1000, 3) +
                 " us",
             "backward steps: " + std::to_string(a.backwardSteps) + "; drift of the one against the other: " +
                 Fixed(a.driftPpm, 0) + " ppm"});
    AddItem(lines, Heading(4, "Keyboard wait", a.keyboard), a.keyboard,
            {"processor used while waiting: " + Fixed(a.processorPercent, 1) + " % of one",
             "keyboard read " + Fixed(a.looksPerSecond, 0) +
                 " times a second, largest gap " + Fixed(a.largestLookGapMs, 2) + " ms",
             std::string("the wait wakes when a key changes: ") + (r.waitWakesOnInput ? "yes" : "no")});
    lines.push_back("");
    lines.push_back("Thresholds: refresh spread under 1 ms and within 10 % of the mode over 300");
    lines.push_back("presents, missed refreshes up to 1 % (over 5 %: not suitable); blank and wait");
    lines.push_back("within 5 ms (over 20 ms: not suitable); 1 ms clock steps and drift under");
    lines.push_back("0.1 %; the keyboard read within 1 ms (over 5 ms: not suitable).");
    return lines;
}

std::vector<std::string> PlotSvg(const Recording& r, const Analysis& a) {
    constexpr int Left = 60, Right = 770, HistTop = 50, HistBottom = 250;
    constexpr int RowsTop = 330, Row = 7;
    std::vector<std::string> svg = {
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"" +
            std::to_string(RowsTop + Row * static_cast<int>(r.trials.size()) + 20) +
            "\" font-family=\"sans-serif\" font-size=\"12\">",
        "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>",
        "<text x=\"" + std::to_string(Left) + "\" y=\"30\" font-size=\"15\">Intervals between " +
            std::to_string(a.intervals) + " presents back to back (retrace lock: " +
            VerdictName(a.retrace.verdict) + ")</text>"};

    // The histogram reaches three refresh periods or the largest interval,
    // whichever is less (never past 100 ms), in 0.25 ms bins.
    const double period = r.nominalHz > 0 ? 1000.0 / r.nominalHz : a.periodMs;
    const double span = std::max(5.0, std::min({100.0, std::max(3 * period, a.largestMs + 1)}));
    const int bins = static_cast<int>(std::ceil(span / 0.25));
    std::vector<int> count(static_cast<size_t>(bins), 0);
    for (size_t i = 1; i < r.presentReturns.size(); ++i) {
        const int bin = static_cast<int>((r.presentReturns[i] - r.presentReturns[i - 1]) / 0.25);
        count[static_cast<size_t>(std::clamp(bin, 0, bins - 1))]++;
    }
    const int highest = std::max(1, *std::max_element(count.begin(), count.end()));
    const auto x = [&](double ms) { return Fixed(Left + (Right - Left) * ms / span, 1); };
    for (int b = 0; b < bins; ++b) {
        if (count[static_cast<size_t>(b)] == 0) continue;
        const double h = (HistBottom - HistTop) * count[static_cast<size_t>(b)] / double(highest);
        svg.push_back("<rect x=\"" + x(b * 0.25) + "\" y=\"" + Fixed(HistBottom - h, 1) +
                      "\" width=\"" + Fixed((Right - Left) * 0.25 / span, 2) + "\" height=\"" +
                      Fixed(h, 1) + "\" fill=\"#3465a4\"/>");
    }
    for (int k = 1; period > 0 && k * period <= span; ++k)
        svg.push_back("<line x1=\"" + x(k * period) + "\" x2=\"" + x(k * period) + "\" y1=\"" +
                      std::to_string(HistTop) + "\" y2=\"" + std::to_string(HistBottom) +
                      "\" stroke=\"#cc0000\" stroke-dasharray=\"4 3\"/>");
    if (period > 0)
        svg.push_back("<text x=\"" + x(period) + "\" y=\"" + std::to_string(HistTop - 5) +
                      "\" fill=\"#cc0000\">" + (r.nominalHz > 0 ? "refresh period " : "commonest interval ") +
                      Fixed(period, 2) + " ms</text>");
    const int step = span > 40 ? 10 : span > 15 ? 5 : 1;
    for (int ms = 0; ms <= span; ms += step)
        svg.push_back("<text x=\"" + x(ms) + "\" y=\"" + std::to_string(HistBottom + 16) +
                      "\" text-anchor=\"middle\">" + std::to_string(ms) + "</text>");
    svg.push_back("<text x=\"" + std::to_string(Right) + "\" y=\"" + std::to_string(HistBottom + 32) +
                  "\" text-anchor=\"end\">interval (ms); bar height: presents, the highest " +
                  std::to_string(highest) + "</text>");
    svg.push_back("<line x1=\"" + std::to_string(Left) + "\" x2=\"" + std::to_string(Right) +
                  "\" y1=\"" + std::to_string(HistBottom) + "\" y2=\"" + std::to_string(HistBottom) +
                  "\" stroke=\"black\"/>");

    // One row per trial: the blank, the drawing, the wait and the present.
    double longest = 1;
    for (const TrialTimes& t : r.trials) longest = std::max(longest, t.wordShown - t.whiteShown);
    const auto tx = [&](double ms) { return Fixed(Left + (Right - Left) * ms / longest, 2); };
    svg.push_back("<text x=\"" + std::to_string(Left) + "\" y=\"" + std::to_string(RowsTop - 25) +
                  "\" font-size=\"15\">Each trial from the white screen to the word shown (" +
                  Fixed(longest, 1) + " ms at the right)</text>");
    const char* const colours[] = {"#d3d7cf", "#3465a4", "#f57900", "#cc0000"};
    const char* const names[] = {"400 ms blank", "word drawn", "100 ms wait", "present"};
    for (int i = 0; i < 4; ++i)
        svg.push_back("<rect x=\"" + std::to_string(Left + 150 * i) + "\" y=\"" +
                      std::to_string(RowsTop - 17) + "\" width=\"10\" height=\"10\" fill=\"" +
                      colours[i] + "\"/><text x=\"" + std::to_string(Left + 150 * i + 14) +
                      "\" y=\"" + std::to_string(RowsTop - 8) + "\">" + names[i] + "</text>");
    for (size_t row = 0; row < r.trials.size(); ++row) {
        const TrialTimes& t = r.trials[row];
        const double edges[] = {t.whiteShown, t.blankEnd, t.wordDrawn, t.waitEnd, t.wordShown};
        const std::string y = std::to_string(RowsTop + Row * static_cast<int>(row));
        for (int i = 0; i < 4; ++i)
            svg.push_back("<rect x=\"" + tx(edges[i] - t.whiteShown) + "\" y=\"" + y +
                          "\" width=\"" + Fixed(std::max(0.5, (Right - Left) * (edges[i + 1] - edges[i]) / longest), 2) +
                          "\" height=\"" + std::to_string(Row - 1) + "\" fill=\"" + colours[i] + "\"/>");
    }
    svg.push_back("</svg>");
    return svg;
}

}  // namespace TimingCheck
