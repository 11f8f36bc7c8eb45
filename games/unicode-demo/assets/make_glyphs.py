#!/usr/bin/env python3
"""Regenerates the Unicode demo's glyph sheet (ImageMagick): unicode/unicode.png, cut by
unicode/unicode.an into 16 columns of 32 x 40 cells, and the glyph table unicode/unicode.fnt
(count, then one "HEXCODE width" line per cell in order, widths in sheet pixels times 1.7,
then the face name). The outputs are committed; run this only to change them."""
import os
import subprocess
import tempfile

FONT = "DejaVu-Sans"
POINTS = 26
CELL_W, CELL_H, COLUMNS = 32, 40, 16
CODES = (list(range(0x20, 0x7F)) + [0x401] + list(range(0x410, 0x450)) + [0x451] +
         [c for c in range(0x391, 0x3AA) if c != 0x3A2] + list(range(0x3B1, 0x3CA)))

here = os.path.dirname(os.path.abspath(__file__))
out = os.path.join(here, "..", "media", "unicode")


def escaped(ch):
    # -annotate reads % and backslash escapes
    return ch.replace("\\", "\\\\").replace("%", "%%")


def advance(ch):
    # The width of "|ch|" minus that of "||" is the character's advance.
    def width(text):
        r = subprocess.run(["convert", "-debug", "annotate", "xc:", "-font", FONT,
                            "-pointsize", str(POINTS), "-annotate", "0", escaped(text),
                            "null:"], capture_output=True, text=True)
        for line in r.stderr.splitlines():
            if "Metrics:" in line and "width:" in line:
                return float(line.split("width:")[1].split(";")[0])
        return 0.0
    return width("|" + ch + "|") - width("||")


with tempfile.TemporaryDirectory() as tmp:
    cells = []
    lines = [str(len(CODES))]
    for i, code in enumerate(CODES):
        ch = chr(code)
        cell = os.path.join(tmp, "c%03d.png" % i)
        subprocess.run(["convert", "-size", "%dx%d" % (CELL_W, CELL_H), "xc:none", "-font",
                        FONT, "-pointsize", str(POINTS), "-fill", "white", "-gravity",
                        "NorthWest", "-annotate", "+1+4", escaped(ch), cell], check=True)
        cells.append(cell)
        w = max(1, min(CELL_W, round(advance(ch))))
        lines.append("%04X %d" % (code, round(w * 1.7)))
    lines.append("DejaVu Sans")
    rows = (len(cells) + COLUMNS - 1) // COLUMNS
    subprocess.run(["montage"] + cells + ["-tile", "%dx%d" % (COLUMNS, rows), "-geometry",
                   "%dx%d+0+0" % (CELL_W, CELL_H), "-background", "none",
                   "PNG32:" + os.path.join(out, "unicode.png")], check=True)
    with open(os.path.join(out, "unicode.fnt"), "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(out, "unicode.an"), "w", newline="\r\n") as f:
        f.write("%d\n%d\n" % (COLUMNS, rows))
