#!/usr/bin/env python3
"""A scripted wordtap session under Xvfb: a first run in a fresh demo/
folder, five words answered, screenshots of the introduction, a word and the
final screen, and the results file; then the timing check, its result screen
and its plot; then an Arabic list saved as UTF-16 and its first word. The
screenshots and the plot are copied to docs/demo/.

    demo.py BUILD_DIR
"""

import os
import shutil
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from toolbox import REPO, run_tool, screenshot_png
from xsession import (KEY_ESC, KEY_O, KEY_W, Wordtap, XServer, check, fresh_folder,
                      settings_text, wait_for, write_data)

WORDS = ["house", "blick", "garden", "florp", "window"]
ANSWERS = [KEY_W, KEY_O, KEY_W, KEY_O, KEY_W]
# A participant's pace: seconds from the word's appearance to the key's release.
PACE = [0.64, 0.83, 0.57, 0.95, 0.71]
# Book, school, house: saved as Notepad's "Unicode" (UTF-16 LE with its mark).
ARABIC = ["\u0643\u062a\u0627\u0628", "\u0645\u062f\u0631\u0633\u0629", "\u0628\u064a\u062a"]


def main():
    build = os.path.abspath(sys.argv[1])
    wordtap = os.path.join(build, "wordtap")
    check(os.path.exists(wordtap), "no wordtap in " + build)
    demo = os.path.join(REPO, "demo")
    session = fresh_folder(demo, "session")
    for name in ("intro.png", "word.png", "final.png"):
        if os.path.exists(os.path.join(demo, name)):
            os.remove(os.path.join(demo, name))
    # Words in file order so that the pictures are the same every time; the
    # introduction and final texts are the defaults of a first run.
    write_data(session, settings_text(randomize=0), WORDS)

    with XServer(log_dir=session) as x:
        run = Wordtap(wordtap, session, x.env)
        try:
            x.wait_bands(7, what="the introduction")
            screenshot_png(x, os.path.join(demo, "intro.png"))
            x.tap(KEY_W)
            for i, key in enumerate(ANSWERS):
                x.wait_white()
                seen = x.wait_ink() / 1000.0
                if i == 0:
                    screenshot_png(x, os.path.join(demo, "word.png"))
                time.sleep(max(0.0, seen + PACE[i] - 0.12 - time.monotonic()))
                x.tap(key, hold_ms=120)
            x.wait_bands(3, what="the final screen")
            screenshot_png(x, os.path.join(demo, "final.png"))
            x.tap(KEY_ESC)
            check(run.wait(20) == 0, "wordtap exit code %r" % run.proc.returncode)
        finally:
            run.kill()

    results = run.results_path()
    rows = run.results()
    check([w for _, _, w in rows] == WORDS, "results: %r" % rows)
    shutil.copy(results, os.path.join(demo, "results.txt"))
    docs = os.path.join(REPO, "docs", "demo")
    os.makedirs(docs, exist_ok=True)
    for name in ("intro.png", "word.png", "final.png"):
        shutil.copy(os.path.join(demo, name), os.path.join(docs, name))
    plot = timing_check(wordtap, demo)
    shutil.copy(os.path.join(demo, "check.png"), os.path.join(docs, "check.png"))
    shutil.copy(plot, os.path.join(docs, "timingcheck.svg"))
    utf16_arabic(wordtap, demo)
    shutil.copy(os.path.join(demo, "utf16-arabic.png"), os.path.join(docs, "utf16-arabic.png"))
    print("demo session in %s" % session)
    print("screenshots: demo/intro.png demo/word.png demo/final.png demo/check.png demo/utf16-arabic.png, "
          "and the timing check's plot (copied to docs/demo/)")
    print("results (%s):" % os.path.basename(results))
    with open(results, "rb") as f:
        sys.stdout.write(f.read().decode("latin-1").replace("\r\n", "\n"))
    return 0


def timing_check(wordtap, demo):
    """wordtap --check in a folder of its own; the result screen's screenshot and the plot's path."""
    folder = fresh_folder(demo, "check")
    found = lambda: sorted(f for f in os.listdir(folder) if f.startswith("timingcheck_"))
    with XServer(log_dir=folder) as x:
        run = Wordtap(wordtap, folder, x.env, args=["--check"])
        try:
            wait_for(lambda: len(found()) == 2, 90, "the timing check's report and plot")
            time.sleep(1)
            screenshot_png(x, os.path.join(demo, "check.png"))
            x.tap(KEY_ESC)
            check(run.wait(20) == 0, "wordtap --check exit code %r" % run.proc.returncode)
        finally:
            run.kill()
    return os.path.join(folder, found()[0])


def utf16_arabic(wordtap, demo):
    """The first word of a UTF-16 Arabic list as drawn; the results hold the words as UTF-8."""
    folder = fresh_folder(demo, "utf16")
    write_data(folder, settings_text(randomize=0))
    os.makedirs(os.path.join(folder, "data", "words"))
    with open(os.path.join(folder, "data", "words", "list.txt"), "wb") as f:
        f.write(b"\xff\xfe" + "".join(w + "\r\n" for w in ARABIC).encode("utf-16-le"))
    with XServer(log_dir=folder) as x:
        run = Wordtap(wordtap, folder, x.env)
        try:
            x.wait_bands(7, what="the introduction")
            x.tap(KEY_W)
            for i in range(len(ARABIC)):
                x.wait_white()
                x.wait_ink()
                if i == 0:
                    time.sleep(0.3)
                    screenshot_png(x, os.path.join(demo, "utf16-arabic.png"))
                x.tap(KEY_W)
            x.wait_bands(3, what="the final screen")
            x.tap(KEY_ESC)
            check(run.wait(20) == 0, "wordtap exit code %r" % run.proc.returncode)
        finally:
            run.kill()
    rows = run.results()
    check([w for _, _, w in rows] == [w.encode().decode("latin-1") for w in ARABIC], "UTF-16 results: %r" % rows)


if __name__ == "__main__":
    run_tool(main, "demo")
