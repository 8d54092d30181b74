#!/usr/bin/env python3
"""End-to-end tests of the real wordtap under Xvfb with XTest key events.

    e2e.py CASE --wordtap PATH --xtool PATH --work DIR

Each case starts its own X server, runs wordtap in a fresh folder under
DIR/CASE and leaves that folder (with screenshots on failure) for inspection.
"""

import argparse
import os
import subprocess
import sys
import time
import traceback

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xsession import (EXAMPLE_BYTES, EXAMPLE_WORDS, FINAL_BYTES, INTRO_BYTES, KEY_ESC, KEY_O,
                      KEY_RETURN, KEY_US_Z, KEY_W, SCREEN_H, SCREEN_W, Failure, Wordtap, XServer,
                      check, fresh_folder, parse_results, settings_text, wait_for, write_file)

FULL = (0, 0, SCREEN_W, SCREEN_H)
INTRO_LINES = 11
INTRO_TEXT_SLOTS = [1, 3, 5, 7, 8, 9, 11]  # lines 2, 4, 6 and 10 are empty
FINAL_TEXT_SLOTS = [1, 3, 5]

DEFAULT_SETTINGS = (b"[Screen]\r\nWidth = 800\r\nHeight = 600\r\nFullscreen = 1\r\n"
                    b"UseNativeResolution = 1\r\n\r\n[Words]\r\nRandomizeOrder = 1\r\n")


class Case:
    """What every case has: an X server, a work folder, the binaries."""

    def __init__(self, args, name):
        self.args = args
        self.folder = fresh_folder(args.work, name)
        self.x = None
        self.runs = []
        self.shots = 0

    def start_x(self):
        self.x = XServer(self.args.xtool, log_dir=self.folder)
        return self.x

    def run(self, sub="", env=None, x=True):
        folder = os.path.join(self.folder, sub) if sub else self.folder
        os.makedirs(folder, exist_ok=True)
        base_env = self.x.env if x else {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        run = Wordtap(self.args.wordtap, folder, base_env, env)
        self.runs.append(run)
        return run

    def shot(self, label):
        if self.x and self.x.proc.poll() is None:
            self.shots += 1
            try:
                return self.x.screenshot(os.path.join(self.folder, "%02d-%s.png" % (self.shots, label)))
            except Exception:  # a diagnostic must not hide the real failure
                return None

    def finish(self):
        for run in self.runs:
            run.kill()
        if self.x:
            self.x.stop()


# ---- Screen states ---------------------------------------------------------

def wait_text(case, slots, rect=FULL, what="text"):
    bbox, bands = case.x.wait_bands(len(slots), rect, timeout=20, what=what)
    return bands


def check_line_layout(bands, slots, line_count, rect, what):
    """Bands of ink must sit on a regular line grid at the given slots (the
    empty lines take their place), each line centred on its own, and the
    block roughly centred vertically."""
    centres = [(b[0] + b[1]) / 2 for b in bands]
    # Least-squares fit of centre = a + step * slot.
    n = len(slots)
    mean_s, mean_c = sum(slots) / n, sum(centres) / n
    step = (sum((s - mean_s) * (c - mean_c) for s, c in zip(slots, centres))
            / sum((s - mean_s) ** 2 for s in slots))
    a = mean_c - step * mean_s
    tallest = max(b[1] - b[0] + 1 for b in bands)
    check(step > tallest * 0.9, "%s: line step %.1f px but a line is %d px tall" % (what, step, tallest))
    for slot, centre, band in zip(slots, centres, bands):
        check(abs(centre - (a + step * slot)) <= max(3.0, step * 0.12),
              "%s: line %d at y %.1f, off the %.1f px grid by %.1f px" %
              (what, slot, centre, step, centre - (a + step * slot)))
        mid_x = (band[2] + band[3] + 1) / 2
        screen_mid_x = rect[0] + rect[2] / 2
        check(abs(mid_x - screen_mid_x) <= 4,
              "%s: line %d is not centred (ink centre x %.1f)" % (what, slot, mid_x))
    block_mid = a + step * (line_count + 1) / 2
    check(abs(block_mid - (rect[1] + rect[3] / 2)) <= step * 0.5,
          "%s: the block's middle is at y %.1f" % (what, block_mid))
    return step


def answer_trials(case, keys, rect=FULL):
    """Waits for each word (white screen, then ink) and answers it; returns
    the bounding boxes of the words seen."""
    boxes = []
    for code in keys:
        case.x.wait_white(rect)
        case.x.wait_ink(rect)
        bbox, bands = case.x.ink(rect)
        check(len(bands) == 1, "a word shows %d bands of ink" % len(bands))
        boxes.append(bbox)
        case.x.tap(code)
    return boxes


def check_data_files(folder):
    data = os.path.join(folder, "data")
    sizes = {name: os.path.getsize(os.path.join(data, name))
             for name in ("introduction.txt", "finalscreen.txt", "words/example.txt")}
    check(sizes == {"introduction.txt": INTRO_BYTES, "finalscreen.txt": FINAL_BYTES,
                    "words/example.txt": EXAMPLE_BYTES}, "default files: %r" % sizes)
    with open(os.path.join(data, "words", "example.txt"), "rb") as f:
        check(f.read() == b"your\r\nwords\r\ngo\r\nhere\r\n", "example word list content")
    with open(os.path.join(data, "introduction.txt"), "rb") as f:
        check(f.read().startswith(b"data/introduction.txt\r\n\r\nEnter your"), "introduction content")


def check_rows(rows, expected, what):
    got = [(key, word) for _, key, word in rows]
    check(got == expected, "%s: results %r, expected %r" % (what, got, expected))
    for seconds, _, _ in rows:
        check(0.02 <= seconds < 30, "%s: implausible reaction time %.3f s" % (what, seconds))


def prepare(folder, settings=None, words=None):
    if settings is not None:
        write_file(os.path.join(folder, "data", "settings.ini"), settings)
    if words is not None:
        write_file(os.path.join(folder, "data", "words", "list.txt"),
                   "".join(w + "\r\n" for w in words))


# ---- Cases -----------------------------------------------------------------

def case_first_run_fullscreen(case):
    """A first run in full screen: default files, the introduction's layout,
    four words answered W O W O, W and O ignored at the end, Esc, exit 0."""
    case.start_x()
    run = case.run()
    bands = wait_text(case, INTRO_TEXT_SLOTS, what="the introduction")
    case.shot("intro")
    check_line_layout(bands, INTRO_TEXT_SLOTS, INTRO_LINES, FULL, "introduction")
    check_data_files(case.folder)
    with open(os.path.join(case.folder, "data", "settings.ini"), "rb") as f:
        check(f.read() == DEFAULT_SETTINGS, "settings.ini as first written")
    # The results file is created right after the introduction is shown (its
    # header is still in the write buffer).
    wait_for(run.results_path, 10, "the results file")

    case.x.tap(KEY_W)
    keys = [KEY_W, KEY_O, KEY_W, KEY_O]
    answer_trials(case, keys)
    final = wait_text(case, FINAL_TEXT_SLOTS, what="the final screen")
    case.shot("final")
    check_line_layout(final, FINAL_TEXT_SLOTS, 5, FULL, "final screen")
    rows = parse_results(run.results())
    check(sorted(w for _, _, w in rows) == sorted(EXAMPLE_WORDS), "words shown: %r" % rows)
    check([k for _, k, _ in rows] == ["W", "O", "W", "O"], "keys logged: %r" % rows)

    # W and O do nothing on the final screen; only Esc ends the run.
    case.x.tap(KEY_W)
    case.x.tap(KEY_O)
    time.sleep(0.3)
    check(run.running(), "W or O ended the run on the final screen")
    check(case.x.ink()[1] == final, "the final screen changed after W/O")
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "exit code %r" % run.proc.returncode)
    check(len(parse_results(run.results())) == 4, "results changed after the last word")


