#!/usr/bin/env python3
"""End-to-end tests of the real wordtap under Xvfb with XTest key events:
e2e.py CASE --wordtap PATH --work DIR. Each case runs its own X server and
leaves its runs' folders (and a screenshot on failure) under DIR/CASE."""

import argparse
import os
import re
import signal
import subprocess
import sys
import time
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import (FULL, KEY_ESC, KEY_O, KEY_RETURN, KEY_US_Z, KEY_W, SCREEN_H, SCREEN_W, Failure, Wordtap,
                      XServer, check, fresh_folder, settings_text, wait_for, write_data)

INTRO_SLOTS = [1, 3, 5, 7, 8, 9, 11]  # of 11 lines; lines 2, 4, 6 and 10 are empty
FINAL_SLOTS = [1, 3, 5]  # of 5 lines


class Case:
    def __init__(self, args):
        self.args = args
        self.folder = fresh_folder(args.work, args.case)
        self.x = None
        self.runs = []
        self.count_syncs = True  # the results file's syncs, through strace

    def server(self):
        self.x = XServer(log_dir=self.folder)
        return self.x

    def run(self, sub, settings=None, words=None, x=True, setup=None, wrapper=(), args=()):
        """wordtap in a fresh folder; setup(folder) runs before it starts, wrapper is a command before it."""
        folder = fresh_folder(self.folder, sub)
        write_data(folder, settings, words)
        if setup:
            setup(folder)
        env = self.x.env if x else {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        self.runs.append(Wordtap(self.args.wordtap, folder, env, wrapper, args))
        return self.runs[-1]

    def text(self, slots, lines, rect=FULL, what="text"):
        """Waits for a text screen: lines on a regular grid at `slots` of `lines` (empty lines keep their
        place; the first and last are not empty), each centred on its own, the block centred vertically."""
        bands = self.x.wait_bands(len(slots), rect, what=what)
        centres = [(b[0] + b[1]) / 2 for b in bands]
        step = (centres[-1] - centres[0]) / (slots[-1] - slots[0])
        check(step > max(b[1] - b[0] + 1 for b in bands) * 0.9, "%s: line step %.1f px" % (what, step))
        for slot, centre, band in zip(slots, centres, bands):
            check(abs(centre - centres[0] - step * (slot - slots[0])) <= max(3.0, step * 0.12),
                  "%s: line %d at y %.1f is off the %.1f px grid" % (what, slot, centre, step))
            check(abs((band[2] + band[3] + 1) / 2 - (rect[0] + rect[2] / 2)) <= 4,
                  "%s: line %d is not centred: %r" % (what, slot, band))
        middle = centres[0] + step * ((lines + 1) / 2 - slots[0])
        check(abs(middle - (rect[1] + rect[3] / 2)) <= step * 0.5, "%s: the block is not centred vertically" % what)
        return bands

    def word(self, rect=FULL):
        """Waits for the next word (a white screen, then ink); its bounding box."""
        self.x.wait_white(rect)
        self.x.wait_ink(rect)
        bbox, bands = self.x.ink(rect)
        check(len(bands) == 1, "a word shows %d bands of ink" % len(bands))
        return bbox

    def answer(self, keys, rect=FULL):
        for code in keys:
            self.word(rect)
            self.x.tap(code)

    def dismiss_box(self, run):
        """Focus and Return until the box is gone: a mapped box may not read its keys yet."""
        def gone():
            for box in self.x.windows("wordtap")[-1:]:
                self.x.focus(box)
                self.x.tap(KEY_RETURN)
            time.sleep(0.2)
            return not run.running()
        wait_for(gone, 15, "the error box to be dismissed")

    def ended(self, run, rows, what):
        """Exit code 0 and exactly these (key, word) answers, in plausible times."""
        check(run.wait() == 0, "%s: exit code %r" % (what, run.proc.returncode))
        got = run.results()
        check([(key, word) for _, key, word in got] == rows, "%s: results %r" % (what, got))
        check(all(0.02 <= seconds < 30 for seconds, _, _ in got), "%s: reaction times %r" % (what, got))


def case_first_run_fullscreen(case):
    """A first run: full screen over the desktop, the four example words answered W O W O, Esc; the results
    file synced to the disk once per line (header included), as strace sees it."""
    case.server()
    syncs = os.path.join(case.folder, "syncs.txt")
    strace = ["strace", "-f", "--seccomp-bpf", "-y", "-e", "trace=fsync,fdatasync", "-o", syncs]
    run = case.run("run", wrapper=strace if case.count_syncs else ())
    case.text(INTRO_SLOTS, 11, what="the introduction")
    check(case.x.geometry("wordtap") == FULL, "full-screen window at %r" % (case.x.geometry("wordtap"),))
    case.x.tap(KEY_W)
    case.answer([KEY_W, KEY_O, KEY_W, KEY_O])
    case.text(FINAL_SLOTS, 5, what="the final screen")
    case.x.tap(KEY_ESC)
    case.ended(run, list(zip("WOWO", [w for _, _, w in run.results()])), "first run")
    check(sorted(w for _, _, w in run.results()) == ["go", "here", "words", "your"], "the example words")
    if case.count_syncs:
        calls = re.findall(r"sync\(\d+<[^>]*/results_[^>]*>\) = 0", open(syncs).read())
        check(len(calls) == 5, "results file synced %d times, not once per line" % len(calls))



def case_taps_in_one_request(case):
    """W and then O, each pressed and released in one request while a word is up, answer that word and
    no other; Esc so sent ends the run."""
    case.server()
    run = case.run("run", settings_text(randomize=0), ["one", "two", "three"])
    case.x.wait_bands(len(INTRO_SLOTS))
    case.x.tap(KEY_W)
    for code in (KEY_W, KEY_O):
        case.word()
        time.sleep(0.1)
        case.x.tap(code, hold_ms=0)
        case.x.wait_white(timeout=3)
    case.word()
    case.x.tap(KEY_ESC, hold_ms=0)
    case.ended(run, [("W", "one"), ("O", "two")], "taps in one request")


def case_windowed(case):
    """Fullscreen = 0 on a French layout: an 800 x 600 client area with texts and words (of symmetric glyphs)
    centred in it; keys count by position and only while the window has the focus; its close box quits."""
    case.server()
    layout = subprocess.run(["setxkbmap", "-display", case.x.display, "-layout", "fr"], capture_output=True, text=True)
    check(layout.returncode == 0, "setxkbmap failed: " + layout.stderr)
    run = case.run("run", settings_text(fullscreen=0, randomize=0), ["HOH", "III", "never"])
    rect = case.x.geometry("wordtap")
    check(rect[2:] == (800, 600), "client area %r" % (rect,))
    case.text(INTRO_SLOTS, 11, rect, "the introduction in the window")
    case.x.tap(KEY_W)
    boxes = {"HOH": case.word(rect)}
    shown, thief = case.x.ink(rect), case.x.thief()
    for code in (KEY_W, KEY_O, KEY_ESC):
        case.x.tap(code)
    thief.destroy()
    case.x.focus(case.x.window("wordtap"))
    case.x.tap(KEY_US_Z)
    time.sleep(0.5)
    check(run.running() and case.x.ink(rect) == shown, "a key typed into another window, or the key typing w, counted")
    case.x.tap(KEY_W)
    boxes["III"] = case.word(rect)
    for word, (x0, y0, x1, y1) in boxes.items():
        check(abs((x0 + x1 + 1) / 2 - (rect[0] + 400)) <= 1.0, "%s: ink from x %d to %d" % (word, x0, x1))
        # The cell is centred, not the ink: capitals sit a little above the middle.
        check(abs((y0 + y1 + 1) / 2 - (rect[1] + 300)) <= y1 - y0 + 1, "%s: ink from y %d to %d" % (word, y0, y1))
    case.x.close("wordtap")
    case.ended(run, [("W", "HOH")], "window closed in a trial")


def case_display_errors(case):
    """A mode this Xvfb lacks (Error81) and a failure over the open full screen (Error124): a box alone on the
    screen until Return. Without DISPLAY: Error73 on standard error. Each: exit 0, no results file."""
    case.server()

    def dangling(folder):
        os.symlink("nowhere/introduction.txt", os.path.join(folder, "data", "introduction.txt"))
    for sub, settings, setup, message in (("mode", settings_text(native=0), None, "Error81: Couldn't initialize display!"),
                                          ("intro", settings_text(), dangling, "Error124: assertion failed!")):
        run = case.run(sub, settings, setup=setup)
        wait_for(lambda: message in run.stderr() or not run.running(), 15, message)
        check(run.running(), "%s: ended without waiting for the box: %r" % (sub, run.stderr()))
        wait_for(lambda: [w for w in case.x.windows("wordtap") if w.get_geometry().width < SCREEN_W], 15, "the box")
        check(len(case.x.windows("wordtap")) == 1, "%s: the box shares the screen with another window" % sub)
        case.dismiss_box(run)
        check(run.wait() == 0 and run.results_path() is None, "%s: exit code %r" % (sub, run.proc.returncode))

    run = case.run("no-display", x=False)
    check(run.wait(30) == 0, "no DISPLAY: exit code %r" % run.proc.returncode)
    check("Error73: Couldn't initialize display!" in run.stderr(), "stderr: %r" % run.stderr())
    check(os.path.exists(os.path.join(run.folder, "data", "settings.ini")), "settings.ini missing")
    check(run.results_path() is None, "a results file was created")


def case_signal_in_error_box(case):
    """A plain file named data: the Error285 box waits for its answer, but a
    termination signal ends the run at once with exit 0 and takes the box
    with it."""
    case.server()

    def data_as_file(folder):
        with open(os.path.join(folder, "data"), "w") as f:
            f.write("not a folder")
    run = case.run("box", setup=data_as_file)
    wait_for(lambda: case.x.windows("wordtap"), 15, "the Error285 box")
    check("Error285: assertion failed!" in run.stderr(), "stderr: %r" % run.stderr())
    run.proc.send_signal(signal.SIGTERM)
    check(run.wait(5) == 0, "exit code %r" % run.proc.returncode)
    wait_for(lambda: not case.x.windows("wordtap"), 5, "the box to go")


def case_utf8(case):
    """The same words saved as UTF-8 (with a byte-order mark) and as
    Windows-1252 are drawn pixel for pixel alike, and each word keeps its
    bytes, without the mark, in the results."""
    case.server()
    words = ["na\u00efve caf\u00e9", "Stra\u00dfe 5 \u20ac"]
    lists = {"a.txt": b"\xef\xbb\xbf" + "\r\n".join(words).encode("utf-8"), "b.txt": "\r\n".join(words).encode("cp1252")}

    def setup(folder):
        for name, data in lists.items():
            with open(os.path.join(folder, "data", "words", name), "wb") as f:
                f.write(data)
    run = case.run("run", settings_text(randomize=0), [], setup=setup)
    case.x.wait_bands(len(INTRO_SLOTS))
    case.x.tap(KEY_W)
    shown = []
    for _ in range(2 * len(words)):
        case.word()
        shown.append(case.x.grab()[0])
        case.x.tap(KEY_W)
    for i, word in enumerate(words):
        check(shown[i] == shown[i + len(words)], "%r: UTF-8 and Windows-1252 drawn differently" % word)
    case.x.wait_bands(len(FINAL_SLOTS))
    case.x.tap(KEY_ESC)
    logged = [w.encode(encoding).decode("latin-1") for encoding in ("utf-8", "cp1252") for w in words]
    case.ended(run, [("W", w) for w in logged], "UTF-8 and Windows-1252 lists")


def case_timing_check(case):
    """wordtap --check without a data folder: it runs, writes its report and plot and nothing else, never
    says good or a verified lock on this virtual display, draws its result screen in UTF-8 (the report's
    display line, with its "\u00d7", as wide as HarfBuzz draws it in the same face and size, within 5 px;
    read as the legacy code page, "\u00c3\u2014" adds an em), and Esc at the result screen ends it."""
    case.server()
    run = case.run("check", args=["--check"])
    report = lambda: [f for f in os.listdir(run.folder) if f.startswith("timingcheck_")]
    wait_for(lambda: len(report()) == 2 or not run.running(), 120, "the report and the plot")
    bands = wait_for(lambda: (lambda found: len(found) > 8 and found)(case.x.ink()[1]), 10, "the result screen")
    names = sorted(report())
    text = open(os.path.join(run.folder, names[1]), encoding="utf-8").read()
    display = text.splitlines()[1]
    width, shown = drawn_width(display, (SCREEN_H // 60 * 96 + 36) // 72, case.folder), bands[1][3] - bands[1][2] + 1
    check(abs(shown - width) <= 5, "%r is %d px wide on the result screen, %d as HarfBuzz draws it" % (display, shown, width))
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "exit code %r" % run.proc.returncode)
    check(sorted(os.listdir(run.folder)) == sorted(names + ["wordtap.stderr"]), "files: %r" % os.listdir(run.folder))
    check("Verdict: good" not in text and "verified by the intervals: no" in text, "the report:\n" + text)
    check(open(os.path.join(run.folder, names[0])).read().rstrip().endswith("</svg>"), "the plot is cut short")
    return text


def drawn_width(text, px, folder):
    """The ink width of `text` as HarfBuzz draws it at `px` pixels in the face that stands in for Calibri."""
    from PIL import Image
    font = subprocess.run(["fc-match", "-f", "%{file}", "Calibri"], capture_output=True, text=True).stdout
    png = os.path.join(folder, "hb-view.png")
    subprocess.run(["hb-view", "--font-size=%d" % px, "-O", "png", "-o", png, font, text], check=True)
    grey = Image.open(png).convert("L")
    inked = [x for x in range(grey.width) if min(grey.crop((x, 0, x + 1, grey.height)).getdata()) < 255]
    return inked[-1] - inked[0] + 1


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    for option in ("--wordtap", "--work"):
        parser.add_argument(option, required=True, type=os.path.abspath)
    args = parser.parse_args()
    case = Case(args)
    try:
        CASES[args.case](case)
    except Exception as e:
        if case.x and case.x.proc.poll() is None:
            case.x.screenshot(os.path.join(case.folder, "failure.ppm"))
        print("FAIL %s: %s" % (args.case, e) if isinstance(e, Failure) else traceback.format_exc())
        for run in case.runs:
            print("--- stderr of wordtap in %s:\n%s" % (run.folder, run.stderr()[-3000:]))
        return 1
    finally:
        for run in case.runs:
            run.kill()
        if case.x:
            case.x.stop()
    print("PASS %s" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
