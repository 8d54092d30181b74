"""Words in many scripts as the backend draws them (text_probe) against the
same words drawn by hb-view, hinted by FreeType as the program draws, from the
file fontconfig gives for the first character: the same ink width within 2 px,
and the glyphs in the same order (the column profiles of the ink correlate at
0.95 or more). Usage: text_reference.py PROBE"""
import subprocess
import sys
import tempfile

import numpy
from PIL import Image

# name, requested face (none: the one found), text, and what hb-view is given
# when not the text: it shapes but does not reorder.
CASES = [("Arabic", "Calibri", "كتاب", None), ("Hebrew with a number", None, "שלום 123", "123 םולש"),
         ("Chinese", "Calibri", "水果", None), ("Japanese", "Calibri", "ひらがな", None),
         ("Korean", "Calibri", "한국어", None), ("Devanagari", "Calibri", "किताब", None),
         ("Thai", "Calibri", "หนังสือ", None), ("decomposed Latin", "Calibri", "cafe\u0301", None)]


def profile(path):
    ink = (255.0 - numpy.asarray(Image.open(path).convert("L"), dtype=float)).sum(0)
    columns = numpy.nonzero(ink)[0]
    return ink[columns[0]:columns[-1] + 1] if len(columns) else numpy.zeros(1)


def main(probe, work):
    failed = 0
    for name, face, text, shown in CASES:
        file, index, family = subprocess.run(
            ["fc-match", "-f", "%{file}\n%{index}\n%{family[0]}", "Calibri:charset=%x" % ord(text[0])],
            capture_output=True, text=True, check=True).stdout.split("\n")
        subprocess.run([probe, face or family, "40", text, work + "/ours.pgm"], check=True)
        subprocess.run(["hb-view", "--font-file=" + file, "--face-index=" + index, "--font-funcs=ft",
                        "--ft-load-flags=0", "--font-size=40", "-O", "png", "-o", work + "/theirs.png",
                        "--text=" + (shown or text)] + (["--direction=ltr"] if shown else []) +
                       # The requested face is drawn without kerning or optional ligatures.
                       (["--features=-kern,-liga,-clig"] if family == "Carlito" else []), check=True)
        ours, theirs = profile(work + "/ours.pgm"), profile(work + "/theirs.png")
        n = max(len(ours), len(theirs))
        correlation = numpy.corrcoef(numpy.pad(ours, (0, n - len(ours))), numpy.pad(theirs, (0, n - len(theirs))))[0, 1]
        ok = abs(len(ours) - len(theirs)) <= 2 and correlation >= 0.95
        failed += not ok
        print("%-20s %s ink width %d vs %d, correlation %.3f, %s" % (
            name, "ok  " if ok else "FAIL", len(ours), len(theirs), correlation, file))
    return 1 if failed else 0


if __name__ == "__main__":
    with tempfile.TemporaryDirectory() as folder:
        sys.exit(main(sys.argv[1], folder))
