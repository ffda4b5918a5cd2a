#!/usr/bin/python3
"""Generate draw/font_data.cpp, the overlay's 256-glyph bitmap font.

Each glyph is 20 columns x 28 rows, one cell per pixel. The glyphs are
rasterised from DejaVu Sans Bold (Debian package fonts-dejavu-core) at a size
where the capitals fill rows 4 to 18, then downsampled from a 16x supersampled
rendering with a 50 % coverage threshold. Glyphs are centred in their cell and
squeezed horizontally when they are wider than the cell allows; the capitals
J and Q, which reach below the baseline in this face, are squeezed vertically
so that every capital stays within rows 4 to 18. Codes 0x00-0x1F and 0x7F-0x9F
stay blank; 0xA0-0xFF are the Latin-1 characters (0xB0 is the degree sign).

Run with Debian's interpreter, which sees python3-pil:
    /usr/bin/python3 tools/make_font.py > draw/font_data.cpp
The build does not run this script; its output is committed.
"""

import math
import sys

from PIL import Image, ImageDraw, ImageFont

FONT_PATH = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
COLUMNS = 20
ROWS = 28
CAP_TOP = 4          # first row of a capital
BASELINE = 19        # first row below a capital
MAX_INK_COLUMNS = 18  # leave at least one blank column on each side
SUPERSAMPLE = 16
THRESHOLD = 0.5

LICENCE = """\
// Glyphs rasterised from DejaVu Sans Bold (Debian package fonts-dejavu-core).
// Copyright (c) 2003 by Bitstream, Inc. All Rights Reserved.
// Bitstream Vera is a trademark of Bitstream, Inc.
// DejaVu changes are in public domain.
// Licence (bitstream-vera):
// Permission is hereby granted, free of charge, to any person obtaining a copy
// of the fonts accompanying this license ("Fonts") and associated
// documentation files (the "Font Software"), to reproduce and distribute the
// Font Software, including without limitation the rights to use, copy, merge,
// publish, distribute, and/or sell copies of the Font Software, and to permit
// persons to whom the Font Software is furnished to do so, subject to the
// following conditions:
//
// The above copyright and trademark notices and this permission notice shall
// be included in all copies of one or more of the Font Software typefaces.
//
// The Font Software may be modified, altered, or added to, and in particular
// the designs of glyphs or characters in the Fonts may be modified and
// additional glyphs or characters may be added to the Fonts, only if the fonts
// are renamed to names not containing either the words "Bitstream" or the word
// "Vera".
//
// This License becomes null and void to the extent applicable to Fonts or Font
// Software that has been modified and is distributed under the "Bitstream
// Vera" names.
//
// The Font Software may be sold as part of a larger software package but no
// copy of one or more of the Font Software typefaces may be sold by itself.
//
// THE FONT SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS
// OR IMPLIED, INCLUDING BUT NOT LIMITED TO ANY WARRANTIES OF MERCHANTABILITY,
// FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT OF COPYRIGHT, PATENT,
// TRADEMARK, OR OTHER RIGHT. IN NO EVENT SHALL BITSTREAM OR THE GNOME
// FOUNDATION BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER LIABILITY, INCLUDING
// ANY GENERAL, SPECIAL, INDIRECT, INCIDENTAL, OR CONSEQUENTIAL DAMAGES,
// WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM, OUT OF
// THE USE OR INABILITY TO USE THE FONT SOFTWARE OR FROM OTHER DEALINGS IN THE
// FONT SOFTWARE.
//
// Except as contained in this notice, the names of Gnome, the Gnome
// Foundation, and Bitstream Inc., shall not be used in advertising or
// otherwise to promote the sale, use or other dealings in this Font Software
// without prior written authorization from the Gnome Foundation or Bitstream
// Inc., respectively. For further information, contact: fonts at gnome dot
// org."""


def has_glyph(code):
    return 0x20 < code < 0x7F or 0xA0 < code <= 0xFF


