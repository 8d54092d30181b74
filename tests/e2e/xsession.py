"""Shared machinery of the end-to-end tests, the demo and the timing bench:
a private Xvfb, the xtool client, wordtap runs in fresh folders, and small
screen and results-file helpers.

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
import zlib
import struct

SCREEN_W, SCREEN_H = 1024, 768

# X keycodes of the evdev keymap that Xvfb loads: keys by physical position.
KEY_ESC, KEY_W, KEY_O, KEY_RETURN = 9, 25, 32, 36
KEY_US_Z = 52  # the key that types "w" on a French layout

INTRO_BYTES, FINAL_BYTES, EXAMPLE_BYTES = 251, 68, 23
EXAMPLE_WORDS = ["your", "words", "go", "here"]


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(condition, timeout, what, interval=0.02):
    """Polls condition() until it returns a true value, which is returned."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


class XServer:
    """An Xvfb of its own on a free display number (-displayfd)."""

    def __init__(self, xtool, width=SCREEN_W, height=SCREEN_H, log_dir=None, prefix=()):
        self.xtool = xtool
        read_end, write_end = os.pipe()
        log = open(os.path.join(log_dir, "xvfb.log"), "wb") if log_dir else subprocess.DEVNULL
        self.proc = subprocess.Popen(
            list(prefix) + ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (width, height),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=log, stderr=log, start_new_session=True)
        os.close(write_end)
        number = b""
        end = time.monotonic() + 30
        while not number.endswith(b"\n"):
            left = end - time.monotonic()
            ready, _, _ = select.select([read_end], [], [], max(left, 0))
            if not ready or self.proc.poll() is not None:
                os.close(read_end)
                self.stop()
                raise Failure("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                os.close(read_end)
                self.stop()
                raise Failure("Xvfb closed its display pipe")
            number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    # ---- xtool ----------------------------------------------------------
    def xt(self, *args, timeout_ms=10000, check_rc=True):
        cmd = [self.xtool, "-t", str(timeout_ms)] + [str(a) for a in args]
        run = subprocess.run(cmd, env=self.env, capture_output=True, text=True,
                             timeout=timeout_ms / 1000 + 30)
        if check_rc and run.returncode != 0:
            raise Failure("xtool %s failed (%d): %s" % (" ".join(map(str, args)), run.returncode,
                                                       run.stderr.strip()))
        return run

    def tap(self, code, hold_ms=30):
        self.xt("tap", code, hold_ms)

    def key(self, code, down):
        self.xt("key", code, "down" if down else "up")

    def ink(self, rect=None):
        """(bbox or None, [bands]); a band is (y0, y1, x0, x1), inclusive."""
        out = self.xt("ink", *(rect or ())).stdout.split("\n")
        bbox, bands = None, []
        for line in out:
            parts = line.split()
            if not parts:
                continue
            if parts[0] == "bbox" and parts[1] != "none":
                bbox = tuple(int(p) for p in parts[1:5])
            elif parts[0] == "band":
                bands.append(tuple(int(p) for p in parts[1:5]))
        return bbox, bands

    def wait_white(self, rect=None, timeout=10):
        return float(self.xt("wait-white", *(rect or ()), timeout_ms=int(timeout * 1000)).stdout)

    def wait_ink(self, rect=None, timeout=10):
        return float(self.xt("wait-ink", *(rect or ()), timeout_ms=int(timeout * 1000)).stdout)

    def wait_bands(self, count, rect=None, timeout=10, what=None):
        """Waits until the region shows exactly `count` bands of ink and its
        border is white (so a black, unpainted window does not count)."""
        def ready():
            bbox, bands = self.ink(rect)
            if len(bands) != count:
                return None
            x, y, w, h = rect or (0, 0, SCREEN_W, SCREEN_H)
            if bbox[0] == x or bbox[1] == y or bbox[2] == x + w - 1 or bbox[3] == y + h - 1:
                return None
            return bbox, bands
        return wait_for(ready, timeout, what or "%d lines of text on the screen" % count)

    def find(self, name, timeout=10):
        return self.xt("find", name, timeout_ms=int(timeout * 1000)).stdout.strip()

    def geometry(self, name):
        return tuple(int(v) for v in self.xt("geometry", name).stdout.split())

    def screenshot(self, path, rect=None):
        ppm = path if path.endswith(".ppm") else path + ".ppm"
        self.xt("shot", ppm, *(rect or ()))
        if path.endswith(".png"):
            ppm_to_png(ppm, path)
            os.remove(ppm)
        return path


def ppm_to_png(ppm_path, png_path):
    """A binary PPM to an 8-bit RGB PNG, without outside tools."""
    with open(ppm_path, "rb") as f:
        data = f.read()
    m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
    width, height = int(m.group(1)), int(m.group(2))
    pixels = data[m.end():]
    stride = width * 3
    raw = b"".join(b"\x00" + pixels[y * stride:(y + 1) * stride] for y in range(height))

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body
                + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(png_path, "wb") as f:
        f.write(png)


class Wordtap:
    """One wordtap run in its own working folder."""

    def __init__(self, binary, folder, env, extra_env=None):
        self.folder = folder
        self.stdout_path = os.path.join(folder, "wordtap.stdout")
        self.stderr_path = os.path.join(folder, "wordtap.stderr")
        run_env = dict(env)
        # SDL and the X libraries keep caches until exit that LeakSanitizer
        # reports as leaks; wordtap's own frees are checked by the unit tests.
        run_env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        if extra_env:
            run_env.update(extra_env)
        self.started = time.monotonic()
        self.proc = subprocess.Popen([binary], cwd=folder, env=run_env, stdin=subprocess.DEVNULL,
                                     stdout=open(self.stdout_path, "wb"),
                                     stderr=open(self.stderr_path, "wb"))
        self.rusage = None

    def running(self):
        return self.proc.poll() is None

    def wait(self, timeout=15):
        """Exit code; fails (and kills) when the program does not end in time."""
        end = time.monotonic() + timeout
        while True:
            pid, status, usage = os.wait4(self.proc.pid, os.WNOHANG)
            if pid:
                self.rusage = usage
                self.proc.returncode = os.waitstatus_to_exitcode(status)
                return self.proc.returncode
            if time.monotonic() > end:
                self.kill()
                raise Failure("wordtap did not end within %.0f s" % timeout)
            time.sleep(0.02)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()

    def stderr(self):
        with open(self.stderr_path, "rb") as f:
            return f.read().decode("latin-1")

    def results_path(self):
        found = sorted(glob.glob(os.path.join(self.folder, "results_*.txt")))
        return found[-1] if found else None

    def results(self):
        path = self.results_path()
        check(path is not None, "no results file in " + self.folder)
        check(re.fullmatch(r"results_\d{8}-\d{6}\.txt", os.path.basename(path)),
              "results file name " + os.path.basename(path))
        with open(path, "rb") as f:
            return f.read()


TRIAL_LINE = re.compile(rb"([ \d]{3}\.\d{3})\t([WO])\t(.*)")


def parse_results(data):
    """[(seconds as float, key, word)] after checking the header and CR LF."""
    check(data.startswith(b"time\tkey\tword\r\n"), "results header: %r" % data[:40])
    check(data.endswith(b"\r\n"), "results file does not end with CR LF")
    lines = data[:-2].split(b"\r\n")[1:]
    rows = []
    for line in lines:
        m = TRIAL_LINE.fullmatch(line)
        check(m is not None, "malformed results line %r" % line)
        rows.append((float(m.group(1)), m.group(2).decode(), m.group(3).decode("latin-1")))
    return rows


def fresh_folder(base, name):
    path = os.path.join(base, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def write_file(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text.encode("latin-1") if isinstance(text, str) else text)


def settings_text(width=800, height=600, fullscreen=1, native=1, randomize=1):
    return ("[Screen]\r\nWidth = %d\r\nHeight = %d\r\nFullscreen = %d\r\nUseNativeResolution = %d\r\n"
            "\r\n[Words]\r\nRandomizeOrder = %d\r\n" % (width, height, fullscreen, native, randomize))


def build_xtool(source_dir, build_dir):
    """Compiles xtool into build_dir when that build has none (the release
    build does not build tests)."""
    path = os.path.join(build_dir, "tests", "e2e", "xtool")
    if os.path.exists(path):
        return path
    path = os.path.join(build_dir, "xtool")
    source = os.path.join(source_dir, "xtool.c")
    if not os.path.exists(path) or os.path.getmtime(path) < os.path.getmtime(source):
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "x11", "xtst"],
                               capture_output=True, text=True, check=True).stdout.split()
        subprocess.run(["cc", "-O2", "-Wall", "-Wextra", "-o", path, source] + flags, check=True)
    return path
