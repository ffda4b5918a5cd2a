// The grid calibration against the virtual lens's ground truth: a grid seen
// through a known distortion and tilt is found, fitted and rectified, and
// the rectified grid is straight and square.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/video/virtual_camera.h"
#include "platform/video/virtual_lens.h"
#include "rectify/grid_calibration.h"
#include "rectify/remap.h"

namespace orvane::rectify {
namespace {

// RMS distance left after the best similarity (rotation, scale, shift,
// mirror allowed) takes `ideal` onto `seen`.
double SimilarityResidual(const std::vector<Point2>& ideal, const std::vector<Point2>& seen) {
  const size_t n = ideal.size();
  double best = INFINITY;
  for (int mirror = 0; mirror < 2; ++mirror) {
    Point2 ci, cs;
    for (size_t i = 0; i < n; ++i) {
      const double iy = mirror ? -ideal[i].y : ideal[i].y;
      ci.x += ideal[i].x / n, ci.y += iy / n, cs.x += seen[i].x / n, cs.y += seen[i].y / n;
    }
    double a = 0, b = 0, d = 0;
    for (size_t i = 0; i < n; ++i) {
      const double x = ideal[i].x - ci.x, y = (mirror ? -ideal[i].y : ideal[i].y) - ci.y;
      const double u = seen[i].x - cs.x, v = seen[i].y - cs.y;
      a += x * u + y * v, b += x * v - y * u, d += x * x + y * y;
    }
    const double p = a / d, q = b / d;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
      const double x = ideal[i].x - ci.x, y = (mirror ? -ideal[i].y : ideal[i].y) - ci.y;
      const double ex = cs.x + p * x - q * y - seen[i].x, ey = cs.y + q * x + p * y - seen[i].y;
      sum += ex * ex + ey * ey;
    }
    best = std::min(best, std::sqrt(sum / n));
  }
  return best;
}

struct LensCase {
  const char* lens;
  uint32_t width, height;
};

TEST(GridCalibration, RoundTripThroughKnownLensesGivesAStraightSquareGrid) {
  const LensCase cases[] = {
      {"k1=-0.2,tilt=10", 1280, 720},
      {"k1=0.12,k2=-0.05,tilt=-8", 800, 600},
      {"k1=-0.1,p1=0.002,p2=-0.001", 640, 480},
      {"tilt=0", 640, 480}, // no lens at all: the fit must not invent one
  };
  for (const LensCase& c : cases) {
    SCOPED_TRACE(c.lens);
    video::VirtualLens lens;
    ASSERT_TRUE(video::ParseVirtualLens(c.lens, &lens));
    video::Picture picture;
    ASSERT_TRUE(video::DrawSyntheticScene(video::kVirtualGridSource, lens, c.width, c.height, &picture));
    const GridSpec spec{GridKind::Dots, video::kGridRows, video::kGridCols, 2.5};
    std::vector<Point2> points;
    ASSERT_TRUE(DetectGrid(picture.bgrx.data(), c.width, c.height, c.width * 4, spec, &points));
    std::string error;
    const auto fit = FitGrid(spec, {points}, c.width, c.height, &error);
    ASSERT_TRUE(fit) << error;
    EXPECT_LT(fit->figures.rms, 0.1);
    EXPECT_LT(fit->figures.held_out_rms, 0.1);
    EXPECT_EQ(fit->figures.fitted + fit->figures.held_out, spec.rows * spec.cols);

    // Held-out dots: where the fitted model puts their true camera positions,
    // against their true places on the plane.
    OutputFrame frame;
    ASSERT_TRUE(FrameOf(fit->model, &frame));
    const video::GridLayout g = video::LayoutGrid(c.width, c.height);
    std::vector<Point2> truth, rectified;
    for (uint32_t r = 0; r < spec.rows; ++r) {
      for (uint32_t col = 0; col < spec.cols; ++col) {
        if (!IsHeldOut(r, col)) continue;
        // The scene draws in pixel-edge coordinates; the lens counts centres.
        const double sx = g.first_x + col * g.pitch - 0.5, sy = g.first_y + r * g.pitch - 0.5;
        Point2 camera, plane;
        video::LensForward(lens, c.width, c.height, sx, sy, &camera.x, &camera.y);
        ASSERT_TRUE(PlanePointOf(fit->model, camera, &plane));
        truth.push_back({sx, sy});
        rectified.push_back(OutputOfPlane(fit->model, frame, plane));
      }
    }
    EXPECT_LT(SimilarityResidual(truth, rectified), 0.1);

    // The rectified picture itself: its grid found again is a square grid.
    RemapTables tables;
    ASSERT_TRUE(tables.Build(fit->model));
    video::Picture out = picture;
    tables.Apply(picture.bgrx.data(), out.bgrx.data());
    std::vector<Point2> again, ideal;
    ASSERT_TRUE(DetectGrid(out.bgrx.data(), c.width, c.height, c.width * 4, spec, &again));
    for (uint32_t r = 0; r < spec.rows; ++r) {
      for (uint32_t col = 0; col < spec.cols; ++col) ideal.push_back({double(col), double(r)});
    }
    EXPECT_LT(SimilarityResidual(ideal, again), 0.1);
    // The scale at the centre stays the camera's (the lens magnifies by 1
    // there and foreshortens by the cosine of the tilt across).
    EXPECT_NEAR(OutputScale(frame) * spec.pitch / g.pitch, 1.0, 0.01);
  }
}

TEST(GridCalibration, RefusesWhatCannotBeAGridOrAFit) {
  const GridSpec good{GridKind::Dots, 9, 15, 1.0};
  const GridSpec bad_specs[] = {{GridKind::Dots, 2, 15, 1.0}, {GridKind::Dots, 9, 101, 1.0},
                                {GridKind::Dots, 9, 15, 0.0}, {GridKind::Chessboard, 9, 15, NAN},
                                {GridKind::Dots, 9, 15, -1.0}};
  for (const GridSpec& s : bad_specs) EXPECT_TRUE(CheckGridSpec(s));
  EXPECT_FALSE(CheckGridSpec(good));

  // A plain picture holds no grid; a view short of points fits nothing.
  std::vector<uint8_t> blank(64 * 48 * 4, 190);
  std::vector<Point2> points{{1, 1}};
  EXPECT_FALSE(DetectGrid(blank.data(), 64, 48, 64 * 4, good, &points));
  EXPECT_TRUE(points.empty());
  std::string error;
  EXPECT_FALSE(FitGrid(good, {std::vector<Point2>(10)}, 640, 480, &error));
  EXPECT_EQ(error, "A view does not hold the whole grid.");
  EXPECT_FALSE(FitGrid(good, {}, 640, 480, &error));
}

TEST(GridCalibration, FindsAChessboardsInnerCorners) {
  // A 10 x 8 chessboard of 40-pixel squares: 9 x 7 inner corners, on pixel edges.
  const uint32_t w = 640, h = 480, side = 40, x0 = 120, y0 = 80;
  std::vector<uint8_t> picture(size_t{w} * h * 4, 200);
  for (uint32_t y = y0; y < y0 + 8 * side; ++y) {
    for (uint32_t x = x0; x < x0 + 10 * side; ++x) {
      if (((x - x0) / side + (y - y0) / side) % 2 == 0) {
        std::fill_n(picture.begin() + (size_t{y} * w + x) * 4, 3, uint8_t{20});
      }
    }
  }
  std::vector<Point2> corners;
  ASSERT_TRUE(DetectGrid(picture.data(), w, h, w * 4, {GridKind::Chessboard, 7, 9, 1.0}, &corners));
  ASSERT_EQ(corners.size(), 63u);
  for (const Point2& p : corners) {
    // Pixel centres count from 0, so an edge between pixels lies at k - 0.5.
    EXPECT_NEAR(std::remainder(p.x - x0 + 0.5, side), 0.0, 0.15);
    EXPECT_NEAR(std::remainder(p.y - y0 + 0.5, side), 0.0, 0.15);
  }
}

} // namespace
} // namespace orvane::rectify