def case_windowed(case):
    """Fullscreen = 0: a window titled wordtap whose client area is exactly
    800 x 600, the text drawn inside it, answers counted."""
    case.start_x()
    prepare(case.folder, settings_text(fullscreen=0, randomize=0))
    run = case.run()
    seen = []

    def client_area():
        window = case.x.find("wordtap")
        info = subprocess.run(["xwininfo", "-id", window], env=case.x.env, capture_output=True,
                              text=True)
        seen.append(info.stdout + info.stderr)
        return "Width:" in info.stdout and info.stdout
    xwininfo = wait_for(client_area, 10, "xwininfo of the window")
    check("Width: 800" in xwininfo and "Height: 600" in xwininfo,
          "client area per xwininfo:\n" + xwininfo)
    x, y, w, h = case.x.geometry("wordtap")
    rect = (x, y, w, h)
    check((w, h) == (800, 600), "client area %dx%d" % (w, h))
    bands = wait_text(case, INTRO_TEXT_SLOTS, rect, "the introduction in the window")
    case.shot("intro")
    check_line_layout(bands, INTRO_TEXT_SLOTS, INTRO_LINES, rect, "windowed introduction")
    case.x.tap(KEY_O)
    boxes = answer_trials(case, [KEY_O, KEY_W, KEY_O, KEY_W], rect)
    for bbox in boxes:
        mid = (bbox[0] + bbox[2] + 1) / 2
        check(abs(mid - (x + 400)) <= 6, "word not centred in the window: %r" % (bbox,))
    wait_text(case, FINAL_TEXT_SLOTS, rect, "the final screen in the window")
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "exit code %r" % run.proc.returncode)
    check_rows(parse_results(run.results()),
               list(zip(["O", "W", "O", "W"], EXAMPLE_WORDS)), "windowed run")


