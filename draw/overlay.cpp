#include "draw/overlay.h"

#include <algorithm>
#include <cmath>

#include "draw/font.h"

namespace orvane {
namespace {

// Positions are carried as 64-bit values so that offsets added to an int32
// coordinate (text cells, dot squares, line steps) can never overflow; a
// negative position is simply out of range.
void PutPixel(const OverlayCanvas& canvas, int64_t x, int64_t y, Rgb colour) {
  uint8_t* p = canvas.pixels + static_cast<size_t>(y) * canvas.stride + static_cast<size_t>(x) * 3;
  p[0] = colour.b;
  p[1] = colour.g;
  p[2] = colour.r;
}

void Pixel(const OverlayCanvas& canvas, int64_t x, int64_t y, Rgb colour) {
  if (canvas.pixels == nullptr) return;
  if (x <= 0 || x >= int64_t{canvas.width} - 1) return;
  if (y <= 0 || y >= int64_t{canvas.height} - 1) return;
  PutPixel(canvas, x, y, colour);
}

void Dot(const OverlayCanvas& canvas, int64_t x, int64_t y, Rgb colour) {
  if (canvas.pixels == nullptr) return;
  if (x <= 1 || x >= int64_t{canvas.width} - 2) return;
  if (y <= 1 || y >= int64_t{canvas.height} - 2) return;
  const int64_t half = canvas.width > 1280 ? 2 : canvas.width > 320 ? 1 : 0;
  // The bounds above keep the whole square inside the image: x - half >= 0
  // and x + half <= W - 1 for half <= 2, and likewise for y.
  for (int64_t dy = -half; dy <= half; ++dy) {
    for (int64_t dx = -half; dx <= half; ++dx) PutPixel(canvas, x + dx, y + dy, colour);
  }
}

// Truncates a real coordinate toward zero; false when it lies far outside any
// image (or is NaN), so that the dot is skipped instead of converted.
bool TruncatedCoordinate(double value, int64_t* out) {
  if (!(value > -2147483648.0 && value < 4294967296.0)) return false;
  *out = static_cast<int64_t>(value);
  return true;
}

constexpr double kLineStep = 0.02;

// The sum x += kLineStep, repeated from x as doubles add, up to its first
// value that is not below `limit`. Whole runs of additions are taken at once,
// with the same result: while x and x + step stay within one binary exponent,
// every addition rounds to the same multiple of the spacing u of the doubles
// there (0.02 / u is never a tie there, below -4 and from 2 up), so k
// additions add exactly k times that multiple. Near the end of an exponent's
// range, and between -4 and 2, the additions are made one by one.
double AdvanceLineWalk(double x, double limit) {
  constexpr int64_t kLowestUnits = int64_t{1} << 52;
  constexpr int64_t kTopUnits = int64_t{1} << 53;
  while (x < limit) {
    if (x < -4.0 || x >= 2.0) {
      int exponent;
      std::frexp(x, &exponent);  // |x| in [2^(exponent-1), 2^exponent)
      const double u = std::ldexp(1.0, exponent - 53);
      const int64_t d = std::llround(kLineStep / u);
      if (x < 0.0) {
        const int64_t units = static_cast<int64_t>(-x / u);  // exact, in [2^52, 2^53)
        // Each addition must leave at least 2^52 units (the same exponent)
        // even before rounding, when x + step lies up to d + 1 units higher.
        const int64_t room = units - kLowestUnits - d - 1;
        if (room >= 0) {
          x = -static_cast<double>(units - (room / d + 1) * d) * u;
          continue;
        }
      } else if (d > 0) {
        const int64_t units = static_cast<int64_t>(x / u);  // exact, in [2^52, 2^53)
        // Additions that stay below 2^53 units even before rounding, and that
        // end below the limit (one short, for the rounding of this bound).
        const int64_t room = (kTopUnits - 2 - units) / d;
        const double short_of_limit = std::floor((limit / u - static_cast<double>(units)) / d) - 1.0;
        const int64_t k = std::min<double>(static_cast<double>(room), short_of_limit) > 0.0
                              ? static_cast<int64_t>(std::min<double>(static_cast<double>(room),
                                                                      short_of_limit))
                              : 0;
        if (k > 0) {
          x = static_cast<double>(units + k * d) * u;
          continue;
        }
      }
    }
    x += kLineStep;
  }
  return x;
}

uint32_t ClampedClass(uint32_t mark_size_class) { return std::min<uint32_t>(mark_size_class, 3); }

// Single-precision 6.28 and 0.01 widened to double: one full turn of the marks.
constexpr double kMarkArcEnd = 6.28000020980835;
constexpr double kMarkArcStep = 0.009999999776482582;

}  // namespace

uint32_t MarkSizeClass(uint32_t width, uint32_t height) {
  if (width <= 320 && height <= 320) return 0;
  if (width <= 1280 && height <= 1280) return 1;
  if (width <= 2560 && height <= 2560) return 2;
  return 3;
}

int32_t MarkScale(uint32_t mark_size_class) {
  static constexpr int32_t kAdvance[4] = {10, 20, 60, 100};
  return kAdvance[ClampedClass(mark_size_class)];
}

int32_t MarkScale(uint32_t mark_size_class, int32_t n) { return n * MarkScale(mark_size_class); }

Rgb OverlayColour(uint32_t index) {
  static constexpr uint32_t kTable[16] = {
      0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x00C0C0, 0xC0C0C0,
      0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
  };
  const uint32_t v = index < 16 ? kTable[index] : 0;
  auto component = [](uint32_t c) { return static_cast<uint8_t>(c == 0 ? 1 : c); };
  return Rgb{component((v >> 16) & 0xFF), component((v >> 8) & 0xFF), component(v & 0xFF)};
}

void DrawPixel(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  Pixel(canvas, x, y, colour);
}

void DrawDot(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  Dot(canvas, x, y, colour);
}

void DrawDashedRect(const OverlayCanvas& canvas, int32_t left, int32_t top, int32_t right,
                    int32_t bottom, Rgb colour) {
  // The dash pattern counts from the rectangle's own corner; positions
  // outside the image draw nothing, so only the part inside is walked.
  auto dash_colour = [&](int64_t i) { return i % 20 < 12 ? colour : kOverlayDark; };
  const int64_t x_end = std::min<int64_t>(right, canvas.width);
  for (int64_t x = std::max<int64_t>(left, 0); x < x_end; ++x) {
    const Rgb c = dash_colour(x - left);
    Dot(canvas, x, top, c);
    Dot(canvas, x, bottom, c);
  }
  const int64_t y_end = std::min<int64_t>(bottom, canvas.height);
  for (int64_t y = std::max<int64_t>(top, 0); y < y_end; ++y) {
    const Rgb c = dash_colour(y - top);
    Dot(canvas, left, y, c);
    Dot(canvas, right, y, c);
  }
}

void DrawLine(const OverlayCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
              Rgb colour) {
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  if (x1 == x2) {
    if (y1 > y2) std::swap(y1, y2);
    // Rows outside the image draw nothing; skip them rather than walk them.
    const int64_t first = std::max<int64_t>(y1, 0);
    const int64_t last = std::min<int64_t>(y2, canvas.height);
    for (int64_t y = first; y <= last; ++y) Dot(canvas, x1, y, colour);
    return;
  }
  if (canvas.pixels == nullptr) return;
  // x runs from x1 by repeated addition of 0.02, so that the dots are those
  // of the accumulating double, rounding and all. Only columns 2 .. W - 3 and
  // rows 2 .. H - 3 can take a dot, so the walk is clipped to the part of the
  // line inside them before it starts: it begins at the first sum that
  // reaches column 2 and the clipped span, and stops at column W - 2 or the
  // span's end. The span is that of rows 1 .. H - 1 widened by one column on
  // either side, far more than the rounding of y1 + (x - x1) * m can move a
  // row, so every sum that could give a dot is still walked.
  if (x2 < 2) return;
  const double m = (static_cast<double>(y2) - y1) / (static_cast<double>(x2) - x1);
  const double x_end = static_cast<double>(canvas.width) - 2.0;
  double first = 2.0;
  double last = x2;
  if (m == 0.0) {
    if (y1 < 2 || int64_t{y1} >= int64_t{canvas.height} - 2) return;
  } else {
    const double a = x1 + (1.0 - y1) / m;
    const double b = x1 + (static_cast<double>(canvas.height) - 1.0 - y1) / m;
    first = std::max(first, std::min(a, b) - 1.0);
    last = std::min(last, std::max(a, b) + 1.0);
  }
  // Successive sums often land on one dot; it is painted once.
  int64_t last_x = -1, last_y = -1;
  for (double x = AdvanceLineWalk(x1, first); x <= last && x < x_end; x += kLineStep) {
    int64_t py;
    if (!TruncatedCoordinate(y1 + (x - x1) * m, &py)) continue;
    const int64_t px = static_cast<int64_t>(x);
    if (px == last_x && py == last_y) continue;
    last_x = px;
    last_y = py;
    Dot(canvas, px, py, colour);
  }
}

void DrawArc(const OverlayCanvas& canvas, int32_t cx, int32_t cy, double radius, double start,
             double end, double step, Rgb colour) {
  // Every dot lies within |radius| + 1 of the centre: an arc whose square
  // around the centre misses the image (or whose radius is not a number, so
  // that no dot has a position) draws nothing, and is not walked.
  const double reach = std::fabs(radius) + 2.0;
  if (!(reach < 1e18)) return;
  if (cx + reach < 0.0 || cx - reach > canvas.width || cy + reach < 0.0 ||
      cy - reach > canvas.height) {
    return;
  }
  for (double a = start; a <= end;) {
    int64_t px, py;
    if (TruncatedCoordinate(cx + radius * std::cos(a), &px) &&
        TruncatedCoordinate(cy - radius * std::sin(a), &py)) {
      Dot(canvas, px, py, colour);
    }
    // A step that does not advance the angle (zero, negative, NaN or too
    // small for its magnitude) would never end the loop: draw one dot only.
    const double next = a + step;
    if (!(next > a)) break;
    a = next;
  }
}

void DrawRingMark(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  for (double radius : {5.0, 6.0, 7.0}) {
    DrawArc(canvas, x, y, radius, 0.0, kMarkArcEnd, kMarkArcStep, colour);
  }
}

void DrawTargetMark(const OverlayCanvas& canvas, int32_t x, int32_t y, Rgb colour) {
  DrawArc(canvas, x, y, 12.0, 0.0, kMarkArcEnd, kMarkArcStep, colour);
  DrawArc(canvas, x, y, 11.0, 0.0, kMarkArcEnd, kMarkArcStep, colour);
  const int64_t cx = x, cy = y;
  for (int64_t v = cy - 7; v <= cy + 6; ++v) {
    Dot(canvas, cx - 1, v, colour);
    Dot(canvas, cx, v, colour);
    Dot(canvas, cx + 1, v, colour);
  }
  for (int64_t u = cx - 7; u <= cx + 6; ++u) {
    Dot(canvas, u, cy - 1, colour);
    Dot(canvas, u, cy, colour);
    Dot(canvas, u, cy + 1, colour);
  }
}

void DrawText(const OverlayCanvas& canvas, int32_t x, int32_t y, std::string_view text,
              Rgb colour) {
  if (canvas.text_observer) canvas.text_observer(x, y, text, colour);
  const uint32_t size_class = ClampedClass(canvas.mark_size_class);
  // Class 0 samples every second cell at half size; classes 2 and 3 spread
  // the cells 3 and 5 pixels apart and draw each as a dot.
  const int32_t cell_step = size_class == 0 ? 2 : 1;
  const int64_t advance = MarkScale(size_class);
  const int64_t top = y;
  int64_t left = x;
  for (char ch : text) {
    const uint8_t* glyph = FontGlyph(static_cast<uint8_t>(ch));
    for (int32_t v = 0; v < kGlyphRows; v += cell_step) {
      for (int32_t u = 0; u < kGlyphColumns; u += cell_step) {
        const bool ink = glyph[v * kGlyphColumns + u] != 0;
        if (!ink && !canvas.text_background) continue;
        const Rgb c = ink ? colour : kOverlayDark;
        switch (size_class) {
          case 0: Pixel(canvas, left + u / 2, top + v / 2, c); break;
          case 1: Pixel(canvas, left + u, top + v, c); break;
          case 2: Dot(canvas, left + 3 * u, top + 3 * v, c); break;
          default: Dot(canvas, left + 5 * u, top + 5 * v, c); break;
        }
      }
    }
    left += advance;
  }
}

}  // namespace orvane
