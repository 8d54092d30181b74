#!/usr/bin/env python3
"""How faithfully does a logged reaction time match reality, and what does
wordtap cost the machine meanwhile?

Under Xvfb a probe (probe.c) watches the screen until a word's pixels
appear, releases W exactly D ms later by XTest (pressed 100 ms before), and
this script compares the time wordtap logged with D. It does so on an
otherwise idle machine and again with CPU-bound processes beside wordtap.
Also reported: wordtap's processor use while a word is up, the blank before
each word as seen on the screen, the sleeps as the kernel saw them (strace),
the time from start to the first frame, wordtap's peak memory (RSS and PSS),
and a histogram of logged - D per condition.

    bench_timing.py BUILD_DIR [--trials N] [--busy N] [--realtime] [--plot PNG]
"""

import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from toolbox import REPO, run_tool
from xsession import (KEY_ESC, KEY_W, SCREEN_H, SCREEN_W, Wordtap, XServer, check,
                      fresh_folder, settings_text, write_data)

HERE = os.path.dirname(os.path.abspath(__file__))
HOLD_MS = 100.0
# A strip through the middle of the screen: every word's ink crosses it, and
# it lies in the empty sixth line of the default introduction.
STRIP = (SCREEN_W // 4, SCREEN_H // 2 - 6, SCREEN_W // 2, 16)
CORNER = (0, 0, 32, 32)


def build_probe(build_dir):
    """probe.c compiled into the build folder when missing or older."""
    path, source = os.path.join(build_dir, "bench-timing-probe"), os.path.join(HERE, "probe.c")
    if not os.path.exists(path) or os.path.getmtime(path) < os.path.getmtime(source):
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "x11", "xtst"],
                               capture_output=True, text=True, check=True).stdout.split()
        subprocess.run(["cc", "-O2", "-Wall", "-Wextra", "-o", path, source] + flags, check=True)
    return path


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


def quit_at_final_screen(x, what):
    x.wait_bands(3, timeout=20, what="the final screen (%s)" % what)
    x.tap(KEY_ESC)


def answer_words(x, words, what):
    """Answers the introduction and every word with W as soon as it shows, then quits."""
    x.wait_bands(7, timeout=20, what="the introduction (%s)" % what)
    x.tap(KEY_W)
    for _ in words:
        x.wait_white(STRIP)
        x.wait_ink(STRIP)
        x.tap(KEY_W)
    quit_at_final_screen(x, what)


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


class BusyLoops:
    """`count` processes that only burn processor time, as long as the block runs."""

    def __init__(self, count):
        self.procs = [subprocess.Popen([sys.executable, "-c", "while True: pass"])
                      for _ in range(count)]

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for proc in self.procs:
            proc.kill()
            proc.wait()