def case_escape(case):
    """Esc at the introduction, during the second trial and on the final
    screen: the results hold exactly the trials answered before."""
    case.start_x()
    words = ["alpha", "beta", "gamma"]
    for sub in ("intro", "trial", "final"):
        prepare(os.path.join(case.folder, sub), settings_text(randomize=0), words)

    run = case.run("intro")
    wait_text(case, INTRO_TEXT_SLOTS, what="the introduction")
    wait_for(run.results_path, 10, "the results file")
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "Esc at the introduction: exit code %r" % run.proc.returncode)
    check(run.results() == b"time\tkey\tword\r\n", "Esc at the introduction: %r" % run.results())

    run = case.run("trial")
    wait_text(case, INTRO_TEXT_SLOTS, what="the introduction")
    case.x.tap(KEY_W)
    answer_trials(case, [KEY_O])
    case.x.wait_white()
    case.x.wait_ink()
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "Esc in a trial: exit code %r" % run.proc.returncode)
    check_rows(parse_results(run.results()), [("O", "alpha")], "Esc in the second trial")

    run = case.run("final")
    wait_text(case, INTRO_TEXT_SLOTS, what="the introduction")
    case.x.tap(KEY_O)
    answer_trials(case, [KEY_W, KEY_W, KEY_O])
    wait_text(case, FINAL_TEXT_SLOTS, what="the final screen")
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "Esc on the final screen: exit code %r" % run.proc.returncode)
    check_rows(parse_results(run.results()), [("W", "alpha"), ("W", "beta"), ("O", "gamma")],
               "Esc on the final screen")


def case_window_close(case):
    """Windowed: a WM_DELETE_WINDOW during the second trial ends the run with
    exit 0 and keeps the first answer."""
    case.start_x()
    prepare(case.folder, settings_text(fullscreen=0, randomize=0), ["one", "two", "three"])
    run = case.run()
    rect = case.x.geometry("wordtap")
    wait_text(case, INTRO_TEXT_SLOTS, rect, "the introduction in the window")
    case.x.tap(KEY_W)
    answer_trials(case, [KEY_W], rect)
    case.x.wait_white(rect)
    case.x.wait_ink(rect)
    case.x.xt("close", "wordtap")
    check(run.wait() == 0, "exit code %r after the close request" % run.proc.returncode)
    check_rows(parse_results(run.results()), [("W", "one")], "window closed in a trial")
    case.x.xt("gone", "wordtap", timeout_ms=5000)


def case_mode_unavailable(case):
    """Full screen at 800 x 600, a mode this Xvfb does not offer: Error81 on
    stderr and in a box; Return dismisses the box and the run ends with 0."""
    case.start_x()
    prepare(case.folder, settings_text(width=800, height=600, fullscreen=1, native=0))
    run = case.run()
    message = "Error81: Couldn't initialize display!"
    wait_for(lambda: message in run.stderr() or not run.running(), 15, "the error message")
    check(message in run.stderr(), "stderr: %r" % run.stderr())
    check(run.running(), "wordtap ended without waiting for the error box")
    case.x.find("wordtap", timeout=15)
    case.shot("error-box")
    case.x.xt("focus", "wordtap")
    case.x.tap(KEY_RETURN)
    check(run.wait() == 0, "exit code %r" % run.proc.returncode)
    check(run.results_path() is None, "a results file was created before the display failed")


def case_french_layout(case):
    """On a French layout the key at W's position (types "z") answers W and
    the key that types "w" (US Z's position) does not answer."""
    case.start_x()
    case.x_layout = subprocess.run(
        ["setxkbmap", "-display", case.x.display, "-layout", "fr"], capture_output=True, text=True)
    check(case.x_layout.returncode == 0, "setxkbmap failed: " + case.x_layout.stderr)
    prepare(case.folder, settings_text(randomize=0), ["un", "deux"])
    run = case.run()
    wait_text(case, INTRO_TEXT_SLOTS, what="the introduction")
    case.x.tap(KEY_W)
    case.x.wait_white()
    case.x.wait_ink()
    shown = case.x.ink()
    case.x.tap(KEY_US_Z)  # "w" on this layout
    time.sleep(0.3)
    check(case.x.ink() == shown and run.running(), "the key typing w answered")
    case.x.tap(KEY_W)  # "z" on this layout, W's position
    answer_trials(case, [KEY_O])
    wait_text(case, FINAL_TEXT_SLOTS, what="the final screen")
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "exit code %r" % run.proc.returncode)
    check_rows(parse_results(run.results()), [("W", "un"), ("O", "deux")], "French layout")


