// The timing check's plot: a hand-written SVG, so that no library is needed
// to draw or to read it. The intervals between presents as a histogram with
// a count axis and in order, missed presents marked, and the trials on a
// millisecond axis.
#include <algorithm>
#include <cmath>

#include "app/check/analysis.h"

namespace TimingCheck {
namespace {

constexpr int Left = 70, Right = 770, Width = Right - Left;

std::string N(double value) { return Fixed(value, 1); }

std::string Line(double x1, double y1, double x2, double y2, const std::string& style) {
    return "<line x1=\"" + N(x1) + "\" y1=\"" + N(y1) + "\" x2=\"" + N(x2) + "\" y2=\"" + N(y2) + "\" " +
           style + "/>";
}

std::string Text(double x, double y, const std::string& text, const std::string& style = "") {
    return "<text x=\"" + N(x) + "\" y=\"" + N(y) + "\"" + (style.empty() ? "" : " " + style) + ">" + text +
           "</text>";
}

const std::string Dashed = "stroke=\"#cc0000\" stroke-dasharray=\"4 3\"";
const std::string Axis = "stroke=\"black\"";
const std::string Grid = "stroke=\"#d3d7cf\"";

// Ticks at a round step that gives about `count` of them up to `span`.
double TickStep(double span, int count) {
    for (double step : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0})
        if (span / step <= count) return step;
    return 500;
}

std::vector<double> Intervals(const Recording& r) {
    std::vector<double> intervals;
    for (size_t i = 1; i < r.presentReturns.size(); ++i)
        intervals.push_back(r.presentReturns[i] - r.presentReturns[i - 1]);
    return intervals;
}

void Histogram(std::vector<std::string>& svg, const Recording& r, const Analysis& a, double top,
               double bottom) {
    const std::vector<double> intervals = Intervals(r);
    const double span = std::max(5.0, std::min({100.0, std::max(3 * a.periodMs, a.largestMs + 1)}));
    const int bins = static_cast<int>(std::ceil(span / 0.25));
    std::vector<int> count(static_cast<size_t>(bins), 0);
    for (double d : intervals)
        count[static_cast<size_t>(std::clamp(static_cast<int>(d / 0.25), 0, bins - 1))]++;
    const int highest = std::max(1, *std::max_element(count.begin(), count.end()));
    // A count axis in logarithms: a single stall stands out beside 300.
    const auto y = [&](double c) {
        return bottom - (bottom - top) * std::log10(1 + c) / std::log10(1 + highest);
    };
    const auto x = [&](double ms) { return Left + Width * ms / span; };
    svg.push_back(Text(Left, top - 20,
                       "Intervals between " + std::to_string(a.intervals) +
                           " presents back to back (retrace lock: " + VerdictName(a.retrace.verdict) + ")",
                       "font-size=\"15\""));
    for (int c = 1; c <= highest; c = c * 10 > highest && c < highest ? highest : c * 10) {
        svg.push_back(Line(Left, y(c), Right, y(c), Grid));
        svg.push_back(Text(Left - 6, y(c) + 4, std::to_string(c), "text-anchor=\"end\""));
    }
    for (int b = 0; b < bins; ++b) {
        if (count[static_cast<size_t>(b)] == 0) continue;
        const double barTop = y(count[static_cast<size_t>(b)]);
        svg.push_back("<rect x=\"" + N(x(b * 0.25)) + "\" y=\"" + N(barTop) + "\" width=\"" +
                      Fixed(std::max(1.0, Width * 0.25 / span), 2) + "\" height=\"" + N(bottom - barTop) +
                      "\" fill=\"" + (b * 0.25 > a.periodMs + 4 ? "#cc0000" : "#3465a4") + "\"/>");
    }
    if (a.largestMs >= span)
        svg.push_back(
            Text(Right, top - 4, "last bar: " + Fixed(span, 0) + " ms and longer", "text-anchor=\"end\""));
    // Only a refresh the display reports is drawn as one.
    if (r.nominalHz > 0) {
        svg.push_back(Line(x(a.periodMs), top, x(a.periodMs), bottom, Dashed));
        svg.push_back(Text(
            x(a.periodMs) + 4, top + 12,
            "refresh period " + Fixed(a.periodMs, 2) + " ms (" + std::to_string(r.nominalHz) + " Hz nominal)",
            "fill=\"#cc0000\""));
    }
    svg.push_back(Line(x(a.periodMs + 4), top, x(a.periodMs + 4), bottom,
                       "stroke=\"#f57900\" stroke-dasharray=\"2 2\""));
    const double step = TickStep(span, 10);
    for (double ms = 0; ms <= span; ms += step)
        svg.push_back(Text(x(ms), bottom + 16, Fixed(ms, step < 1 ? 1 : 0), "text-anchor=\"middle\""));
    svg.push_back(Line(Left, bottom, Right, bottom, Axis));
    svg.push_back(Line(Left, top, Left, bottom, Axis));
    svg.push_back(Text(Right, bottom + 32,
                       "interval (ms); presents per 0.25 ms, logarithmic; red: missed (beyond the "
                       "dotted line, a period and 4 ms)",
                       "text-anchor=\"end\""));
}

void InOrder(std::vector<std::string>& svg, const Recording& r, const Analysis& a, double top,
             double bottom) {
    const std::vector<double> intervals = Intervals(r);
    const double most = std::max(2 * a.periodMs, std::min(a.largestMs, 100.0));
    const double step = TickStep(most, 6);
    const double span = std::ceil(most / step) * step;
    const auto y = [&](double ms) { return bottom - (bottom - top) * std::min(ms, span) / span; };
    const auto x = [&](size_t i) { return Left + Width * (i + 0.5) / std::max<size_t>(1, intervals.size()); };
    svg.push_back(
        Text(Left, top - 20, "The same intervals in the order of the presents", "font-size=\"15\""));
    for (double ms = 0; ms <= span; ms += step) {
        svg.push_back(Line(Left, y(ms), Right, y(ms), Grid));
        svg.push_back(Text(Left - 6, y(ms) + 4, Fixed(ms, step < 1 ? 1 : 0), "text-anchor=\"end\""));
    }
    if (r.nominalHz > 0) svg.push_back(Line(Left, y(a.periodMs), Right, y(a.periodMs), Dashed));
    std::string points;
    for (size_t i = 0; i < intervals.size(); ++i) points += N(x(i)) + "," + N(y(intervals[i])) + " ";
    svg.push_back("<polyline fill=\"none\" stroke=\"#3465a4\" points=\"" + points + "\"/>");
    for (size_t i = 0; i < intervals.size(); ++i)
        if (intervals[i] > a.periodMs + 4)
            svg.push_back("<circle cx=\"" + N(x(i)) + "\" cy=\"" + N(y(intervals[i])) +
                          "\" r=\"3.5\" fill=\"none\" stroke=\"#cc0000\"/>");
    for (size_t i = 0; i <= intervals.size(); i += 50)
        svg.push_back(Text(x(i) - 0.5 * Width / std::max<size_t>(1, intervals.size()), bottom + 16,
                           std::to_string(i), "text-anchor=\"middle\""));
    svg.push_back(Line(Left, bottom, Right, bottom, Axis));
    svg.push_back(Line(Left, top, Left, bottom, Axis));
    svg.push_back(Text(Right, bottom + 32,
                       "present; interval (ms), longer ones at the top; circled: missed" +
                           std::string(r.nominalHz > 0 ? "; dashed: the refresh period" : ""),
                       "text-anchor=\"end\""));
}

void TrialRows(std::vector<std::string>& svg, const Recording& r, double top, int row) {
    double longest = 1;
    for (const TrialTimes& t : r.trials) longest = std::max(longest, t.wordShown - t.whiteShown);
    const double step = TickStep(longest, 12);
    const double span = std::ceil(longest / step) * step;
    const auto x = [&](double ms) { return Left + Width * ms / span; };
    const double bottom = top + row * static_cast<double>(r.trials.size());
    svg.push_back(
        Text(Left, top - 40, "Each trial from the white screen to the word shown", "font-size=\"15\""));
    const char* const colours[] = {"#d3d7cf", "#3465a4", "#f57900", "#cc0000"};
    const char* const names[] = {"400 ms blank", "word drawn", "100 ms wait", "present"};
    for (int i = 0; i < 4; ++i)
        svg.push_back("<rect x=\"" + std::to_string(Left + 150 * i) + "\" y=\"" + N(top - 27) +
                      "\" width=\"10\" height=\"10\" fill=\"" + colours[i] + "\"/>" +
                      Text(Left + 150 * i + 14, top - 18, names[i]));
    for (double ms = 0; ms <= span; ms += step) {
        svg.push_back(Line(x(ms), top - 4, x(ms), bottom + 4, Grid));
        svg.push_back(Text(x(ms), bottom + 18, Fixed(ms, 0), "text-anchor=\"middle\""));
    }
    for (size_t i = 0; i < r.trials.size(); ++i) {
        const TrialTimes& t = r.trials[i];
        const double edges[] = {t.whiteShown, t.blankEnd, t.wordDrawn, t.waitEnd, t.wordShown};
        for (int k = 0; k < 4; ++k)
            svg.push_back("<rect x=\"" + Fixed(x(edges[k] - t.whiteShown), 2) + "\" y=\"" +
                          N(top + row * static_cast<double>(i)) + "\" width=\"" +
                          Fixed(std::max(0.5, Width * (edges[k + 1] - edges[k]) / span), 2) + "\" height=\"" +
                          std::to_string(row - 1) + "\" fill=\"" + colours[k] + "\"/>");
    }
    svg.push_back(
        Text(Right, bottom + 34, "ms from the white screen; one row per trial", "text-anchor=\"end\""));
}

}  // namespace

std::vector<std::string> PlotSvg(const Recording& r, const Analysis& a) {
    constexpr int Row = 7, TrialsTop = 660;
    const int height = TrialsTop + Row * static_cast<int>(r.trials.size()) + 50;
    std::vector<std::string> svg = {"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"" +
                                        std::to_string(height) +
                                        "\" font-family=\"sans-serif\" font-size=\"12\">",
                                    "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>"};
    Histogram(svg, r, a, 60, 250);
    InOrder(svg, r, a, 350, 560);
    TrialRows(svg, r, TrialsTop, Row);
    svg.push_back("</svg>");
    return svg;
}

}  // namespace TimingCheck
