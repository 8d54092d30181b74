"""What tools/demo and tools/bench-timing share beyond tests/e2e/xsession.py:
the python3 that has python3-xlib (and python3-matplotlib), and PNG
screenshots."""

import importlib.util
import os
import re
import struct
import sys
import zlib

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
E2E = os.path.join(REPO, "tests", "e2e")
sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, E2E)

# xsession needs the distribution's python3-xlib and the timing bench its
# python3-matplotlib, which a python3 of its own (pyenv, a virtual
# environment) first on the PATH does not see.
if not all(importlib.util.find_spec(m) for m in ("Xlib", "matplotlib")) and os.path.exists("/usr/bin/python3") \
        and os.path.realpath(sys.executable) != os.path.realpath("/usr/bin/python3"):
    os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)


def screenshot_png(x, png_path):
    """The whole screen as an 8-bit RGB PNG, without outside tools."""
    ppm_path = x.screenshot(png_path + ".ppm")
    with open(ppm_path, "rb") as f:
        data = f.read()
    os.remove(ppm_path)
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


def run_tool(main, name):
    """Runs a tool's main; a failed check ends it with exit code 1 and one line."""
    from xsession import Failure
    try:
        sys.exit(main())
    except Failure as e:
        print("%s failed: %s" % (name, e))
        sys.exit(1)