def timing_session(x, wordtap, probe_path, folder, trials, rng, prefix):
    words = make_words(trials, rng)
    run, first_frame = start_run(x, wordtap, folder, words)
    x.wait_bands(7, timeout=20, what="the introduction (timing run)")
    delays = [rng.uniform(300.0, 900.0) for _ in range(trials)]
    probe = subprocess.Popen(prefix + [probe_path, *map(str, STRIP), str(KEY_W), str(HOLD_MS),
                                       str(run.proc.pid)],
                             env=x.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    x.tap(KEY_W)
    out, _ = probe.communicate("".join("%.3f\n" % d for d in delays), timeout=trials * 5 + 60)
    check(probe.returncode == 0, "the probe failed")
    probes = [[float(v) for v in line.split()[2:]] for line in out.splitlines()
              if line.startswith("trial ")]
    check(len(probes) == trials, "probe saw %d of %d trials" % (len(probes), trials))
    quit_at_final_screen(x, "timing run")
    check(run.wait(30) == 0, "wordtap exit code %r" % run.proc.returncode)
    rows = run.results()
    check([w for _, _, w in rows] == words, "the results do not list the words in order")
    return first_frame, probes, rows


def peak_memory(pid, peaks, stop):
    """Samples /proc/PID/smaps_rollup until `stop` is set; keeps the peaks in KiB."""
    while not stop.is_set():
        try:
            with open("/proc/%d/smaps_rollup" % pid) as f:
                for line in f:
                    name, value = line.split()[:2]
                    if name in ("Rss:", "Pss:"):
                        peaks[name[:-1]] = max(peaks.get(name[:-1], 0), int(value))
        except (OSError, ValueError):
            pass
        stop.wait(0.01)


def memory_session(x, wordtap, folder, rng):
    """A short run of its own, sampled every 10 ms: peak RSS and PSS in KiB."""
    words = make_words(5, rng)
    run, _ = start_run(x, wordtap, folder, words)
    peaks, stop = {}, threading.Event()
    sampler = threading.Thread(target=peak_memory, args=(run.proc.pid, peaks, stop))
    sampler.start()
    try:
        answer_words(x, words, "memory run")
        check(run.wait(30) == 0, "wordtap exit code %r" % run.proc.returncode)
    finally:
        stop.set()
        sampler.join()
        run.kill()
    return peaks.get("Rss", 0), peaks.get("Pss", 0), run.rusage.ru_maxrss


def strace_sleeps(x, wordtap, folder, rng):
    """The 400 ms and 100 ms sleeps of a few trials and the syncs of their
    results lines, as the kernel timed them."""
    if not shutil.which("strace"):
        return None
    words = make_words(12, rng)
    write_data(folder, settings_text(randomize=0), words)
    log = os.path.join(folder, "strace.log")
    proc = subprocess.Popen(["strace", "-f", "-T", "-y", "-e", "trace=clock_nanosleep,nanosleep,fsync,fdatasync",
                             "-o", log,
                             wordtap], cwd=folder, env=x.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        x.wait_white(CORNER, timeout=30)
        answer_words(x, words, "strace run")
        proc.wait(30)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    durations, syncs = [], []
    with open(log) as f:
        for line in f:
            m = re.search(r"<(\d+\.\d+)>\s*$", line)
            if m and "nanosleep" in line:
                durations.append(float(m.group(1)) * 1000.0)
            elif m and re.search(r"sync\(\d+<[^>]*/results_", line):
                syncs.append(float(m.group(1)) * 1000.0)
    long = [d for d in durations if d > 300]
    short = [d for d in durations if 50 < d <= 300]
    return long, short, syncs


def fmt(values):
    return "mean %.3f ms, sd %.3f ms, min %.3f ms, max %.3f ms (n=%d)" % (
        statistics.fmean(values), statistics.pstdev(values), min(values), max(values), len(values))


def summarise(name, probes, rows):
    """Prints one condition's figures; returns logged - D of every trial."""
    diffs, white_to_word, grabs, answer_to_white = [], [], [], []
    cpu_ms = span_ms = 0.0
    for i, ((white, word, press, release, d_actual, grab_ms, cpu, span), row) in enumerate(zip(probes, rows)):
        diffs.append(round(row[0] * 1000.0) - d_actual)
        grabs.append(grab_ms)
        cpu_ms += cpu
        span_ms += span
        if i > 0:  # the first blank follows the introduction, not a word
            white_to_word.append(word - white)
            answer_to_white.append(white - probes[i - 1][3])
    largest = max(abs(d) for d in diffs)
    print("-- %s --" % name)
    print("logged - D: " + fmt(diffs))
    ordered = sorted(diffs)
    print("logged - D: median %.3f ms, 5th percentile %.3f ms, 95th percentile %.3f ms, largest |logged - D| %.3f ms"
          % (statistics.median(diffs), ordered[len(ordered) * 5 // 100],
             ordered[min(len(ordered) - 1, len(ordered) * 95 // 100)], largest))
    precise = [d for d, g in zip(diffs, grabs) if g <= 0.5]
    if precise:
        print("logged - D, trials whose word was seen by a grab of <= 0.5 ms: " + fmt(precise))
    print("wordtap's processor use while a word is up: %.2f %% of a core (aim < 5 %%)"
          % (100.0 * cpu_ms / span_ms))
    print("white screen to word on the X screen: " + fmt(white_to_word))
    print("answer release to white screen: " + fmt(answer_to_white))
    print("probe: word detection grab " + fmt(grabs))
    return diffs


def plot(conditions, path):
    """One histogram of logged - D per condition, on a shared axis."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("histogram: python3-matplotlib missing, not drawn")
        return
    every = [d for _, diffs in conditions for d in diffs]
    low, high = min(-1.0, min(every)), max(2.0, max(every))
    step = 0.25
    bins = [low - step + step * i for i in range(int((high - low) / step) + 3)]
    figure, axes = plt.subplots(len(conditions), 1, sharex=True, figsize=(7, 2.4 * len(conditions)),
                                squeeze=False)
    for axis, (name, diffs) in zip(axes[:, 0], conditions):
        axis.hist(diffs, bins=bins, color="#3b6ea8")
        axis.set_title("%s: mean %.2f ms, SD %.2f ms, largest |error| %.2f ms (%d trials)" % (
            name, statistics.fmean(diffs), statistics.pstdev(diffs), max(abs(d) for d in diffs),
            len(diffs)), fontsize=9)
        axis.set_ylabel("trials")
    axes[-1, 0].set_xlabel("logged reaction time - true reaction time D (ms)")
    figure.tight_layout()
    os.makedirs(os.path.dirname(path), exist_ok=True)
    figure.savefig(path, dpi=100)
    print("histogram: %s" % path)


def wine_wrapper(x, exe, work):
    """A script that starts `exe` under Wine in a prefix of its own, made here
    on the bench's X server; Calibri is replaced by Carlito as on Linux, and
    with no window manager the X focus alone activates a window. The script
    execs Wine, so its process is the program's for CPU and memory figures."""
    prefix = os.path.join(work, "prefix")
    env = dict(x.env, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    subprocess.run(["wineboot", "-u"], env=env, check=True, capture_output=True)
    for key, name, value in ((r"HKCU\Software\Wine\Fonts\Replacements", "Calibri", "Carlito"),
                             (r"HKCU\Software\Wine\X11 Driver", "UseTakeFocus", "N")):
        subprocess.run(["wine", "reg", "add", key, "/v", name, "/d", value, "/f"], env=env,
                       check=True, capture_output=True)
    wrapper = os.path.join(work, "wordtap-wine.sh")
    with open(wrapper, "w") as f:
        f.write('#!/bin/sh\nWINEPREFIX="%s" WINEDEBUG=-all exec wine "%s"\n' % (prefix, exe))
    os.chmod(wrapper, 0o755)
    return wrapper


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--trials", type=int, default=120, help="trials per condition")
    parser.add_argument("--busy", type=int, default=1,
                        help="CPU-bound processes beside wordtap in the loaded condition")
    parser.add_argument("--realtime", action="store_true", help="run the probe under SCHED_FIFO")
    parser.add_argument("--exe", help="a Windows wordtap.exe to measure under Wine instead")
    parser.add_argument("--plot", default=os.path.join(REPO, "docs", "timing.png"),
                        help="where the histogram goes")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    wordtap = os.path.join(build, "wordtap")
    if not os.path.exists(wordtap):
        print("no wordtap in %s" % build)
        return 1
    probe_path = build_probe(build)
    work = fresh_folder(build, "bench-timing-wine" if args.exe else "bench-timing")
    rng = random.Random(20240302)
    load_before = " ".join(open("/proc/loadavg").read().split()[:3])

    prefix = realtime_prefix() if args.realtime else []
    sessions = []
    with XServer(log_dir=work) as x:
        if args.exe:
            wordtap = wine_wrapper(x, os.path.abspath(args.exe), work)
        rss, pss, maxrss = memory_session(x, wordtap, fresh_folder(work, "memory"), rng)
        for name, busy in (("idle", 0), ("%d CPU-bound process%s beside it" % (
                args.busy, "" if args.busy == 1 else "es"), args.busy)):
            with BusyLoops(busy):
                sessions.append((name, timing_session(x, wordtap, probe_path, fresh_folder(work, "session-%d" % busy),
                                                      args.trials, rng, prefix)))
        sleeps = strace_sleeps(x, wordtap, fresh_folder(work, "strace"), rng)

    with open(os.path.join(work, "trials.tsv"), "w") as f:
        f.write("condition\ttrial\tD\tlogged\tlogged_minus_D\twhite\tword\tpress\trelease\tgrab_ms\tcpu_ms\tspan_ms\n")
        for name, (_, probes, rows) in sessions:
            for i, (p, row) in enumerate(zip(probes, rows)):
                logged = round(row[0] * 1000.0)
                f.write("%s\t%d\t%.3f\t%d\t%.3f\t%s\n" % (name, i + 1, p[4], logged, logged - p[4],
                                                          "\t".join("%.3f" % v for v in p[:4] + p[5:])))

    print("wordtap timing bench: %d trials per condition, D uniform in 300-900 ms, W pressed %.0f ms"
          " before its release, screen 1024x768 full screen under Xvfb%s" % (
              args.trials, HOLD_MS, ", Windows build under Wine" if args.exe else ""))
    print("probe: %s; Xvfb and wordtap at normal priority; load average before: %s"
          % ("SCHED_FIFO 20" if prefix else "normal priority", load_before))
    conditions = []
    for name, (first_frame, probes, rows) in sessions:
        conditions.append((name, summarise(name, probes, rows)))
    idle, loaded = conditions[0][1], conditions[1][1]
    print("-- aims --")
    print("idle: |mean| <= 1 ms, sd <= 0.41 ms, largest <= 3 ms: %s" % (
        "met" if abs(statistics.fmean(idle)) <= 1 and statistics.pstdev(idle) <= 0.41
        and max(abs(d) for d in idle) <= 3 else "NOT met"))
    print("loaded: sd < 1.1 ms, largest < 6.6 ms: %s" % (
        "met" if statistics.pstdev(loaded) < 1.1 and max(abs(d) for d in loaded) < 6.6 else "NOT met"))
    print("-- start and memory --")
    print("start to first frame: %.1f ms (idle run; aim <= 200 ms)" % sessions[0][1][0])
    print("peak memory of wordtap: RSS %.1f MiB (kernel's maximum %.1f MiB), PSS %.1f MiB (aim <= 55 MiB);"
          " sampled every 10 ms in a run of its own" % (rss / 1024.0, maxrss / 1024.0, pss / 1024.0))
    if sleeps:
        long, short, syncs = sleeps
        if syncs:
            print("sync of each results line, between the answer and the next white screen, strace: " + fmt(syncs))
        if long:
            print("sleep before the word is drawn (400 ms), strace: " + fmt(long))
        if short:
            print("sleep before the word is presented (100 ms), strace: " + fmt(short))
    else:
        print("sleeps: strace not available")
    print("per-trial figures: %s" % os.path.join(work, "trials.tsv"))
    plot(conditions, os.path.abspath(args.plot))
    return 0


if __name__ == "__main__":
    run_tool(main, "bench-timing")
