#!/usr/bin/env python3
"""End-to-end tests of the real wordtap under Xvfb with XTest key events.

    e2e.py CASE --wordtap PATH --xtool PATH --work DIR

Each case starts its own X server, runs wordtap in fresh folders under
DIR/CASE and leaves them (with a screenshot on failure) for inspection.
"""

import argparse
import os
import subprocess
import sys
import time
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import (KEY_ESC, KEY_O, KEY_RETURN, KEY_US_Z, KEY_W, SCREEN_H, SCREEN_W, Failure, Wordtap,
                      XServer, check, fresh_folder, settings_text, wait_for, write_data)

FULL = (0, 0, SCREEN_W, SCREEN_H)
INTRO_SLOTS = [1, 3, 5, 7, 8, 9, 11]  # of 11 lines; lines 2, 4, 6 and 10 are empty
FINAL_SLOTS = [1, 3, 5]  # of 5 lines


class Case:
    def __init__(self, args):
        self.args = args
        self.folder = fresh_folder(args.work, args.case)
        self.x = None
        self.runs = []

    def run(self, sub, settings=None, words=None, x=True):
        folder = fresh_folder(self.folder, sub)
        write_data(folder, settings, words)
        env = self.x.env if x else {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        self.runs.append(Wordtap(self.args.wordtap, folder, env))
        return self.runs[-1]

    def text(self, slots, lines, rect=FULL, what="text"):
        """Waits for a text screen and checks its layout: bands of ink on a
        regular line grid at `slots` (empty lines keep their place), each line
        centred on its own, the block centred vertically."""
        bands = self.x.wait_bands(len(slots), rect, what=what)
        centres = [(b[0] + b[1]) / 2 for b in bands]
        n = len(slots)
        mean_s, mean_c = sum(slots) / n, sum(centres) / n  # least squares: centre = a + step * slot
        step = (sum((s - mean_s) * (c - mean_c) for s, c in zip(slots, centres))
                / sum((s - mean_s) ** 2 for s in slots))
        a = mean_c - step * mean_s
        check(step > max(b[1] - b[0] + 1 for b in bands) * 0.9, "%s: line step %.1f px" % (what, step))
        for slot, centre, band in zip(slots, centres, bands):
            check(abs(centre - (a + step * slot)) <= max(3.0, step * 0.12),
                  "%s: line %d at y %.1f is off the %.1f px grid" % (what, slot, centre, step))
            check(abs((band[2] + band[3] + 1) / 2 - (rect[0] + rect[2] / 2)) <= 4,
                  "%s: line %d is not centred: %r" % (what, slot, band))
        check(abs(a + step * (lines + 1) / 2 - (rect[1] + rect[3] / 2)) <= step * 0.5,
              "%s: the block is not centred vertically" % what)
        return bands

    def answer(self, keys, rect=FULL):
        """Waits for each word (white screen, then ink) and answers it; returns
        the bounding boxes of the words seen."""
        boxes = []
        for code in keys:
            self.x.wait_white(rect)
            self.x.wait_ink(rect)
            bbox, bands = self.x.ink(rect)
            check(len(bands) == 1, "a word shows %d bands of ink" % len(bands))
            boxes.append(bbox)
            self.x.tap(code)
        return boxes

    def ended(self, run, rows, what):
        """Exit code 0 and exactly these (key, word) answers, in plausible times."""
        check(run.wait() == 0, "%s: exit code %r" % (what, run.proc.returncode))
        got = run.results()
        check([(key, word) for _, key, word in got] == rows, "%s: results %r" % (what, got))
        check(all(0.02 <= seconds < 30 for seconds, _, _ in got), "%s: reaction times %r" % (what, got))


def case_first_run_fullscreen(case):
    """A first run: the default files, full screen over the whole 1024 x 768
    desktop, the introduction's 11 lines, four words answered W O W O, W and O
    ignored on the final screen, Esc, exit 0."""
    case.x = XServer(case.args.xtool, case.folder)
    run = case.run("run")
    case.text(INTRO_SLOTS, 11, what="the introduction")
    check(case.x.geometry("wordtap") == FULL, "full-screen window at %r" % (case.x.geometry("wordtap"),))
    data = os.path.join(run.folder, "data")
    expected = {"settings.ini": settings_text(), "words/example.txt": "your\r\nwords\r\ngo\r\nhere\r\n"}
    for name, text in expected.items():
        with open(os.path.join(data, name), "rb") as f:
            check(f.read() == text.encode(), "%s as first written" % name)
    sizes = [os.path.getsize(os.path.join(data, name)) for name in ("introduction.txt", "finalscreen.txt")]
    check(sizes == [251, 68], "default text sizes %r" % sizes)

    case.x.tap(KEY_W)
    case.answer([KEY_W, KEY_O, KEY_W, KEY_O])
    final = case.text(FINAL_SLOTS, 5, what="the final screen")
    check(sorted(w for _, _, w in run.results()) == ["go", "here", "words", "your"], "the example words")
    case.x.tap(KEY_W)
    case.x.tap(KEY_O)
    time.sleep(0.3)
    check(run.running() and case.x.ink()[1] == final, "W or O changed the final screen")
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "exit code %r" % run.proc.returncode)
    check([k for _, k, _ in run.results()] == ["W", "O", "W", "O"], "keys logged: %r" % run.results())


