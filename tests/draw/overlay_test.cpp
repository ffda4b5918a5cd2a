#include "draw/overlay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "draw/font.h"
#include "per_dot_drawing.h"

namespace orvane {
namespace {

constexpr Rgb kRed{200, 1, 1};
constexpr Rgb kGreen{1, 192, 1};

// An overlay buffer with rows padded to a multiple of four bytes plus a spare
// word, so that writes past a row's last pixel would show up.
struct TestOverlay {
  std::vector<uint8_t> bytes;
  OverlayCanvas canvas;

  TestOverlay(uint32_t width, uint32_t height, uint32_t size_class = 1) {
    canvas.width = width;
    canvas.height = height;
    canvas.stride = (width * 3 + 3) / 4 * 4 + 4;
    canvas.mark_size_class = size_class;
    bytes.assign(static_cast<size_t>(canvas.stride) * height, 0);
    canvas.pixels = bytes.data();
  }
  const uint8_t* At(int x, int y) const { return &bytes[y * canvas.stride + x * 3]; }
  bool Set(int x, int y) const {
    const uint8_t* p = At(x, y);
    return p[0] != 0 || p[1] != 0 || p[2] != 0;
  }
  bool Is(int x, int y, Rgb c) const {
    const uint8_t* p = At(x, y);
    return p[0] == c.b && p[1] == c.g && p[2] == c.r;
  }
  size_t NonZeroBytes() const {
    size_t n = 0;
    for (uint8_t b : bytes) n += b != 0;
    return n;
  }
  std::vector<std::pair<int, int>> SetPixels() const {
    std::vector<std::pair<int, int>> out;
    for (uint32_t y = 0; y < canvas.height; ++y) {
      for (uint32_t x = 0; x < canvas.width; ++x) {
        if (Set(x, y)) out.emplace_back(x, y);
      }
    }
    return out;
  }
};

TEST(MarkSize, ClassFollowsTheLargerSide) {
  EXPECT_EQ(MarkSizeClass(320, 320), 0u);
  EXPECT_EQ(MarkSizeClass(320, 240), 0u);
  EXPECT_EQ(MarkSizeClass(321, 240), 1u);
  EXPECT_EQ(MarkSizeClass(200, 1280), 1u);
  EXPECT_EQ(MarkSizeClass(1281, 10), 2u);
  EXPECT_EQ(MarkSizeClass(2560, 2560), 2u);
  EXPECT_EQ(MarkSizeClass(10, 2561), 3u);
  EXPECT_EQ(MarkScale(0), 10);
  EXPECT_EQ(MarkScale(1), 20);
  EXPECT_EQ(MarkScale(2), 60);
  EXPECT_EQ(MarkScale(3), 100);
  EXPECT_EQ(MarkScale(1, 4), 80);
  EXPECT_EQ(MarkScale(3, 4), 400);
}

TEST(OverlayColour, ReadsTheTableAsRgbWithZerosRaisedToOne) {
  auto same = [](Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; };
  EXPECT_TRUE(same(OverlayColour(1), Rgb{128, 1, 1}));  // dark red
  EXPECT_TRUE(same(OverlayColour(6), Rgb{1, 192, 192}));
  EXPECT_TRUE(same(OverlayColour(12), Rgb{1, 1, 255}));
  EXPECT_TRUE(same(OverlayColour(15), Rgb{255, 255, 255}));
  EXPECT_TRUE(same(OverlayColour(0), kOverlayDark));
  EXPECT_TRUE(same(OverlayColour(16), kOverlayDark));
}

TEST(DrawPixel, WritesBlueGreenRedInsideTheBorder) {
  TestOverlay o(10, 8);
  DrawPixel(o.canvas, 5, 6, Rgb{10, 20, 30});
  EXPECT_EQ(o.At(5, 6)[0], 30);
  EXPECT_EQ(o.At(5, 6)[1], 20);
  EXPECT_EQ(o.At(5, 6)[2], 10);
  EXPECT_EQ(o.NonZeroBytes(), 3u);

  TestOverlay border(10, 8);
  for (auto [x, y] : {std::pair{0, 3}, {9, 3}, {3, 0}, {3, 7}, {-1, 3}, {3, -5}, {10, 3}}) {
    DrawPixel(border.canvas, x, y, kRed);
  }
  EXPECT_EQ(border.NonZeroBytes(), 0u);
  DrawPixel(border.canvas, 8, 6, kRed);  // the last drawable column and row
  EXPECT_TRUE(border.Is(8, 6, kRed));
}

TEST(DrawDot, SquareSizeFollowsTheWidth) {
  TestOverlay o(640, 40);
  DrawDot(o.canvas, 1, 10, kRed);
  DrawDot(o.canvas, 638, 10, kRed);
  DrawDot(o.canvas, 10, 1, kRed);
  DrawDot(o.canvas, 10, 38, kRed);
  EXPECT_EQ(o.NonZeroBytes(), 0u);
  DrawDot(o.canvas, 2, 10, kRed);
  EXPECT_EQ(o.SetPixels().size(), 9u);
  for (int y = 9; y <= 11; ++y) {
    for (int x = 1; x <= 3; ++x) EXPECT_TRUE(o.Is(x, y, kRed));
  }
  DrawDot(o.canvas, 637, 37, kRed);
  EXPECT_TRUE(o.Is(638, 38, kRed));
  EXPECT_FALSE(o.Set(639, 39));

  TestOverlay wide(1281, 10);
  DrawDot(wide.canvas, 2, 2, kRed);
  EXPECT_EQ(wide.SetPixels().size(), 25u);
  EXPECT_TRUE(wide.Is(0, 0, kRed));

  TestOverlay small(320, 10);
  DrawDot(small.canvas, 5, 5, kRed);
  EXPECT_EQ(small.SetPixels().size(), 1u);
}

TEST(DrawDot, TinyImagesDrawNothing) {
  // W - 2 must not wrap around for images narrower than three pixels.
  for (uint32_t size : {0u, 1u, 2u, 4u}) {
    TestOverlay o(size, size);
    for (int v = -2; v <= 4; ++v) {
      DrawDot(o.canvas, v, v, kRed);
      if (size < 3) DrawPixel(o.canvas, v, v, kRed);
    }
    EXPECT_EQ(o.NonZeroBytes(), 0u) << size;
  }
}

TEST(DrawDashedRect, DashesRestartOnEachPassAndSkipTheLastCorner) {
  TestOverlay o(200, 100);  // single-pixel dots
  DrawDashedRect(o.canvas, 10, 20, 60, 70, kGreen);
  auto expected = [](int i) { return i % 20 < 12 ? kGreen : kOverlayDark; };
  for (int i = 0; i < 50; ++i) {
    EXPECT_TRUE(o.Is(10 + i, 20, expected(i))) << i;
    EXPECT_TRUE(o.Is(10 + i, 70, expected(i))) << i;
    EXPECT_TRUE(o.Is(10, 20 + i, expected(i))) << i;
    EXPECT_TRUE(o.Is(60, 20 + i, expected(i))) << i;
  }
  EXPECT_FALSE(o.Set(60, 70));
  EXPECT_EQ(o.SetPixels().size(), 4u * 50u - 1u);  // (10, 20) is drawn by both passes

  TestOverlay line(200, 100);
  DrawDashedRect(line.canvas, 30, 10, 30, 40, kGreen);
  for (auto [x, y] : line.SetPixels()) {
    EXPECT_EQ(x, 30);
    EXPECT_TRUE(y >= 10 && y < 40);
  }
  EXPECT_EQ(line.SetPixels().size(), 30u);
}

// A rectangle reaching far outside the image draws the same dots inside it as
// a walk over every position would, and does not walk the positions outside.
TEST(DrawDashedRect, FarOutsideCornersKeepTheDashPhase) {
  TestOverlay o(200, 100);
  DrawDashedRect(o.canvas, -7, -3, 1000, 50, kGreen);
  auto expected = [](int i) { return i % 20 < 12 ? kGreen : kOverlayDark; };
  for (int x = 2; x < 198; ++x) EXPECT_TRUE(o.Is(x, 50, expected(x + 7))) << x;
  TestOverlay huge(200, 100);
  DrawDashedRect(huge.canvas, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, kGreen);
  EXPECT_EQ(huge.SetPixels().size(), 0u); // every edge lies outside
  DrawDashedRect(huge.canvas, INT32_MIN, 40, INT32_MAX, 60, kGreen);
  EXPECT_TRUE(huge.Is(5, 40, expected(int((5 - int64_t(INT32_MIN)) % 20))));
}

TEST(DrawLine, CoversEveryColumnBetweenItsEnds) {
  // x = 10 plus 2000 additions of 0.02 stays just below 50, and the next
  // addition passes 50: the end column itself is not drawn.
  TestOverlay o(200, 100);
  DrawLine(o.canvas, 50, 20, 10, 20, kRed);  // end points swapped
  for (int x = 10; x <= 49; ++x) EXPECT_TRUE(o.Is(x, 20, kRed)) << x;
  EXPECT_EQ(o.SetPixels().size(), 40u);

  TestOverlay slope(200, 100);
  DrawLine(slope.canvas, 10, 10, 50, 30, kRed);
  std::vector<bool> column(200, false);
  for (auto [x, y] : slope.SetPixels()) {
    column[x] = true;
    EXPECT_NEAR(y, 10 + (x - 10) * 0.5, 1.0) << x;
  }
  for (int x = 10; x <= 49; ++x) EXPECT_TRUE(column[x]) << x;

  TestOverlay vertical(200, 100);
  DrawLine(vertical.canvas, 7, 60, 7, 40, kRed);
  EXPECT_EQ(vertical.SetPixels().size(), 21u);
  EXPECT_TRUE(vertical.Is(7, 40, kRed));
  EXPECT_TRUE(vertical.Is(7, 60, kRed));
}

TEST(DrawLine, FarOutsideEndPointsOnlyWalkTheImage) {
  TestOverlay o(200, 100);
  DrawLine(o.canvas, -2000000000, 5, 2000000000, 5, kRed);
  DrawLine(o.canvas, 9, -2000000000, 9, 2000000000, kRed);
  for (int x = 2; x <= 197; ++x) EXPECT_TRUE(o.Is(x, 5, kRed)) << x;
  for (int y = 2; y <= 97; ++y) EXPECT_TRUE(o.Is(9, y, kRed)) << y;
  EXPECT_EQ(o.SetPixels().size(), 196u + 96u - 1u);
}

// The line as a plain loop: x from x1 by repeated addition of 0.02 while
// x <= x2, a dot at (trunc(x), trunc(y1 + (x - x1) * m)).
void ReferenceLine(const OverlayCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                   Rgb colour) {
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  if (x1 == x2) {
    for (int32_t y = std::min(y1, y2); y <= std::max(y1, y2); ++y) DrawDot(canvas, x1, y, colour);
    return;
  }
  const double m = (double(y2) - y1) / (double(x2) - x1);
  for (double x = x1; x <= x2; x += 0.02) {
    if (x < 2.0) continue;  // no column left of 2 takes a dot; saves the calls
    DrawDot(canvas, int32_t(std::trunc(x)), int32_t(std::trunc(y1 + (x - x1) * m)), colour);
  }
}

TEST(DrawLine, DotForDotTheAccumulatingWalk) {
  std::mt19937 rng(11);
  auto in = [&](int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
  };
  struct Case {
    uint32_t w, h;
    int lines;
  };
  for (auto [w, h, lines] : {Case{160, 90, 720}, Case{641, 200, 300}, Case{1300, 40, 120}}) {
    TestOverlay got(w, h), want(w, h);
    const int32_t W = int32_t(w), H = int32_t(h);
    for (int i = 0; i < lines; ++i) {
      int32_t x1, y1, x2, y2;
      switch (i % 6) {
        case 0:  // a cross arm of the outline tracing, 5 pixels wide
          x1 = in(-3, W + 3), y1 = in(-3, H + 3), x2 = x1 + 4, y2 = y1;
          break;
        case 1:  // short and steep
          x1 = in(0, W), y1 = in(0, H), x2 = x1 + in(-3, 3), y2 = y1 + in(-200, 200);
          break;
        case 2:  // starting far to the left: many binary exponents to walk through
          x1 = i % 60 == 2 ? -in(1000, 40000) : -in(5, 1000), y1 = in(-H, 2 * H),
          x2 = in(0, W + 10), y2 = in(-H, 2 * H);
          break;
        default:  // ends in and around the image
          x1 = in(-W / 2, W + W / 2), y1 = in(-H / 2, H + H / 2);
          x2 = in(-W / 2, W + W / 2), y2 = in(-H / 2, H + H / 2);
          break;
      }
      std::fill(got.bytes.begin(), got.bytes.end(), 0);
      std::fill(want.bytes.begin(), want.bytes.end(), 0);
      DrawLine(got.canvas, x1, y1, x2, y2, kRed);
      ReferenceLine(want.canvas, x1, y1, x2, y2, kRed);
      ASSERT_TRUE(got.bytes == want.bytes)
          << w << "x" << h << ": (" << x1 << ", " << y1 << ") to (" << x2 << ", " << y2 << ")";
    }
  }
  // The cross arms stop short of their right end.
  TestOverlay cross(200, 100);
  DrawLine(cross.canvas, 98, 50, 102, 50, kRed);
  EXPECT_EQ(cross.SetPixels(),
            (std::vector<std::pair<int, int>>{{98, 50}, {99, 50}, {100, 50}, {101, 50}}));
}

// The walk as it was before it was clipped to the image's rows: every sum
// from column 2 to x2 or column W - 2 is evaluated, whatever its row. Far
// left of the image, whole runs of sums are skipped exactly (as the plain
// loop above proves against it on short lines).
double UnclippedAdvance(double x, double limit) {
  while (x < limit) {
    if (x < -4.0) {
      int exponent;
      std::frexp(x, &exponent);
      const double u = std::ldexp(1.0, exponent - 53);
      const int64_t units = static_cast<int64_t>(-x / u);
      const int64_t d = std::llround(0.02 / u);
      const int64_t room = units - (int64_t{1} << 52) - d - 1;
      if (room >= 0) {
        x = -static_cast<double>(units - (room / d + 1) * d) * u;
        continue;
      }
    }
    x += 0.02;
  }
  return x;
}

void UnclippedLine(const OverlayCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                   Rgb colour) {
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  if (x1 == x2) {
    DrawLine(canvas, x1, y1, x2, y2, colour);  // the vertical walk is not clipped anew
    return;
  }
  if (x2 < 2) return;
  const double m = (double(y2) - y1) / (double(x2) - x1);
  for (double x = UnclippedAdvance(x1, 2.0); x <= x2 && x < double(canvas.width) - 2.0; x += 0.02) {
    const double y = y1 + (x - x1) * m;
    if (!(y > -2147483648.0 && y < 4294967296.0)) continue;
    DrawDot(canvas, int32_t(std::trunc(x)), int32_t(int64_t(y)), colour);
  }
}

// Lines from hostile drawing data: end points anywhere in the coordinate
// range, and long lines through the image at every slope, entering and
// leaving it through every side. The clipped walk draws exactly what the
// unclipped one drew.
TEST(DrawLine, ClippedWalkDrawsDotForDotTheUnclippedOne) {
  std::mt19937 rng(27);
  auto in = [&](int64_t lo, int64_t hi) {
    return static_cast<int32_t>(std::uniform_int_distribution<int64_t>(lo, hi)(rng));
  };
  for (auto [w, h] : {std::pair<uint32_t, uint32_t>{1920, 1080}, {330, 250}, {40, 6}, {40, 4}}) {
    TestOverlay got(w, h, MarkSizeClass(w, h)), want(w, h, MarkSizeClass(w, h));
    const int32_t W = int32_t(w), H = int32_t(h);
    for (int i = 0; i < 400; ++i) {
      int32_t x1, y1, x2, y2;
      if (i % 2 == 0) {  // anywhere at all
        x1 = in(INT32_MIN, INT32_MAX), y1 = in(INT32_MIN, INT32_MAX);
        x2 = in(INT32_MIN, INT32_MAX), y2 = in(INT32_MIN, INT32_MAX);
      } else {  // through a point of the image, reaching out by up to 2^30
        const int32_t px = in(-2, W + 2), py = in(-2, H + 2);
        const int64_t reach = int64_t{1} << in(0, 30);
        const double a = std::uniform_real_distribution<double>(0.0, 6.2832)(rng);
        x1 = int32_t(px - reach * std::cos(a)), y1 = int32_t(py - reach * std::sin(a));
        x2 = int32_t(px + reach * std::cos(a) * in(0, 3)), y2 = int32_t(py + reach * std::sin(a));
      }
      std::fill(got.bytes.begin(), got.bytes.end(), 0);
      std::fill(want.bytes.begin(), want.bytes.end(), 0);
      DrawLine(got.canvas, x1, y1, x2, y2, kRed);
      UnclippedLine(want.canvas, x1, y1, x2, y2, kRed);
      ASSERT_TRUE(got.bytes == want.bytes)
          << w << "x" << h << ": (" << x1 << ", " << y1 << ") to (" << x2 << ", " << y2 << ")";
    }
  }
}

// Arcs around centres inside, near and far outside the image, with radii
// from none to huge and not a number: the same dots as the plain loop.
TEST(DrawArc, SkippedArcsAreThoseWithoutADot) {
  std::mt19937 rng(5);
  auto in = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
  TestOverlay got(330, 250), want(330, 250);
  for (int i = 0; i < 300; ++i) {
    const double radius = i % 50 == 0 ? std::nan("") : i % 3 == 0 ? in(0, 20) : in(-400, 400) * 1.5;
    const int32_t cx = in(-450, 780), cy = in(-450, 700);
    std::fill(got.bytes.begin(), got.bytes.end(), 0);
    std::fill(want.bytes.begin(), want.bytes.end(), 0);
    DrawArc(got.canvas, cx, cy, radius, 0.0, 6.28, 0.01, kRed);
    for (double a = 0.0; a <= 6.28; a += 0.01) {
      const double x = cx + radius * std::cos(a), y = cy - radius * std::sin(a);
      if (x > -1e9 && x < 1e9 && y > -1e9 && y < 1e9) DrawDot(want.canvas, int32_t(x), int32_t(y), kRed);
    }
    ASSERT_TRUE(got.bytes == want.bytes) << cx << ", " << cy << " r " << radius;
  }
}

TEST(DrawArc, CircleDotsLieOnTheRadius) {
  TestOverlay o(200, 200);
  DrawArc(o.canvas, 100, 100, 40.0, 0.0, 6.2831854, 0.02, kRed);
  const auto pixels = o.SetPixels();
  ASSERT_GT(pixels.size(), 150u);
  for (auto [x, y] : pixels) {
    EXPECT_NEAR(std::hypot(x - 100.0, y - 100.0), 40.0, 1.5) << x << "," << y;
  }
  // Every 30-degree sector holds dots; angles count counter-clockwise with
  // y up, so the first quarter turn lies above and right of the centre.
  std::vector<int> sectors(12, 0);
  for (auto [x, y] : pixels) {
    const double a = std::atan2(100.0 - y, x - 100.0);
    ++sectors[static_cast<int>(std::floor((a + M_PI) / (M_PI / 6))) % 12];
  }
  for (int count : sectors) EXPECT_GT(count, 5);
  TestOverlay quarter(200, 200);
  DrawArc(quarter.canvas, 100, 100, 40.0, 0.1, 1.4, 0.02, kRed);
  for (auto [x, y] : quarter.SetPixels()) EXPECT_TRUE(x > 100 && y < 100) << x << "," << y;
}

TEST(DrawArc, DegenerateAnglesAndRadii) {
  TestOverlay o(200, 200);
  DrawArc(o.canvas, 100, 100, 10.0, 1.0, 0.5, 0.01, kRed);  // start > end
  EXPECT_EQ(o.NonZeroBytes(), 0u);
  DrawArc(o.canvas, 100, 100, 10.0, 0.0, 0.0, 0.01, kRed);  // a single dot
  EXPECT_EQ(o.SetPixels(), (std::vector<std::pair<int, int>>{{110, 100}}));
  DrawArc(o.canvas, 50, 50, 10.0, 0.0, 1.0, 0.0, kRed);  // no step: one dot, no hang
  DrawArc(o.canvas, 50, 50, 10.0, 0.0, 1.0, -1.0, kRed);
  EXPECT_EQ(o.SetPixels().size(), 2u);
  DrawArc(o.canvas, 50, 50, std::nan(""), 0.0, 1.0, 0.1, kRed);
  DrawArc(o.canvas, 50, 50, 1e300, 0.0, 1.0, 0.1, kRed);
  EXPECT_EQ(o.SetPixels().size(), 2u);
}

TEST(DrawMarks, RingAndTargetShapes) {
  TestOverlay ring(100, 100);
  DrawRingMark(ring.canvas, 50, 50, kRed);
  for (auto [x, y] : ring.SetPixels()) {
    const double r = std::hypot(x - 50.0, y - 50.0);
    EXPECT_TRUE(r > 3.5 && r < 8.5) << x << "," << y;
  }
  EXPECT_TRUE(ring.Set(55, 50));
  EXPECT_TRUE(ring.Set(57, 50));

  TestOverlay target(100, 100);
  DrawTargetMark(target.canvas, 50, 50, kRed);
  for (int d = -7; d <= 6; ++d) {
    for (int t = -1; t <= 1; ++t) {
      EXPECT_TRUE(target.Is(50 + d, 50 + t, kRed));
      EXPECT_TRUE(target.Is(50 + t, 50 + d, kRed));
    }
  }
  EXPECT_FALSE(target.Set(57, 50));  // the cross is one dot shorter on the right
  EXPECT_FALSE(target.Set(50, 57));
  EXPECT_TRUE(target.Set(62, 50));
}

// Two canvases of noise, the same in both, drawn into alike: one by the
// drawing under test, one dot by dot (per_dot_drawing.h). Each call takes a
// new colour, so that a pixel drawn or left out by mistake shows.
struct SideBySide {
  TestOverlay got, want;
  uint8_t shade = 0;
  SideBySide(uint32_t w, uint32_t h) : got(w, h, MarkSizeClass(w, h)), want(w, h, MarkSizeClass(w, h)) {
    std::mt19937 rng(w * 7919 + h);
    for (uint8_t& b : got.bytes) b = static_cast<uint8_t>(rng());
    want.bytes = got.bytes;
  }
  Rgb Next() {
    shade = static_cast<uint8_t>(shade % 250 + 1);
    return Rgb{shade, static_cast<uint8_t>(255 - shade), static_cast<uint8_t>(shade * 7)};
  }
  int32_t W() const { return int32_t(got.canvas.width); }
  int32_t H() const { return int32_t(got.canvas.height); }
};

int32_t Clamped(double v) { return int32_t(std::clamp(v, -2147483648.0, 2147483647.0)); }

// Canvases of every dot size (5 x 5, 3 x 3, single pixels), down to those too
// small for any dot.
constexpr std::pair<uint32_t, uint32_t> kCanvases[] = {
    {1920, 1080}, {1281, 12}, {330, 250}, {321, 7}, {320, 200}, {40, 6}, {6, 40}, {5, 5}, {3, 3}};

// Lines filled as spans of rows draw exactly the dots of the walk: level and
// vertical lines on and around every border row and column, single points,
// slopes from nearly level (the crossing record's) to steeper than the walk's
// 50 rows a column, lines from and to the ends of the coordinate range, and
// random lines anywhere and through the image.
TEST(DrawLine, SpansDrawDotForDotThePerDotWalk) {
  std::mt19937 rng(31);
  auto in = [&](int64_t lo, int64_t hi) {
    return static_cast<int32_t>(std::uniform_int_distribution<int64_t>(lo, hi)(rng));
  };
  for (auto [w, h] : kCanvases) {
    SideBySide o(w, h);
    const int32_t W = o.W(), H = o.H(), lo = INT32_MIN, hi = INT32_MAX;
    std::vector<std::array<int32_t, 4>> lines;
    for (int32_t y : {-1, 0, 1, 2, 3, H / 2, H - 4, H - 3, H - 2, H - 1, H}) {
      lines.push_back({1, y, W - 2, y});
      lines.push_back({-5, y, W + 5, y});
      lines.push_back({lo, y, hi, y});
      lines.push_back({W / 2 + 4, y, W / 2, y});
    }
    for (int32_t x : {-1, 0, 1, 2, 3, W / 2, W - 4, W - 3, W - 2, W - 1, W}) {
      lines.push_back({x, 1, x, H - 2});
      lines.push_back({x, H + 5, x, -5});
      lines.push_back({x, lo, x, hi});
      lines.push_back({x, 3, x, 3});
    }
    for (double slope : {1e-6, -1e-6, 1e-3, 0.3, -0.5, 1.0, -1.0, 2.5, 10.0, -49.0, 50.0, 51.0,
                         -1000.0, 1e6}) {
      for (double reach : {W / 3.0, 4.0 * W, 1e9}) {
        lines.push_back({Clamped(W / 2.0 - reach), Clamped(H / 2.0 - slope * reach),
                         Clamped(W / 2.0 + reach), Clamped(H / 2.0 + slope * reach)});
      }
    }
    for (auto l : {std::array<int32_t, 4>{0, 0, W - 1, H - 1}, {0, H - 1, W - 1, 0},
                   {W - 4, -10, W + 10, 4}, {-3, H - 4, 4, H + 3}, {lo, lo, hi, hi}, {lo, hi, hi, lo},
                   {-2000000000, H / 2 - 1500, 2000000000, H / 2 + 1500}}) {
      lines.push_back(l);
    }
    for (int i = 0; i < 300; ++i) {
      if (i % 2 == 0) {
        lines.push_back({in(lo, hi), in(lo, hi), in(lo, hi), in(lo, hi)});
      } else {
        const int32_t px = in(-2, W + 2), py = in(-2, H + 2);
        const double reach = std::ldexp(1.0, in(0, 30));
        const double a = std::uniform_real_distribution<double>(0.0, 6.2832)(rng);
        lines.push_back({Clamped(px - reach * std::cos(a)), Clamped(py - reach * std::sin(a)),
                         Clamped(px + reach * std::cos(a) * in(0, 3)), Clamped(py + reach * std::sin(a))});
      }
    }
    for (auto [x1, y1, x2, y2] : lines) {
      const Rgb c = o.Next();
      DrawLine(o.got.canvas, x1, y1, x2, y2, c);
      per_dot::Line(o.want.canvas, x1, y1, x2, y2, c);
      ASSERT_TRUE(o.got.bytes == o.want.bytes)
          << w << "x" << h << ": (" << x1 << ", " << y1 << ") to (" << x2 << ", " << y2 << ")";
    }
  }
}

// Lines of small whole-number slopes through a small image (one pixel a dot,
// so a sum put on a wrong row shows), from near it and from up to 10^9 away
// through its centre: their rows end on or within rounding of a sum, where
// only the rows of the sums themselves can tell the row's end.
TEST(DrawLine, SpansSettleRowEndsWithinRoundingAsTheWalk) {
  SideBySide o(320, 200);
  for (int32_t dy = -24; dy <= 24; ++dy) {
    for (int32_t dx = 1; dx <= 24; ++dx) {
      for (int64_t steps : {0, 1, 1000, 100000, 1000000000 / (24 * 24)}) {
        // From (100 - steps dx, 100 - steps dy), or from near the image.
        const int32_t x1 = steps > 1 ? static_cast<int32_t>(100 - steps * dx) : steps == 1 ? 130 : -7;
        const int32_t y1 = steps > 1 ? static_cast<int32_t>(100 - steps * dy) : 100 - dy * (x1 - 100) / dx;
        const int32_t k = static_cast<int32_t>(steps) + 400 / dx + 1;
        const Rgb c = o.Next();
        DrawLine(o.got.canvas, x1, y1, x1 + k * dx, y1 + k * dy, c);
        per_dot::Line(o.want.canvas, x1, y1, x1 + k * dx, y1 + k * dy, c);
        ASSERT_TRUE(o.got.bytes == o.want.bytes) << dy << "/" << dx << " from (" << x1 << ", " << y1 << ")";
      }
    }
  }
  // Lines from far away, found by a search, on which the line's equation
  // puts a row's end just past a sum that the rounding of y still keeps on
  // the row before (or the other way round).
  for (auto [x1, y1, x2, y2] :
       {std::array<int32_t, 4>{-1125142141, 1496439326, 330, -159}, {-1147169599, 2147483647, 330, -151},
        {-1413453588, -975282896, 330, 307}, {-1623985881, -860712393, 330, 297},
        {-1652390492, -1437579881, 330, 133}, {-176736059, INT32_MIN, 330, 432},
        {-520359888, 1228049803, 330, -310}}) {
    const Rgb c = o.Next();
    DrawLine(o.got.canvas, x1, y1, x2, y2, c);
    per_dot::Line(o.want.canvas, x1, y1, x2, y2, c);
    ASSERT_TRUE(o.got.bytes == o.want.bytes) << "(" << x1 << ", " << y1 << ") to (" << x2 << ", " << y2 << ")";
  }
}

// Drawn in two bands of rows, one after the other, every kind of drawing
// leaves the bytes it leaves drawn whole: lines through and along the band's
// edge (their walks are cut to the band's rows), marks, arcs, dots, dashed
// outlines and text across it.
TEST(OverlayBand, TwoBandsDrawWhatTheWholeCanvasDraws) {
  std::mt19937 rng(17);
  auto in = [&](int64_t lo, int64_t hi) {
    return static_cast<int32_t>(std::uniform_int_distribution<int64_t>(lo, hi)(rng));
  };
  for (auto [w, h] : kCanvases) {
    SideBySide o(w, h);
    const int32_t W = o.W(), H = o.H();
    for (int32_t split : {1, 2, H / 2 - 1, H / 2, H - 3, H - 1}) {
      if (split < 0) continue;
      OverlayCanvas upper = o.got.canvas, lower = o.got.canvas;
      upper.band_bottom = lower.band_top = static_cast<uint32_t>(split);
      int kind = 0;
      auto both = [&](auto draw) {
        const Rgb c = o.Next();
        kind = kind % 10 + 1;
        draw(o.want.canvas, c);
        draw(upper, c);
        draw(lower, c);
        ASSERT_TRUE(o.got.bytes == o.want.bytes) << w << "x" << h << " split at " << split << ", drawing " << kind;
      };
      for (int i = 0; i < 60; ++i) {
        const int32_t x = in(-4, W + 4), y = split + in(-6, 6);
        const double reach = std::ldexp(1.0, in(0, 30)), a = in(0, 6283) / 1000.0;
        const int32_t x1 = Clamped(x - reach * std::cos(a)), y1 = Clamped(y - reach * std::sin(a));
        const int32_t x2 = Clamped(x + reach * std::cos(a)), y2 = Clamped(y + reach * std::sin(a));
        const int32_t tilt = in(-1, 1) * (i % 3), radius = in(0, 40);
        both([&](const OverlayCanvas& c, Rgb k) { DrawLine(c, x1, y1, x2, y2, k); });
        both([&](const OverlayCanvas& c, Rgb k) { DrawLine(c, -5, y, W + 5, y + tilt, k); });
        both([&](const OverlayCanvas& c, Rgb k) { DrawLine(c, x, y - 9, x, y + 9, k); });
        both([&](const OverlayCanvas& c, Rgb k) { DrawTargetMark(c, x, y, k); });
        both([&](const OverlayCanvas& c, Rgb k) { DrawRingMark(c, x, y, k); });
        both([&](const OverlayCanvas& c, Rgb k) { DrawArc(c, x, y, radius, 0.0, 6.3, 0.01, k); });
        both([&](const OverlayCanvas& c, Rgb k) { DrawDot(c, x, y, k); });
        both([&](const OverlayCanvas& c, Rgb k) { DrawPixel(c, x, y, k); });
        both([&](const OverlayCanvas& c, Rgb k) { DrawDashedRect(c, x - 9, y - 7, x + 11, y + 5, k); });
        both([&](const OverlayCanvas& c, Rgb k) { DrawText(c, x, y - 4, "Band 8", k); });
        if (HasFatalFailure()) return;
      }
    }
  }
}

// Ring and target marks filled as spans draw exactly their dots, at every
// position across each border and corner (where some dots fall off) and
// inside, on canvases of every dot size.
TEST(DrawMarks, SpansDrawDotForDotTheirArcs) {
  for (auto [w, h] : kCanvases) {
    SideBySide o(w, h);
    const int32_t W = o.W(), H = o.H();
    std::vector<std::pair<int32_t, int32_t>> centres = {
        {INT32_MIN, INT32_MIN}, {INT32_MAX, H / 2}, {W / 2, INT32_MAX}, {-2000000000, 5}};
    for (int32_t d = -16; d <= 18; ++d) {
      centres.emplace_back(d, H / 2);
      centres.emplace_back(W - 1 - d, H / 2);
      centres.emplace_back(W / 2, d);
      centres.emplace_back(W / 2, H - 1 - d);
      centres.emplace_back(d, d);
      centres.emplace_back(W - 1 - d, H - 1 - d + d % 3);
    }
    for (int32_t x = 0; x < W; x += std::max(1, W / 40)) centres.emplace_back(x, H / 3 + x % 7);
    for (auto [x, y] : centres) {
      const Rgb c = o.Next();
      DrawTargetMark(o.got.canvas, x, y, c);
      per_dot::TargetMark(o.want.canvas, x, y, c);
      ASSERT_TRUE(o.got.bytes == o.want.bytes) << w << "x" << h << ": target at " << x << ", " << y;
      DrawRingMark(o.got.canvas, x, y, c);
      per_dot::RingMark(o.want.canvas, x, y, c);
      ASSERT_TRUE(o.got.bytes == o.want.bytes) << w << "x" << h << ": ring at " << x << ", " << y;
    }
  }
}

// Ink of glyph `code` at cell (u, v).
bool Ink(uint8_t code, int u, int v) { return FontGlyph(code)[v * kGlyphColumns + u] != 0; }

TEST(DrawText, ClassesScaleTheGlyphCells) {
  TestOverlay one(200, 100, 1);
  DrawText(one.canvas, 10, 20, "AH", kGreen);
  for (int v = 0; v < kGlyphRows; ++v) {
    for (int u = 0; u < kGlyphColumns; ++u) {
      EXPECT_EQ(one.Set(10 + u, 20 + v), Ink('A', u, v));
      EXPECT_EQ(one.Set(30 + u, 20 + v), Ink('H', u, v));
    }
  }

  TestOverlay half(200, 100, 0);
  DrawText(half.canvas, 10, 20, "A", kGreen);
  for (int v = 0; v < kGlyphRows; v += 2) {
    for (int u = 0; u < kGlyphColumns; u += 2)
      EXPECT_EQ(half.Set(10 + u / 2, 20 + v / 2), Ink('A', u, v));
  }

  for (int size_class : {2, 3}) {
    const int spread = size_class == 2 ? 3 : 5;
    TestOverlay big(1400, 300, size_class);  // wider than 1280: 5 x 5 dots
    DrawText(big.canvas, 10, 10, "H", kGreen);
    for (int v = 0; v < kGlyphRows; ++v) {
      for (int u = 0; u < kGlyphColumns; ++u) {
        if (Ink('H', u, v)) {
          EXPECT_TRUE(big.Is(10 + spread * u, 10 + spread * v, kGreen));
        }
      }
    }
  }
}

TEST(DrawText, BackgroundCellsAndBounds) {
  TestOverlay o(200, 100);
  o.canvas.text_background = true;
  DrawText(o.canvas, 10, 20, "-", kGreen);
  for (int v = 0; v < kGlyphRows; ++v) {
    for (int u = 0; u < kGlyphColumns; ++u) {
      EXPECT_TRUE(o.Is(10 + u, 20 + v, Ink('-', u, v) ? kGreen : kOverlayDark));
    }
  }

  TestOverlay below(200, 100);
  DrawText(below.canvas, 10, 100, "ABC", kGreen);
  DrawText(below.canvas, -2000000000, 10, "ABC", kGreen);
  DrawText(below.canvas, 2147483600, 10, "ABCDEFGH", kGreen);
  EXPECT_EQ(below.NonZeroBytes(), 0u);
}

TEST(DrawText, ReportsEachCallToTheObserver) {
  TestOverlay o(200, 100);
  std::string seen;
  o.canvas.text_observer = [&](int32_t x, int32_t y, std::string_view text, Rgb c) {
    seen += std::to_string(x) + "," + std::to_string(y) + ":" + std::string(text) + ":" +
            std::to_string(c.g) + ";";
  };
  DrawText(o.canvas, 16, 414, "12.35 in.", kGreen);
  EXPECT_EQ(seen, "16,414:12.35 in.:192;");
}

TEST(Font, EveryPrintableGlyphHasInkAndCapitalsStayOnTheirRows) {
  for (int code = 0; code < 256; ++code) {
    const bool printable = (code > 0x20 && code < 0x7F) || (code > 0xA0 && code != 0xAD);
    TestOverlay o(40, 40);
    DrawText(o.canvas, 5, 5, std::string(1, static_cast<char>(code)), kGreen);
    int top = 99, bottom = -1;
    for (auto [x, y] : o.SetPixels()) {
      top = std::min(top, y - 5);
      bottom = std::max(bottom, y - 5);
    }
    if (printable) {
      EXPECT_GE(bottom, 0) << "no ink in glyph " << code;
    }
    if (code <= 0x20 || (code >= 0x7F && code <= 0xA0)) {
      EXPECT_EQ(bottom, -1) << code;
    }
    if (code >= 'A' && code <= 'Z') {
      EXPECT_GE(top, kGlyphCapTop) << static_cast<char>(code);
      EXPECT_LE(bottom, kGlyphCapBottom) << static_cast<char>(code);
    }
    if (code == 'H' || code == 'E') {
      EXPECT_EQ(top, kGlyphCapTop);
      EXPECT_EQ(bottom, kGlyphCapBottom);
    }
    if (code == 0xB0) {
      EXPECT_LT(bottom, 12) << "degree sign sits high";
    }
  }
}

// Writes the overlay as a 24-bit bottom-up BMP, zero (transparent) pixels
// shown light grey, for a person to judge the font.
void WriteBmp(const TestOverlay& o, const std::string& path) {
  const uint32_t w = o.canvas.width, h = o.canvas.height;
  const uint32_t row = (w * 3 + 3) / 4 * 4;
  const uint32_t size = 54 + row * h;
  uint8_t header[54] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(2, size);
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  header[26] = 1;
  header[28] = 24;
  put32(34, row * h);
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(header, 1, sizeof header, f);
  std::vector<uint8_t> line(row, 0);
  for (uint32_t y = h; y-- > 0;) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* p = o.At(x, y);
      const bool transparent = p[0] == 0 && p[1] == 0 && p[2] == 0;
      for (int c = 0; c < 3; ++c) line[x * 3 + c] = transparent ? 210 : p[c];
    }
    std::fwrite(line.data(), 1, row, f);
  }
  std::fclose(f);
}

