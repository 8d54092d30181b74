"""A private Xvfb driven through python3-xlib, and wordtap runs in fresh folders.
As a program: xsession.py LOG_DIR COMMAND... runs COMMAND under its own Xvfb."""

import glob
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import time

from Xlib import X, display, error, protocol
from Xlib.ext import xtest

SCREEN_W, SCREEN_H = 1024, 768
FULL = (0, 0, SCREEN_W, SCREEN_H)
# X keycodes of Xvfb's evdev keymap: keys by physical position. US Z types "w" in French.
KEY_ESC, KEY_W, KEY_O, KEY_RETURN, KEY_US_Z = 9, 25, 32, 36, 52


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(condition, timeout, what):
    end = time.monotonic() + timeout
    while not (value := condition()):
        check(time.monotonic() < end, "timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(0.01)
    return value


class XServer:
    """An Xvfb of its own on a free display number (-displayfd)."""

    def __init__(self, log_dir):
        read_end, write_end = os.pipe()
        log = open(os.path.join(log_dir, "xvfb.log"), "wb")
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten",
             "tcp", "-noreset"], pass_fds=(write_end,), stdout=log, stderr=log, start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:  # the number comes once the server listens
            number = pipe.readline().strip() if select.select([pipe], [], [], 30)[0] else b""
        if not number:
            self.stop()
            raise Failure("Xvfb did not start")
        self.display = ":" + number.decode()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.x = display.Display(self.display)
        self.root = self.x.screen().root

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def tap(self, code, hold_ms=30):
        """Presses and releases the key; with hold_ms 0 both go out in one write, back to back."""
        xtest.fake_input(self.x, X.KeyPress, code)
        if hold_ms:
            self.x.sync()
            time.sleep(hold_ms / 1000.0)
        xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.sync()

    def grab(self, rect=()):
        """The region's pixels, 4 bytes each (blue, green, red, pad), and its width."""
        x, y, w, h = rect or FULL
        return self.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data, w

    def ink(self, rect=()):
        """(bbox or None, [bands]) of the pixels that are not white; a band is (y0, y1, x0, x1), inclusive."""
        (x, y), (data, w) = (rect or FULL)[:2], self.grab(rect)
        white = int.from_bytes(data[0::4], "big") & int.from_bytes(data[1::4], "big") & int.from_bytes(data[2::4], "big")
        mask, bands, band = white.to_bytes(len(data) // 4, "big"), [], None
        for row in range(len(mask) // w + 1):
            line = mask[row * w:(row + 1) * w]
            left, right = w - len(line.lstrip(b"\xff")), len(line.rstrip(b"\xff")) - 1
            if left < w:
                band = (band[0], row, min(band[2], left), max(band[3], right)) if band else (row, row, left, right)
            elif band:
                bands.append((y + band[0], y + band[1], x + band[2], x + band[3]))
                band = None
        bbox = bands and (min(b[2] for b in bands), bands[0][0], max(b[3] for b in bands), bands[-1][1])
        return bbox or None, bands

    def wait_ink(self, rect=(), timeout=10, ink=True):
        """CLOCK_MONOTONIC milliseconds at which the grab that saw it began."""
        def seen():
            at = time.monotonic() * 1000.0
            return (self.ink(rect)[0] is not None) == ink and at
        return wait_for(seen, timeout, "ink" if ink else "a white screen")

    def wait_white(self, rect=(), timeout=10):
        return self.wait_ink(rect, timeout, ink=False)

    def wait_bands(self, count, rect=(), timeout=20, what=None):
        """Exactly `count` bands of ink inside a white border (a black, unpainted window does not count)."""
        x, y, w, h = rect or FULL

        def ready():
            bbox, bands = self.ink(rect)
            inside = bbox and x < bbox[0] and y < bbox[1] and bbox[2] < x + w - 1 and bbox[3] < y + h - 1
            return len(bands) == count and inside and bands
        return wait_for(ready, timeout, what or "%d lines of text on the screen" % count)

    def windows(self, name, parent=None):
        """Viewable windows called `name` (WM_NAME or _NET_WM_NAME), top-most last."""
        parent, found = parent or self.root, []
        try:
            net = parent.get_full_property(self.x.intern_atom("_NET_WM_NAME"), X.AnyPropertyType)
            if name in (parent.get_wm_name(), net and net.value.decode("utf-8", "replace")) and \
                    parent.get_attributes().map_state == X.IsViewable:
                found.append(parent)
            for child in parent.query_tree().children:
                found += self.windows(name, child)
        except error.XError:
            pass  # windows vanish while the tree is walked
        return found

    def window(self, name, timeout=10):
        return wait_for(lambda: self.windows(name), timeout, "a window called " + name)[-1]

    def geometry(self, name):
        """X Y W H of the client area of the window called `name`."""
        window = self.window(name)
        at, size = self.root.translate_coords(window, 0, 0), window.get_geometry()
        return at.x, at.y, size.width, size.height

    def focus(self, window):
        window.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.x.sync()

    def close(self, name):
        window, atom = self.window(name), self.x.intern_atom
        window.send_event(protocol.event.ClientMessage(
            window=window, client_type=atom("WM_PROTOCOLS"), data=(32, [atom("WM_DELETE_WINDOW"), 0, 0, 0, 0])))
        self.x.sync()

    def thief(self):
        """A small window in the bottom-right corner that takes the focus."""
        window = self.root.create_window(SCREEN_W - 100, SCREEN_H - 60, 100, 60, 0, X.CopyFromParent)
        window.set_wm_name("thief")
        window.map()
        self.focus(self.window("thief"))
        return window

    def screenshot(self, path, rect=()):  # a binary PPM
        data, w = self.grab(rect)
        rgb = bytearray(len(data) // 4 * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = data[2::4], data[1::4], data[0::4]
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (w, len(data) // 4 // w) + rgb)
        return path


class Wordtap:
    def __init__(self, binary, folder, env, wrapper=(), args=()):
        self.folder, self.stderr_path, self.rusage = folder, os.path.join(folder, "wordtap.stderr"), None
        # SDL and the X libraries keep caches until exit that LeakSanitizer reports.
        env = dict(env, ASAN_OPTIONS=env.get("ASAN_OPTIONS", "detect_leaks=0"))
        self.started = time.monotonic()
        self.proc = subprocess.Popen([*wrapper, binary, *args], cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=open(self.stderr_path, "wb"))

    def running(self):
        return self.proc.poll() is None

    def wait(self, timeout=15):
        """Exit code; fails (and kills) when the program does not end in time."""
        def ended():
            pid, status, self.rusage = os.wait4(self.proc.pid, os.WNOHANG)
            return pid and [os.waitstatus_to_exitcode(status)]
        if self.proc.returncode is None:
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
        """[(seconds, key, word)] after checking the name, header and CR LF."""
        path = self.results_path()
        check(path and re.fullmatch(r"results_\d{8}-\d{6}\.txt", os.path.basename(path)), "results file: %r" % path)
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


if __name__ == "__main__":
    with XServer(log_dir=sys.argv[1]) as server:
        sys.exit(subprocess.run(sys.argv[2:], env=server.env).returncode)
