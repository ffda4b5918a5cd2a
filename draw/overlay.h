#pragma once

// Raster primitives that draw the station's marks and texts into the overlay
// buffer. ComposeDisplay lays the overlay over the frame; a zero byte there is
// transparent, so a colour component that must show dark is given as 1, and a
// component given as 0 leaves that channel of the frame visible.
//
// Coordinates are image pixels, x to the right and y down. Every dot is bounds
// checked on its own; a negative coordinate counts as out of range, as an
// unsigned comparison would have it. Nothing allocates.

#include <cmath>
#include <cstdint>
#include <functional>
#include <string_view>

namespace orvane {

struct Rgb {
  uint8_t r, g, b;
};

// Near-black, the "dark" of the overlay: (0, 0, 0) would be transparent.
inline constexpr Rgb kOverlayDark{1, 1, 1};

// The overlay buffer the primitives draw into: 3 bytes per pixel in the order
// B, G, R, rows top-down, `stride` bytes a row; at least stride * height bytes.
struct OverlayCanvas {
  uint8_t* pixels = nullptr;  // the overlay buffer (not owned); null draws nothing
  uint32_t width = 0, height = 0, stride = 0;
  uint32_t mark_size_class = 1;  // 0..3, see MarkSizeClass
  bool text_background = false;  // Settings flags bit 0x2: text cells drawn dark
  // Rows band_top .. band_bottom - 1 are the only ones written: two canvases
  // of one overlay with bands that do not overlap can be drawn at once, by
  // two threads, each leaving its rows as the whole drawing would.
  uint32_t band_top = 0, band_bottom = UINT32_MAX;
  // Optional seam: when set, DrawText reports each call (x, y, text, colour)
  // here before drawing, so tests can check texts without reading pixels back.
  std::function<void(int32_t x, int32_t y, std::string_view text, Rgb colour)> text_observer;
};

// A stored coordinate (f64) as a pixel: truncated toward zero and saturated,
// so that corrupted values (NaN, huge) never overflow the conversion.
inline int32_t TruncToPixel(double v) {
  if (std::isnan(v) || v <= -2147483648.0) return INT32_MIN;
  if (v >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(v);
}

// The size class of marks and texts for a W x H image: 0 up to 320 x 320,
// 1 up to 1280 x 1280, 2 up to 2560 x 2560, else 3.
uint32_t MarkSizeClass(uint32_t width, uint32_t height);

// The glyph advance of the overlay text in the given class: 10, 20, 60 or 100
// pixels (classes above 3 count as 3).
int32_t MarkScale(uint32_t mark_size_class);
// n glyph advances in the given class: n * MarkScale(mark_size_class).
int32_t MarkScale(uint32_t mark_size_class, int32_t n);

// Colour index table (the library's blob colours read as 0x00RRGGBB, index 0
// and indices above 15 black) with every zero component replaced by 1, so that
// the colour shows instead of being transparent.
Rgb OverlayColour(uint32_t index);

// One pixel, drawn when 0 < x < W - 1 and 0 < y < H - 1.
void DrawPixel(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour);

// A square centred on (x, y), drawn when 1 < x < W - 2 and 1 < y < H - 2:
// 5 x 5 when W > 1280, 3 x 3 when W > 320, else the single pixel.
void DrawDot(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour);

// Dashed outline of dots: dashes of 12 dots in the colour, gaps of 8 dark dots.
// The horizontal edges cover x = left .. right - 1 and the vertical edges
// y = top .. bottom - 1, each pass with its own dash pattern; so the corner
// (right, bottom) stays empty, and left = right draws only the vertical edges.
void DrawDashedRect(const OverlayCanvas& canvas, int32_t left, int32_t top, int32_t right,
                    int32_t bottom, Rgb colour);

// Line of dots: x runs from the left end while x <= x2 by repeated addition
// of 0.02 (so the sum's rounding decides, and the right end column is often
// not reached); a vertical line steps by rows. Lines steeper than 50 rows per
// column show gaps.
void DrawLine(const OverlayCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
              Rgb colour);

// Dots along a circular arc from angle `start` while the angle is at most `end`,
// in steps of `step` (radians, counter-clockwise from +x with y up). Nothing is
// drawn when start > end; a step that is not positive draws the start dot only.
void DrawArc(const OverlayCanvas& canvas, int32_t cx, int32_t cy, double radius, double start,
             double end, double step, Rgb colour);

// Three full circles of radius 5, 6 and 7 around (x, y).
void DrawRingMark(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour);

// Two full circles of radius 12 and 11 and a three-dot-thick cross.
void DrawTargetMark(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour);

// Bitmap text, one byte a glyph, with its top-left corner at (x, y), scaled by
// the canvas's mark_size_class (advance MarkScale(class) per character). Ink
// cells take the colour; background cells are skipped, or drawn dark when
// text_background is set.
void DrawText(const OverlayCanvas& canvas, int32_t x, int32_t y, std::string_view text,
              Rgb colour);

}  // namespace orvane
