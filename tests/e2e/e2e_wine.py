#!/usr/bin/env python3
"""The Windows build end to end under Wine on one private Xvfb, in a prefix of
its own where Carlito replaces Calibri. Exit code 77 (skipped) without the .exe:
    e2e_wine.py --exe WORDTAP.EXE --wine WINE --wordtap LINUX_WORDTAP --work DIR"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e
from PIL import Image
from Xlib import X
from Xlib.ext import xtest
from xsession import KEY_ESC, KEY_O, KEY_US_Z, KEY_W, SCREEN_H, SCREEN_W, check, settings_text, wait_for

# Prints the static texts of the dialog box called argv[1]; with a second
# argument, tells the window called argv[1] that the session ends (log-off).
BOX_TEXT_C = r"""#include <windows.h>
#include <stdio.h>
static BOOL CALLBACK Print(HWND child, LPARAM unused) {
    char name[16], text[256];
    if (GetClassNameA(child, name, sizeof name) && !lstrcmpiA(name, "Static") && GetWindowTextA(child, text, sizeof text))
        printf("%s\n", text);
    return TRUE;
}
static HWND program;  /* a window of the program's titled so, not its box */
static BOOL CALLBACK Pick(HWND window, LPARAM title) {
    char name[16], text[64];
    if (GetWindowTextA(window, text, sizeof text) && !lstrcmpA(text, (const char*)title) &&
        GetClassNameA(window, name, sizeof name) && lstrcmpiA(name, "#32770")) {
        program = window;
        return FALSE;
    }
    return TRUE;
}
int main(int argc, char** argv) {
    if (argc > 2) {
        EnumWindows(Pick, (LPARAM)argv[1]);
        HWND window = program;
        if (!window || !SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF)) return 1;
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000, NULL);
        return 0;
    }
    HWND box = FindWindowA("#32770", argv[1]);
    return box ? (EnumChildWindows(box, Print, 0), 0) : 1;
}
"""

parser = argparse.ArgumentParser()
parser.add_argument("--exe", required=True, type=os.path.abspath)
parser.add_argument("--wine", required=True)
OPTIONS, E2E_ARGUMENTS = parser.parse_known_args()


def wine(*command, env):
    return subprocess.run([OPTIONS.wine, *command], env=env, capture_output=True, timeout=300)


def steal_keys(case, run):
    """Notepad takes the keyboard while W, O and Esc are typed, and gives it
    back: none of them may count (W or O would show in the results)."""
    thief = subprocess.Popen([OPTIONS.wine, "notepad"], env=case.x.env)
    case.x.focus(case.x.window("Untitled - Notepad", 30))
    for code in (KEY_W, KEY_O, KEY_ESC):
        case.x.tap(code)
    time.sleep(0.5)
    check(run.running(), "Esc typed into Notepad ended the run")
    thief.kill()
    wait_for(lambda: not case.x.windows("Untitled - Notepad"), 10, "Notepad to go")
    case.x.focus(case.x.window("wordtap"))
    time.sleep(0.3)  # the keyboard is taken back at the next poll; a key pressed before that is lost


def flick(server, code, times=1):
    """Presses each followed by its release in one request: no look at the keys falls between them."""
    for _ in range(times):
        xtest.fake_input(server.x, X.KeyPress, code)
        xtest.fake_input(server.x, X.KeyRelease, code)
    server.x.sync()


def flicks(case):
    """W, O and Esc each pressed and let go at once during a word: each answers that word alone. Before O,
    more key changes at once than the device's buffer holds: said on standard error, and O still counts."""
    run = case.run("flicks", settings_text(randomize=0), ["alpha", "beta", "gamma"])
    case.x.wait_bands(len(e2e.INTRO_SLOTS))
    case.x.focus(case.x.window("wordtap"))  # with no window manager, the last program's focus stays
    case.x.tap(KEY_W)
    for code in (KEY_W, KEY_O, KEY_ESC):
        case.word()
        if code == KEY_O:
            flick(case.x, KEY_US_Z, 40)
            time.sleep(0.3)
        flick(case.x, code)
    case.ended(run, [("W", "alpha"), ("O", "beta")], "keys let go as they went down")
    check("buffer of key changes filled up" in run.stderr(), "the lost key changes went unsaid: %r" % run.stderr())


