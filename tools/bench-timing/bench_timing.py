#!/usr/bin/env python3
"""How faithfully does a logged reaction time match reality?

Under Xvfb, xtool watches the screen until a word's pixels appear, releases
W exactly D ms later by XTest (pressed 100 ms before), and this script
compares the time wordtap logged with D. Also reported: the blank before each
word as seen on the screen, the sleeps as the kernel saw them (strace), the
time from start to the first frame and wordtap's peak memory.

    bench_timing.py BUILD_DIR [--trials N]
"""

import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from toolbox import build_xtool, run_tool
from xsession import (KEY_ESC, KEY_W, SCREEN_H, SCREEN_W, Wordtap, XServer, check,
                      fresh_folder, settings_text, write_data)

HOLD_MS = 100.0
# A strip through the middle of the screen: every word's ink crosses it, and
# it lies in the empty sixth line of the default introduction.
STRIP = (SCREEN_W // 4, SCREEN_H // 2 - 6, SCREEN_W // 2, 16)
CORNER = (0, 0, 32, 32)


def make_words(count, rng):
    letters = "abcdefghijklmnopqrstuvwxyz"
    return ["".join(rng.choice(letters) for _ in range(rng.randint(3, 8))) for _ in range(count)]


def start_run(x, wordtap, folder, words):
    write_data(folder, settings_text(randomize=0), words)
    run = Wordtap(wordtap, folder, x.env)
    # The first frame is the introduction on a white screen: until then the
    # corner shows the root window's pattern or an unpainted window.
    first = x.wait_white(CORNER, timeout=30)
    return run, first - run.started * 1000.0


def realtime_prefix():
    """The probe runs under SCHED_FIFO when the system allows it, so that its
    own scheduling delays do not count against wordtap. The X server, which
    stands for the display, and wordtap keep the normal priority."""
    prefix = ["chrt", "-f", "20"]
    try:
        if shutil.which("chrt") and subprocess.run(prefix + ["true"]).returncode == 0:
            return prefix
    except OSError:
        pass
    return []


def timing_session(x, wordtap, xtool, folder, trials, rng, prefix):
    words = make_words(trials, rng)
    run, first_frame = start_run(x, wordtap, folder, words)
    x.wait_bands(7, timeout=20, what="the introduction")
    delays = [rng.uniform(300.0, 900.0) for _ in range(trials)]
    probe = subprocess.Popen(prefix + [xtool, "-t", "20000", "probe", *map(str, STRIP), str(KEY_W),
                              str(HOLD_MS)], env=x.env, stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, text=True)
    x.tap(KEY_W)
    out, _ = probe.communicate("".join("%.3f\n" % d for d in delays), timeout=trials * 5 + 60)
    check(probe.returncode == 0, "the probe failed")
    probes = []
    for line in out.splitlines():
        parts = line.split()
        if parts and parts[0] == "trial":
            probes.append([float(v) for v in parts[2:]])
    check(len(probes) == trials, "probe saw %d of %d trials" % (len(probes), trials))
    x.wait_bands(3, timeout=20, what="the final screen")
    x.tap(KEY_ESC)
    check(run.wait(30) == 0, "wordtap exit code %r" % run.proc.returncode)
    rows = run.results()
    check([w for _, _, w in rows] == words, "the results do not list the words in order")
    return first_frame, probes, rows, run.rusage.ru_maxrss


def strace_sleeps(x, wordtap, folder, rng):
    """The 400 ms and 100 ms sleeps of a few trials as the kernel timed them."""
    if not shutil.which("strace"):
        return None
    words = make_words(6, rng)
    write_data(folder, settings_text(randomize=0), words)
    log = os.path.join(folder, "strace.log")
    proc = subprocess.Popen(["strace", "-f", "-T", "-e", "trace=clock_nanosleep,nanosleep", "-o", log,
                             wordtap], cwd=folder, env=x.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        x.wait_white(CORNER, timeout=30)
        x.wait_bands(7, timeout=20, what="the introduction (strace run)")
        x.tap(KEY_W)
        for _ in words:
            x.wait_white(STRIP)
            x.wait_ink(STRIP)
            x.tap(KEY_W)
        x.wait_bands(3, timeout=20, what="the final screen (strace run)")
        x.tap(KEY_ESC)
        proc.wait(30)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    durations = []
    with open(log) as f:
        for line in f:
            m = re.search(r"<(\d+\.\d+)>\s*$", line)
            if m and "nanosleep" in line:
                durations.append(float(m.group(1)) * 1000.0)
    long = [d for d in durations if d > 300]
    short = [d for d in durations if 50 < d <= 300]
    return long, short


def fmt(values):
    return "mean %.3f ms, sd %.3f ms, min %.3f ms, max %.3f ms (n=%d)" % (
        statistics.fmean(values), statistics.pstdev(values), min(values), max(values), len(values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--trials", type=int, default=120)
    parser.add_argument("--realtime", action="store_true",
                        help="run the probe under SCHED_FIFO")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    wordtap = os.path.join(build, "wordtap")
    if not os.path.exists(wordtap):
        print("no wordtap in %s" % build)
        return 1
    xtool = build_xtool(build)
    work = fresh_folder(build, "bench-timing")
    rng = random.Random(20240302)
    load_before = " ".join(open("/proc/loadavg").read().split()[:3])

    prefix = realtime_prefix() if args.realtime else []
    with XServer(xtool, log_dir=work) as x:
        first_frame, probes, rows, maxrss_kb = timing_session(
            x, wordtap, xtool, fresh_folder(work, "session"), args.trials, rng, prefix)
        sleeps = strace_sleeps(x, wordtap, fresh_folder(work, "strace"), rng)

    diffs, blanks, holds, grabs, answer_to_white = [], [], [], [], []
    for i, ((white, word, press, release, d_actual, grab_ms), row) in enumerate(zip(probes, rows)):
        logged = round(row[0] * 1000.0)
        diffs.append(logged - d_actual)
        holds.append(release - press)
        grabs.append(grab_ms)
        if i > 0:  # the first blank follows the introduction, not a word
            blanks.append(word - white - 100.0)
            answer_to_white.append(white - probes[i - 1][3])

    with open(os.path.join(work, "trials.tsv"), "w") as f:
        f.write("trial\tD\tlogged\tlogged_minus_D\twhite\tword\tpress\trelease\tgrab_ms\n")
        for i, ((white, word, press, release, d_actual, grab_ms), row) in enumerate(zip(probes, rows)):
            f.write("%d\t%.3f\t%d\t%.3f\t%.3f\t%.3f\t%.3f\t%.3f\t%.3f\n" % (
                i + 1, d_actual, round(row[0] * 1000.0), diffs[i], white, word, press, release,
                grab_ms))

    print("wordtap timing bench: %d trials, D uniform in 300-900 ms, W pressed %.0f ms before"
          " its release, screen 1024x768 full screen under Xvfb" % (len(diffs), HOLD_MS))
    print("probe: %s; Xvfb and wordtap at normal priority; load average before: %s"
          % ("SCHED_FIFO 20" if prefix else "normal priority", load_before))
    print("logged - D: " + fmt(diffs))
    ordered = sorted(diffs)
    print("logged - D: median %.3f ms, 5th percentile %.3f ms, 95th percentile %.3f ms" % (
        statistics.median(diffs), ordered[len(ordered) * 5 // 100],
        ordered[min(len(ordered) - 1, len(ordered) * 95 // 100)]))
    precise = [d for d, g in zip(diffs, grabs) if g <= 0.5]
    if precise:
        print("logged - D, trials whose word was seen by a grab of <= 0.5 ms: " + fmt(precise))
    print("logged - D: |mean| %.3f ms, max |logged - D| %.3f ms" %
          (abs(statistics.fmean(diffs)), max(abs(d) for d in diffs)))
    print("aim |mean| <= 1 ms, sd <= 0.6 ms, max <= 3 ms: %s" % (
        "met" if abs(statistics.fmean(diffs)) <= 1 and statistics.pstdev(diffs) <= 0.6
        and max(abs(d) for d in diffs) <= 3 else "NOT met"))
    print("blank on screen (white to word, minus 100 ms): " + fmt(blanks))
    print("answer release to white screen: " + fmt(answer_to_white))
    print("probe: word detection grab " + fmt(grabs))
    print("probe: key hold " + fmt(holds))
    if sleeps:
        long, short = sleeps
        if long:
            print("sleep before the word is drawn (400 ms), strace: " + fmt(long))
        if short:
            print("sleep before the word is presented (100 ms), strace: " + fmt(short))
    else:
        print("sleeps: strace not available")
    print("start to first frame: %.1f ms (aim <= 200 ms)" % first_frame)
    print("peak memory (max RSS) of wordtap: %d KiB" % maxrss_kb)
    print("per-trial figures: %s" % os.path.join(work, "trials.tsv"))
    return 0


if __name__ == "__main__":
    run_tool(main, "bench-timing")