TEST(Font, PictureOfTheFourSizes) {
  TestOverlay o(2400, 760);
  const Rgb ink{1, 1, 160};
  std::string ascii, latin;
  for (int c = 0x21; c < 0x7F; ++c) ascii += static_cast<char>(c);
  for (int c = 0xA1; c <= 0xFF; ++c) latin += static_cast<char>(c);
  auto draw = [&](uint32_t size_class, int y, const std::string& text) {
    o.canvas.mark_size_class = size_class;
    DrawText(o.canvas, 8, y, text, ink);
  };
  draw(0, 8, ascii);
  draw(0, 24, latin + " 12.35 in. 45.0\xB0");
  draw(1, 44, ascii);
  draw(1, 74, latin);
  o.canvas.text_background = true;
  DrawText(o.canvas, 8, 104, "2 ft. 3 1/4 in.  90.00\xB0  MLIN  Drag and Drop", Rgb{1, 192, 1});
  o.canvas.text_background = false;
  draw(2, 140, "Lumivor 12.35 cm  45.0\xB0  Qjgy");
  draw(3, 240, "CIR 5.e-002 in. \xB0");
  draw(3, 400, "Wg 3 1/4 in.");
  draw(3, 560, "ROI 2PT 3PT MLIN");
  WriteBmp(o, std::string(ORVANE_BUILD_DIR) + "/font_sizes.bmp");
  EXPECT_GT(o.NonZeroBytes(), 0u);
}

}  // namespace
}  // namespace orvane