def font_at_cap_height(path, cap_pixels):
    probe = ImageFont.truetype(path, 1000)
    left, top, right, bottom = probe.getbbox("H", anchor="ls")
    cap_per_em = -top / 1000.0
    size = int(round(cap_pixels / cap_per_em))
    return ImageFont.truetype(path, size)


def render(font, char):
    """Return the glyph as ROWS lists of COLUMNS cells (0 or 1)."""
    s = SUPERSAMPLE
    big = (COLUMNS * 4) * s
    image = Image.new("L", (big, big), 0)
    origin_x = big // 4
    baseline_y = big // 2
    ImageDraw.Draw(image).text((origin_x, baseline_y), char, fill=255, font=font, anchor="ls")
    box = image.getbbox()
    if box is None:
        return [[0] * COLUMNS for _ in range(ROWS)]
    ink = image.crop(box)
    ink_top = box[1] - baseline_y        # relative to the baseline, in supersampled pixels
    ink_bottom = box[3] - baseline_y

    # Squeeze capitals that descend so that they stay on the cap rows.
    if char in "JQ" and ink_bottom > 0:
        new_height = -ink_top
        ink = ink.resize((ink.width, new_height), Image.LANCZOS)
        ink_bottom = 0

    max_width = MAX_INK_COLUMNS * s
    if ink.width > max_width:
        ink = ink.resize((max_width, ink.height), Image.LANCZOS)

    cell = Image.new("L", (COLUMNS * s, ROWS * s), 0)
    ink_columns = math.ceil(ink.width / s)
    left = ((COLUMNS - ink_columns) // 2) * s + (ink_columns * s - ink.width) // 2
    top = BASELINE * s + ink_top
    cell.paste(ink, (left, top))

    small = cell.resize((COLUMNS, ROWS), Image.BOX)
    pixels = small.load()
    return [[1 if pixels[x, y] >= THRESHOLD * 255 else 0 for x in range(COLUMNS)]
            for y in range(ROWS)]


def describe(code):
    if code == 0x20:
        return "space"
    if code == 0xA0:
        return "no-break space"
    if has_glyph(code):
        char = chr(code)
        if char == "\\":
            return "backslash"
        return "'" + char + "'"
    return "blank"


def main():
    font = font_at_cap_height(FONT_PATH, (BASELINE - CAP_TOP) * SUPERSAMPLE)
    out = sys.stdout
    out.write("// Generated by tools/make_font.py; do not edit.\n")
    out.write(LICENCE + "\n\n")
    out.write('#include "draw/font.h"\n\n')
    out.write("namespace orvane {\n")
    out.write("namespace {\n\n")
    out.write("// One 20-bit row a line, the leftmost column in the most significant bit.\n")
    out.write("constexpr uint32_t kGlyphRowBits[256][kGlyphRows] = {\n")
    for code in range(256):
        out.write("    // 0x%02X %s\n" % (code, describe(code)))
        rows = render(font, chr(code)) if has_glyph(code) else None
        if rows is None or not any(any(r) for r in rows):
            out.write("    {},\n")
            continue
        out.write("    {\n")
        for row in rows:
            bits = "".join(str(b) for b in row)
            grouped = "'".join(bits[i:i + 4] for i in range(0, COLUMNS, 4))
            out.write("        0b%s,\n" % grouped)
        out.write("    },\n")
    out.write("};\n\n")
    out.write("""struct FontCells {
  uint8_t cells[256][kGlyphRows * kGlyphColumns];
};

constexpr FontCells ExpandFont() {
  FontCells font{};
  for (int code = 0; code < 256; ++code) {
    for (int row = 0; row < kGlyphRows; ++row) {
      for (int column = 0; column < kGlyphColumns; ++column) {
        const uint32_t bit = 1u << (kGlyphColumns - 1 - column);
        font.cells[code][row * kGlyphColumns + column] =
            (kGlyphRowBits[code][row] & bit) != 0 ? 1 : 0;
      }
    }
  }
  return font;
}

constexpr FontCells kFont = ExpandFont();

}  // namespace

const uint8_t* FontGlyph(uint8_t code) { return kFont.cells[code]; }

}  // namespace orvane
""")


if __name__ == "__main__":
    main()