def scripts(case, server, linux):
    """Under code page 936, the words of a code page 936 list (some valid UTF-8 by accident, the list as a whole
    not) are drawn as the same words from a UTF-8 list and keep their bytes; 小 and 水 differ (a face with Han was
    found: boxes would not); Hebrew and Arabic are drawn as HarfBuzz draws them in DejaVu Sans, the face the
    fallback finds first here, and "12 שלום" (right to left from its first strong letter: the number on the
    right) as the Linux build draws it: ink as wide within 2 px (two rasterisers' antialiasing and hinting) and
    column profiles correlated at 0.95 or more (reversed or unjoined letters correlate near 0)."""
    chinese = ["\u5c0f", "\u6c34", "\u5c71\u6c34", "\u6c34\u679c"]
    others = ["\u05e9\u05dc\u05d5\u05dd", "\u0643\u062a\u0627\u0628", "12 \u05e9\u05dc\u05d5\u05dd"]
    lists = {"a.txt": b"\xef\xbb\xbf" + "\r\n".join(chinese + others).encode(), "b.txt": "\r\n".join(chinese).encode("gbk")}

    def setup(folder):
        for name, data in lists.items():
            with open(os.path.join(folder, "data", "words", name), "wb") as f:
                f.write(data)
    server.env["LC_ALL"] = "zh_CN.UTF-8"  # Wine's ANSI code page follows the locale
    run = case.run("scripts", settings_text(randomize=0), [], setup=setup)
    del server.env["LC_ALL"]
    shown = words_shown(server, 2 * len(chinese) + len(others))
    for i, word in enumerate(chinese):
        check(shown[i] == shown[i + len(chinese) + len(others)], "%r: code page 936 and UTF-8 drawn differently" % word)
    check(shown[0] != shown[1], "Chinese words drawn alike: boxes")
    font = subprocess.run(["fc-match", "-f", "%{file}", "DejaVu Sans"], capture_output=True, text=True).stdout
    png = os.path.join(case.folder, "hb-view.png")
    for word, (data, width) in zip(others[:2], shown[len(chinese):]):
        subprocess.run(["hb-view", "--font-size=%d" % ((SCREEN_H // 30 * 96 + 36) // 72), "-O", "png", "-o", png, font, word], check=True)
        reference = Image.open(png).convert("L")
        alike(word, profile(data[1::4], width), profile(reference.tobytes(), reference.width), "HarfBuzz's")
    server.wait_bands(len(e2e.FINAL_SLOTS))
    server.tap(KEY_ESC)
    logged = [w.encode().decode("latin-1") for w in chinese + others] + [w.encode("gbk").decode("latin-1") for w in chinese]
    case.ended(run, [("W", w) for w in logged], "code page 936 and UTF-8 lists")

    case.args.wordtap, wine_wordtap = linux, case.args.wordtap
    lists = {"a.txt": others[2].encode()}
    run = case.run("scripts-linux", settings_text(randomize=0), [], setup=setup)
    (data, width), = words_shown(server, 1)
    server.wait_bands(len(e2e.FINAL_SLOTS))
    server.tap(KEY_ESC)
    check(run.wait() == 0, "the Linux build's exit code %r" % run.proc.returncode)
    case.args.wordtap = wine_wordtap
    ours = shown[len(chinese) + 2]
    alike(others[2], profile(ours[0][1::4], ours[1]), profile(data[1::4], width), "the Linux build's")


def words_shown(server, count):
    """The ink of the next `count` words after the introduction, each answered W."""
    server.wait_bands(len(e2e.INTRO_SLOTS))
    server.tap(KEY_W)
    shown = []
    for _ in range(count):
        server.wait_white()
        server.wait_ink()
        x0, y0, x1, y1 = server.ink()[0]  # Arabic's dots below may stand apart: not case.word()
        shown.append(server.grab((x0, y0, x1 - x0 + 1, y1 - y0 + 1)))
        server.tap(KEY_W)
    return shown


def alike(word, ours, theirs, whose):
    check(abs(len(ours) - len(theirs)) <= 2, "%r: ink %d px wide, %s %d" % (word, len(ours), whose, len(theirs)))
    n = min(len(ours), len(theirs))
    r = statistics.correlation(ours[:n], theirs[:n])
    check(r >= 0.95, "%r: column profile correlates with %s at %.2f" % (word, whose, r))


def profile(grey, width):
    """Ink per column of a grey image (white 255), from the first to the last column with ink."""
    columns = [sum(255 - v for v in grey[x::width]) for x in range(width)]
    inked = [x for x, v in enumerate(columns) if v > 40]
    return columns[inked[0]:inked[-1] + 1]


def case_wine(case):
    """A Windows program (no console of its own). A first run in full screen,
    whose introduction must line up with the Linux build's, and a windowed
    run: in each Notepad takes the keyboard for a while (in full screen the
    device is lost and must be reset for the first word to show), then Esc in
    a trial; a windowed and a full-screen run ended by the end of the
    session; Error285, Error81 and Error124 (over the full screen) in a box
    on top, dismissed with Return or ended by the end of the session (a Windows program under
    Wine gets no Ctrl+C); the Linux build's first run last."""
    with open(OPTIONS.exe, "rb") as f:
        image = f.read(4096)
    header = int.from_bytes(image[0x3C:0x40], "little")
    check(int.from_bytes(image[header + 0x5C:header + 0x5E], "little") == 2, "wordtap.exe is not a Windows-subsystem program")
    os.environ.update(WINEPREFIX=os.path.join(case.folder, "prefix"), WINEDEBUG="-all",
                      WINEDLLOVERRIDES="mscoree,mshtml=")  # no Mono or Gecko installers
    server, linux = case.server(), case.args.wordtap
    case.server = lambda: server  # one X server, so one Wine session, for every case
    case.count_syncs = False  # Wine's server syncs, outside what strace would follow
    try:
        check(wine("wineboot", "-u", env=server.env).returncode == 0, "wineboot failed")
        wine("reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", "Calibri", "/d", "Carlito", "/f", env=server.env)
        # With no window manager to send WM_TAKE_FOCUS, the X focus alone activates.
        wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "UseTakeFocus", "/d", "N", "/f", env=server.env)
        reader = os.path.join(case.folder, "boxtext")
        with open(reader + ".c", "w") as f:
            f.write(BOX_TEXT_C)
        subprocess.run(["x86_64-w64-mingw32-gcc", "-o", reader + ".exe", reader + ".c"], check=True)
        box_text = lambda: wine(reader + ".exe", "wordtap", env=server.env).stdout.decode("latin-1").strip()
        end_session = lambda: wine(reader + ".exe", "wordtap", "end", env=server.env).returncode
        case.args.wordtap = os.path.join(case.folder, "wordtap-wine.sh")
        with open(case.args.wordtap, "w") as f:
            f.write('#!/bin/sh\nexec "%s" "%s" "$@"\n' % (OPTIONS.wine, OPTIONS.exe))
        os.chmod(case.args.wordtap, 0o755)

        for name in ("first_run_fullscreen", "windowed", "utf8"):
            e2e.CASES[name](case)
        check("emulated or virtual (Wine " in e2e.CASES["timing_check"](case), "the check does not say it ran under Wine")
        scripts(case, server, linux)

        flicks(case)

        first = run = case.run("esc-first-trial")
        windows_lines = case.text(e2e.INTRO_SLOTS, 11, what="the introduction")
        steal_keys(case, run)
        case.x.tap(KEY_W)
        case.word()
        case.x.tap(KEY_ESC)
        case.ended(run, [], "Esc in the first trial")

        run = case.run("esc-trial", settings_text(fullscreen=0, randomize=0), ["alpha", "beta"])
        rect = case.x.geometry("wordtap")
        case.x.wait_bands(len(e2e.INTRO_SLOTS), rect)
        case.x.tap(KEY_W)
        case.word(rect)
        steal_keys(case, run)
        case.x.tap(KEY_O)
        case.word(rect)
        case.x.tap(KEY_ESC)
        case.ended(run, [("O", "alpha")], "Esc in a trial")

        for fullscreen in (0, 1):
            run = case.run("session-%d" % fullscreen, settings_text(fullscreen=fullscreen, randomize=0), ["alpha", "beta"])
            rect = case.x.geometry("wordtap")
            case.x.wait_bands(len(e2e.INTRO_SLOTS), rect)
            case.x.tap(KEY_W)
            case.answer([KEY_W], rect)
            case.word(rect)
            check(end_session() == 0, "the window refused the end of the session")
            case.ended(run, [("W", "alpha")], "the end of the session, full screen %d" % fullscreen)

        data_file = lambda folder: open(os.path.join(folder, "data"), "w").close()
        dangling = lambda folder: os.symlink("nowhere/introduction.txt", os.path.join(folder, "data", "introduction.txt"))
        for sub, settings, setup, message in (("285", None, data_file, "Error285: assertion failed!"),
                                              ("81", settings_text(native=0), None, "Error81: Couldn't initialize display!"),
                                              ("124", settings_text(), dangling, "Error124: assertion failed!")):
            run = case.run(sub, settings, setup=setup)
            shown = wait_for(lambda: box_text() or not run.running(), 30, "the box of " + sub)
            check(shown == message, "%s: the box says %r" % (sub, shown))
            # The box's text can be read before X shows its window.
            box_on_top = lambda: (lambda found: found and found[-1].get_geometry().width < SCREEN_W)(
                case.x.windows("wordtap"))
            wait_for(box_on_top, 10, "%s: the box on top" % sub)
            if sub == "124":
                check(end_session() == 0, "the program refused the end of the session under its box")
            else:
                case.dismiss_box(run)
            check(run.wait(30) == 0 and run.results_path() is None, "%s: exit code %r" % (sub, run.proc.returncode))

        case.args.wordtap = linux
        run = case.run("linux")
        linux_lines = case.text(e2e.INTRO_SLOTS, 11, what="the Linux introduction")
        case.x.tap(KEY_ESC)
        check(run.wait() == 0, "the Linux build's exit code %r" % run.proc.returncode)
        for w, l in zip(windows_lines, linux_lines):
            check(max(abs(a - b) for a, b in zip(w, l)) <= 1, "a line's ink at %r on Windows, %r on Linux" % (w, l))
        # Both first runs wrote the same files, byte for byte.
        content = lambda *path: open(os.path.join(*path), "rb").read()
        for name in ("settings.ini", "introduction.txt", "finalscreen.txt", "words/example.txt"):
            check(content(first.folder, "data", name) == content(run.folder, "data", name), "data/%s differs" % name)
        check(content(first.results_path()) == content(run.results_path()), "the results files differ")
    finally:
        wineserver = os.path.join(os.path.dirname(os.path.realpath(shutil.which(OPTIONS.wine))), "wineserver")
        for flag in ("-k", "-w"):
            subprocess.run([wineserver if os.path.exists(wineserver) else "wineserver", flag], capture_output=True)
        shutil.rmtree(os.environ["WINEPREFIX"], ignore_errors=True)


if __name__ == "__main__":
    if not os.path.exists(OPTIONS.exe):
        print("SKIP wine: no %s" % OPTIONS.exe)
        sys.exit(77)
    e2e.CASES["wine"] = case_wine
    sys.argv[1:] = ["wine"] + E2E_ARGUMENTS
    sys.exit(e2e.main())