def case_escape(case):
    """Esc at the introduction, in the second trial and on the final screen:
    the results hold exactly the trials answered before. The last run's words
    are of symmetric glyphs, each centred to within a pixel."""
    case.x = XServer(case.args.xtool, case.folder)
    settings = settings_text(randomize=0)
    run = case.run("intro", settings, ["alpha"])
    case.text(INTRO_SLOTS, 11, what="the introduction")
    wait_for(run.results_path, 10, "the results file")
    case.x.tap(KEY_ESC)
    case.ended(run, [], "Esc at the introduction")

    run = case.run("trial", settings, ["alpha", "beta", "gamma"])
    case.x.wait_bands(len(INTRO_SLOTS))
    case.x.tap(KEY_W)
    case.answer([KEY_O])
    case.x.wait_white()
    case.x.wait_ink()
    case.x.tap(KEY_ESC)
    case.ended(run, [("O", "alpha")], "Esc in the second trial")

    words = ["HOH", "III", "HIH"]
    run = case.run("final", settings, words)
    case.x.wait_bands(len(INTRO_SLOTS))
    case.x.tap(KEY_O)
    for word, (x0, y0, x1, y1) in zip(words, case.answer([KEY_W, KEY_W, KEY_O])):
        mid_x, mid_y = (x0 + x1 + 1) / 2, (y0 + y1 + 1) / 2
        check(abs(mid_x - SCREEN_W / 2) <= 1.0, "%s: ink centre x %.1f" % (word, mid_x))
        # The cell is centred, not the ink: capitals sit a little above the middle.
        check(abs(mid_y - SCREEN_H / 2) <= y1 - y0 + 1, "%s: ink centre y %.1f" % (word, mid_y))
    case.text(FINAL_SLOTS, 5, what="the final screen")
    case.x.tap(KEY_ESC)
    case.ended(run, list(zip(["W", "W", "O"], words)), "Esc on the final screen")


def case_windowed(case):
    """Fullscreen = 0: a window whose client area is 800 x 600 (xwininfo),
    the texts and words centred in it; keys typed while another window has
    the focus do not count; closing the window in a trial ends the run with
    exit 0 and keeps the earlier answer."""
    case.x = XServer(case.args.xtool, case.folder)
    run = case.run("run", settings_text(fullscreen=0, randomize=0), ["focus", "close", "never"])
    rect = case.x.geometry("wordtap")
    info = subprocess.run(["xwininfo", "-name", "wordtap"], env=case.x.env, capture_output=True, text=True)
    check("Width: 800" in info.stdout and "Height: 600" in info.stdout, "xwininfo:\n" + info.stdout + info.stderr)
    check(rect[2:] == (800, 600), "client area %r" % (rect,))
    case.text(INTRO_SLOTS, 11, rect, "the introduction in the window")
    case.x.tap(KEY_W)
    case.x.wait_white(rect)
    case.x.wait_ink(rect)
    shown = case.x.ink(rect)
    check(abs((shown[0][0] + shown[0][2] + 1) / 2 - (rect[0] + 400)) <= 6, "word not centred: %r" % (shown,))

    thief = subprocess.Popen([case.args.xtool, "steal", "thief"], env=case.x.env, stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, text=True)
    try:
        check(thief.stdout.readline().strip() == "ready", "the focus thief did not start")
        for code in (KEY_W, KEY_O, KEY_ESC):
            case.x.tap(code)
        time.sleep(0.5)
        check(run.running() and case.x.ink(rect) == shown, "a key typed into another window counted")
    finally:
        thief.stdin.close()
        thief.wait(10)
    case.x.xt("focus", "wordtap")
    case.x.tap(KEY_O)
    case.x.wait_white(rect)
    case.x.wait_ink(rect)
    case.x.xt("close", "wordtap")
    case.ended(run, [("O", "focus")], "window closed in a trial")


def case_french_layout(case):
    """On a French layout the key at W's position (types "z") answers W and
    the key that types "w" (US Z's position) does not answer."""
    case.x = XServer(case.args.xtool, case.folder)
    layout = subprocess.run(["setxkbmap", "-display", case.x.display, "-layout", "fr"], capture_output=True,
                            text=True)
    check(layout.returncode == 0, "setxkbmap failed: " + layout.stderr)
    run = case.run("run", settings_text(randomize=0), ["un", "deux"])
    case.x.wait_bands(len(INTRO_SLOTS))
    case.x.tap(KEY_W)
    case.x.wait_white()
    case.x.wait_ink()
    shown = case.x.ink()
    case.x.tap(KEY_US_Z)
    time.sleep(0.3)
    check(case.x.ink() == shown and run.running(), "the key typing w answered")
    case.x.tap(KEY_W)
    case.answer([KEY_O])
    case.x.wait_bands(len(FINAL_SLOTS))
    case.x.tap(KEY_ESC)
    case.ended(run, [("W", "un"), ("O", "deux")], "French layout")


def case_display_errors(case):
    """Full screen at 800 x 600, a mode this Xvfb does not offer: Error81 on
    stderr and in a box that waits until Return dismisses it. Without
    DISPLAY: Error73, no wait. Both end with exit 0 and no results file."""
    case.x = XServer(case.args.xtool, case.folder)
    run = case.run("mode", settings_text(fullscreen=1, native=0))
    message = "Error81: Couldn't initialize display!"
    wait_for(lambda: message in run.stderr() or not run.running(), 15, "the error message")
    check(message in run.stderr() and run.running(), "stderr %r, running %s" % (run.stderr(), run.running()))
    case.x.xt("focus", "wordtap", timeout_ms=15000)
    case.x.tap(KEY_RETURN)
    check(run.wait() == 0 and run.results_path() is None, "exit code %r" % run.proc.returncode)

    run = case.run("no-display", x=False)
    check(run.wait(30) == 0, "no DISPLAY: exit code %r" % run.proc.returncode)
    check("Error73: Couldn't initialize display!" in run.stderr(), "stderr: %r" % run.stderr())
    check(os.path.exists(os.path.join(run.folder, "data", "settings.ini")), "settings.ini missing")
    check(run.results_path() is None, "a results file was created")


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    for option in ("--wordtap", "--xtool", "--work"):
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
