"""Shared machinery of the end-to-end tests (and of tools/demo and
tools/bench-timing): a private Xvfb, the xtool client, wordtap runs in fresh
folders, and the results file.

Every wait polls a condition with a deadline; nothing relies on a sleep
being long enough."""

import glob
import os
import re
import select
import shutil
import signal
import subprocess
import time

SCREEN_W, SCREEN_H = 1024, 768
# X keycodes of the evdev keymap that Xvfb loads: keys by physical position.
KEY_ESC, KEY_W, KEY_O, KEY_RETURN = 9, 25, 32, 36
KEY_US_Z = 52  # the key that types "w" on a French layout


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(condition, timeout, what):
    """Polls condition() until it returns a true value, which is returned."""
    end = time.monotonic() + timeout
    while not (value := condition()):
        if time.monotonic() > end:
            raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(0.02)
    return value


class XServer:
    """An Xvfb of its own on a free display number (-displayfd)."""

    def __init__(self, xtool, log_dir):
        self.xtool = xtool
        read_end, write_end = os.pipe()
        log = open(os.path.join(log_dir, "xvfb.log"), "wb")
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (SCREEN_W, SCREEN_H),
             "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,), stdout=log, stderr=log,
            start_new_session=True)
        os.close(write_end)
        number, end = b"", time.monotonic() + 30  # written once it listens
        while not number.endswith(b"\n") and select.select([read_end], [], [], max(0, end - time.monotonic()))[0]:
            chunk = os.read(read_end, 16)
            number += chunk
            if not chunk:
                break
        os.close(read_end)
        if not number.endswith(b"\n"):
            self.stop()
            raise Failure("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def xt(self, *args, timeout_ms=10000):
        run = subprocess.run([self.xtool, "-t", str(timeout_ms)] + [str(a) for a in args], env=self.env,
                             capture_output=True, text=True, timeout=timeout_ms / 1000 + 30)
        check(run.returncode == 0, "xtool %s failed: %s" % (" ".join(map(str, args)), run.stderr.strip()))
        return run.stdout

    def tap(self, code, hold_ms=30):
        self.xt("tap", code, hold_ms)

    def ink(self, rect=()):
        """(bbox or None, [bands]); a band is (y0, y1, x0, x1), inclusive."""
        bbox, bands = None, []
        for line in self.xt("ink", *rect).splitlines():
            kind, *values = line.split()
            if kind == "band":
                bands.append(tuple(map(int, values)))
            elif values != ["none"]:
                bbox = tuple(map(int, values))
        return bbox, bands

    def wait_white(self, rect=(), timeout=10):
        return float(self.xt("wait-white", *rect, timeout_ms=int(timeout * 1000)))

    def wait_ink(self, rect=(), timeout=10):
        return float(self.xt("wait-ink", *rect, timeout_ms=int(timeout * 1000)))

    def wait_bands(self, count, rect=(), timeout=20, what=None):
        """Waits until the region shows exactly `count` bands of ink and its
        border is white (so a black, unpainted window does not count)."""
        x, y, w, h = rect or (0, 0, SCREEN_W, SCREEN_H)

        def ready():
            bbox, bands = self.ink(rect)
            inside = bbox and x < bbox[0] and y < bbox[1] and bbox[2] < x + w - 1 and bbox[3] < y + h - 1
            return len(bands) == count and inside and bands
        return wait_for(ready, timeout, what or "%d lines of text on the screen" % count)

    def geometry(self, name):
        """X Y W H of the client area of the window called `name`."""
        return tuple(int(v) for v in self.xt("geometry", name).split())

    def screenshot(self, path, rect=()):
        self.xt("shot", path, *rect)
        return path


class Wordtap:
    """One wordtap run in its own working folder."""

    def __init__(self, binary, folder, env):
        self.folder = folder
        self.stderr_path = os.path.join(folder, "wordtap.stderr")
        # SDL and the X libraries keep caches until exit that LeakSanitizer
        # reports as leaks; wordtap's own frees are checked by the unit tests.
        env = dict(env, ASAN_OPTIONS=env.get("ASAN_OPTIONS", "detect_leaks=0"))
        self.started = time.monotonic()
        self.proc = subprocess.Popen([binary], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=open(self.stderr_path, "wb"))
        self.rusage = None

    def running(self):
        return self.proc.poll() is None

    def wait(self, timeout=15):
        """Exit code; fails (and kills) when the program does not end in time."""
        if self.proc.returncode is not None:
            return self.proc.returncode
        def ended():
            pid, status, self.rusage = os.wait4(self.proc.pid, os.WNOHANG)
            return pid and [os.waitstatus_to_exitcode(status)]
        try:
            self.proc.returncode = wait_for(ended, timeout, "wordtap to end")[0]
        finally:
            self.kill()
        return self.proc.returncode

    def kill(self):
        if self.proc.returncode is None and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("latin-1")

    def results_path(self):
        found = sorted(glob.glob(os.path.join(self.folder, "results_*.txt")))
        return found[-1] if found else None

    def results(self):
        """[(seconds as float, key, word)] after checking the name, header and CR LF."""
        path = self.results_path()
        check(path and re.fullmatch(r"results_\d{8}-\d{6}\.txt", os.path.basename(path)),
              "results file: %r" % path)
        with open(path, "rb") as f:
            data = f.read()
        check(data.startswith(b"time\tkey\tword\r\n") and data.endswith(b"\r\n"), "results: %r" % data[:60])
        rows = [re.fullmatch(rb"([ \d]{3}\.\d{3})\t([WO])\t(.*)", line) for line in data[:-2].split(b"\r\n")[1:]]
        check(all(rows), "malformed results %r" % data)
        return [(float(m[1]), m[2].decode(), m[3].decode("latin-1")) for m in rows]


def fresh_folder(base, name):
    path = os.path.join(base, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def write_data(folder, settings=None, words=None):
    """data/settings.ini and data/words/list.txt of a run (CR LF lines)."""
    listed = None if words is None else "".join(w + "\r\n" for w in words)
    for name, text in (("settings.ini", settings), ("words/list.txt", listed)):
        if text is not None:
            os.makedirs(os.path.dirname(os.path.join(folder, "data", name)), exist_ok=True)
            with open(os.path.join(folder, "data", name), "wb") as f:
                f.write(text.encode("latin-1"))


def settings_text(width=800, height=600, fullscreen=1, native=1, randomize=1):
    return ("[Screen]\r\nWidth = %d\r\nHeight = %d\r\nFullscreen = %d\r\nUseNativeResolution = %d\r\n"
            "\r\n[Words]\r\nRandomizeOrder = %d\r\n" % (width, height, fullscreen, native, randomize))