def case_focus_elsewhere(case):
    """Keys typed while another window has the focus are not counted; once
    wordtap has the focus again its keys count."""
    case.start_x()
    prepare(case.folder, settings_text(fullscreen=0, randomize=0), ["focus", "test"])
    run = case.run()
    rect = case.x.geometry("wordtap")
    wait_text(case, INTRO_TEXT_SLOTS, rect, "the introduction in the window")
    case.x.tap(KEY_W)
    case.x.wait_white(rect)
    case.x.wait_ink(rect)
    shown = case.x.ink(rect)

    thief = subprocess.Popen([case.args.xtool, "steal", "thief"], env=case.x.env,
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        check(thief.stdout.readline().strip() == "ready", "the focus thief did not start")
        case.x.tap(KEY_W)
        case.x.tap(KEY_O)
        case.x.tap(KEY_ESC)
        time.sleep(0.5)
        check(run.running(), "a key typed into another window ended the run")
        check(case.x.ink(rect) == shown, "a key typed into another window answered")
    finally:
        thief.stdin.close()
        thief.wait(10)
    case.x.xt("focus", "wordtap")
    case.x.tap(KEY_O)
    answer_trials(case, [KEY_W], rect)
    wait_text(case, FINAL_TEXT_SLOTS, rect, "the final screen in the window")
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "exit code %r" % run.proc.returncode)
    check_rows(parse_results(run.results()), [("O", "focus"), ("W", "test")], "focus elsewhere")


def case_centring(case):
    """Words of symmetric glyphs are centred to within a pixel; a word wider
    than the screen is centred and cut at both edges."""
    case.start_x()
    wide = "W" * 80
    words = ["HOH", "III", "HIH", wide]
    prepare(case.folder, settings_text(randomize=0), words)
    run = case.run()
    wait_text(case, INTRO_TEXT_SLOTS, what="the introduction")
    case.x.tap(KEY_W)
    for word in words:
        case.x.wait_white()
        case.x.wait_ink()
        bbox, bands = case.x.ink()
        case.shot(word[:8])
        check(len(bands) == 1, "%s: %d bands" % (word[:8], len(bands)))
        x0, y0, x1, y1 = bbox
        if word == wide:
            check(x0 == 0 and x1 == SCREEN_W - 1, "wide word not cut at both edges: %r" % (bbox,))
        else:
            mid_x = (x0 + x1 + 1) / 2
            check(abs(mid_x - SCREEN_W / 2) <= 1.0,
                  "%s: ink centre x %.1f, screen centre %d" % (word, mid_x, SCREEN_W // 2))
            # Vertically the cell is centred, not the ink: capitals sit a little
            # above the middle, but never by more than their own height.
            mid_y = (y0 + y1 + 1) / 2
            check(abs(mid_y - SCREEN_H / 2) <= (y1 - y0 + 1),
                  "%s: ink centre y %.1f" % (word, mid_y))
        case.x.tap(KEY_W)
    wait_text(case, FINAL_TEXT_SLOTS, what="the final screen")
    case.x.tap(KEY_ESC)
    check(run.wait() == 0, "exit code %r" % run.proc.returncode)
    check(len(parse_results(run.results())) == 4, "four answers logged")


def case_no_display(case):
    """Without DISPLAY: Error73 on stderr, exit code 0, no hang; the settings
    were already written, no results file exists."""
    run = case.run(x=False)
    code = run.wait(30)
    check(code == 0, "exit code %r" % code)
    check("Error73: Couldn't initialize display!" in run.stderr(), "stderr: %r" % run.stderr())
    check(os.path.exists(os.path.join(case.folder, "data", "settings.ini")), "settings.ini missing")
    check(run.results_path() is None, "a results file was created")


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--wordtap", required=True)
    parser.add_argument("--xtool", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    args.wordtap, args.xtool, args.work = map(os.path.abspath, (args.wordtap, args.xtool, args.work))
    case = Case(args, args.case)
    try:
        CASES[args.case](case)
    except Failure as e:
        case.shot("failure")
        print("FAIL %s: %s" % (args.case, e))
        for run in case.runs:
            print("--- stderr of wordtap in %s:\n%s" % (run.folder, run.stderr()[-3000:]))
        print("(work folder: %s)" % case.folder)
        return 1
    except Exception:
        case.shot("error")
        traceback.print_exc()
        return 1
    finally:
        case.finish()
    print("PASS %s" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
