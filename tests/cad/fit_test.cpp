// Placing, fitting and comparing on exact-area renders of a plate drawn
// from its DXF: a perfect part, a bump, a part too large, the sides and
// signs of the deviation, and the poses and turns the coarse placing finds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "cadfit/chebyshev.h"
#include "cadfit/fit.h"
#include "tests/cad/plate.h"
#include "cadfile/dxf_read.h"

namespace orvane::cad {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kW = 480, kH = 360;

Nominal PlateNominal() {
  std::string error;
  const std::optional<cadfile::Drawing> d = cadfile::ReadDxf(cad_test::PlateDxf(), {}, &error);
  EXPECT_TRUE(d) << error;
  return BuildNominal(*d, 1.0, 5.0, 100000);
}

qgImage View(const gauge_render::Picture8& p) { return {p.px.data(), p.w, p.h, p.w, 1}; }

struct Outcome {
  FitResult fit;
  Comparison cmp;
  Nominal nominal;
};

Outcome PlaceFitCompare(const cad_test::PlateRender& r, uint64_t seed, const FitSettings& f = {}) {
  std::mt19937_64 rng(seed);
  const gauge_render::Picture8 pic = cad_test::RenderPlate(kW, kH, r, rng);
  Outcome run;
  run.nominal = PlateNominal();
  const qgImage im = View(pic);
  MeasureSettings s;
  const FitResult coarse = CoarsePlace(im, run.nominal, 1.0, s);
  EXPECT_TRUE(coarse.ok) << coarse.why;
  run.fit = FitPlacement(im, run.nominal, coarse.placement, s, f);
  EXPECT_TRUE(run.fit.ok) << run.fit.why;
  run.cmp = Compare(im, run.nominal, run.fit.placement, s);
  return run;
}

// The mean deviation of the profile points on the straight edge x = at (or
// y = at), from one end of the edge to the other.
double EdgeMean(const Outcome& run, bool vertical, double at) {
  double sum = 0;
  int n = 0;
  for (size_t i = 0; i < run.nominal.points.size(); ++i) {
    const NominalPoint& q = run.nominal.points[i];
    if (q.corner || !run.cmp.points[i].found || q.radius > 0) continue;
    if (std::fabs((vertical ? q.x : q.y) - at) > 1e-9) continue;
    sum += run.cmp.points[i].deviation;
    ++n;
  }
  return n ? sum / n : NAN;
}

TEST(CadFit, PerfectPlateAtRandomPoses) {
  std::mt19937_64 poses(7);
  std::uniform_real_distribution<double> turn(-kPi, kPi), shift(-20, 20);
  for (int k = 0; k < 4; ++k) {
    cad_test::PlateRender r;
    r.cx = kW / 2.0 + shift(poses);
    r.cy = kH / 2.0 + shift(poses);
    r.angle = turn(poses);
    SCOPED_TRACE("pose " + std::to_string(r.cx) + " " + std::to_string(r.cy) + " " + std::to_string(r.angle));
    const Outcome run = PlaceFitCompare(r, 100 + k);
    const Placement& pl = run.fit.placement;
    EXPECT_NEAR(pl.px, r.cx, 0.02);
    EXPECT_NEAR(pl.py, r.cy, 0.02);
    EXPECT_NEAR(std::remainder(pl.angle - r.angle, 2 * kPi), 0.0, 2e-4);
    EXPECT_EQ(pl.scale, 1.0);
    const Deviation& all = run.cmp.all;
    std::printf("pose %d: max |deviation| %.4f px, rms %.4f px, fit residual %.4f px, %u points\n", k,
                std::max(all.max, -all.min), all.rms, run.fit.residual, all.points);
    EXPECT_LE(std::max(all.max, -all.min), 0.05);
    EXPECT_LE(all.rms, 0.02);
    EXPECT_LE(run.fit.residual, 0.02);
    EXPECT_EQ(all.missing, 0u);
    EXPECT_GT(all.points, 600u);
    EXPECT_GT(all.corners, 0u);
  }
}

TEST(CadFit, BumpReadsItsHeightAtItsPlace) {
  cad_test::PlateRender r;
  r.cx = 235.3;
  r.cy = 178.6;
  r.angle = 0.4;
  r.bump = true;
  const Outcome run = PlaceFitCompare(r, 5);
  const Deviation& all = run.cmp.all;
  EXPECT_NEAR(all.max, 0.5, 0.05);
  ASSERT_GE(all.worst, 0);
  const NominalPoint& q = run.nominal.points[static_cast<size_t>(all.worst)];
  EXPECT_NEAR(q.y, -60, 1e-9);
  EXPECT_GT(q.x, -78);
  EXPECT_LT(q.x, -62);
  EXPECT_GE(all.min, -0.05);  // the fit did not lean on the bump
}

TEST(CadFit, PartTooLargeIsNotAbsorbed) {
  cad_test::PlateRender r;
  r.cx = 240.2;
  r.cy = 181.7;
  r.angle = -0.3;
  r.size = 1.002;
  const Outcome run = PlaceFitCompare(r, 9);
  // Opposite edges both stand out: together by 0.2 % of the width between.
  EXPECT_NEAR(EdgeMean(run, true, 110) + EdgeMean(run, true, -110), 0.44, 0.02);
  EXPECT_NEAR(EdgeMean(run, false, -60) + EdgeMean(run, false, 60), 0.24, 0.02);
  EXPECT_EQ(run.fit.placement.scale, 1.0);
}

TEST(CadFit, MissingHoleIsMissingAndTheRestStaysRight) {
  cad_test::PlateRender r;
  r.cx = 238.4;
  r.cy = 176.9;
  r.angle = 1.1;
  r.small_hole = false;
  const Outcome run = PlaceFitCompare(r, 11);
  const Deviation& hole = run.cmp.entities[3];
  EXPECT_EQ(hole.points, 0u);
  EXPECT_GT(hole.missing, 40u);
  EXPECT_EQ(run.cmp.all.missing, hole.missing);
  EXPECT_LE(std::max(run.cmp.all.max, -run.cmp.all.min), 0.05);
}

// Each kind of fit on the perfect plate and on the plate with a 0.5 px bump
// on its bottom edge: least squares and a datum keep the true pose and read
// the bump whole; min-max shares it out between the two sides.
TEST(CadFit, FitKindsOnPerfectAndBumpedPlates) {
  const FitSettings squares, minmax{true, {}}, holes{false, {{1, -1}, {2, -1}}}, bottom{false, {{0, 0}}};
  struct Case {
    const char* name;
    FitSettings fit;
    bool bump;
    double pose;           // px off the true origin at most; < 0: not checked
    double largest, least; // max |deviation| at most, at least
  } cases[] = {
      {"least squares", squares, false, 0.02, 0.05, 0},
      {"min-max", minmax, false, 0.03, 0.05, 0},
      {"datum holes", holes, false, 0.03, 0.06, 0},
      {"datum edge", bottom, false, 0.03, 0.06, 0},
      {"least squares, bump", squares, true, 0.02, 0.55, 0.45},
      {"min-max, bump", minmax, true, -1, 0.32, 0.2},
      {"datum holes, bump", holes, true, 0.03, 0.56, 0.45},
      {"datum edge on the bump", bottom, true, 0.03, 0.56, 0.45},
  };
  uint64_t seed = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cad_test::PlateRender r;
    r.cx = 236.4 + static_cast<double>(seed % 7);
    r.cy = 177.8 - static_cast<double>(seed % 5);
    r.angle = -2.5 + 0.6 * static_cast<double>(seed - 40);
    r.bump = c.bump;
    const Outcome run = PlaceFitCompare(r, seed++, c.fit);
    const Deviation& all = run.cmp.all;
    const double largest = std::max(all.max, -all.min);
    std::printf("%s: max %+.4f min %+.4f rms %.4f px, fit residual %.4f largest %.4f px, origin off %.4f px\n", c.name,
                all.max, all.min, all.rms, run.fit.residual, run.fit.largest,
                std::hypot(run.fit.placement.px - r.cx, run.fit.placement.py - r.cy));
    EXPECT_LE(largest, c.largest);
    EXPECT_GE(largest, c.least);
    EXPECT_EQ(all.missing, 0u);
    if (c.pose >= 0) {
      EXPECT_NEAR(run.fit.placement.px, r.cx, c.pose);
      EXPECT_NEAR(run.fit.placement.py, r.cy, c.pose);
      EXPECT_NEAR(std::remainder(run.fit.placement.angle - r.angle, 2 * kPi), 0.0, 3e-4);
    }
    // Min-max leaves the bump and the far side equally out.
    if (c.fit.minmax && c.bump) {
      EXPECT_NEAR(all.max, -all.min, 0.08);
    }
  }
}

// The exact min-max step against the largest residual at points about it:
// none lower; and rows that leave a direction free are refused.
TEST(CadFit, ChebyshevStepIsTheSmallestLargestResidual) {
  std::mt19937_64 rng(17);
  std::normal_distribution<double> unit(0, 1);
  auto largest = [](const auto& g, const auto& d, const std::array<double, 3>& x) {
    double m = 0;
    for (size_t i = 0; i < d.size(); ++i) m = std::max(m, std::fabs(d[i] + g[i][0] * x[0] + g[i][1] * x[1] + g[i][2] * x[2]));
    return m;
  };
  for (const size_t n : {4u, 9u, 300u}) {
    SCOPED_TRACE(n);
    std::vector<std::array<double, 3>> g(n);
    std::vector<double> d(n);
    for (size_t i = 0; i < n; ++i) g[i] = {unit(rng), unit(rng), 20 * unit(rng)}, d[i] = unit(rng);
    std::array<double, 3> x{};
    double t = 0;
    ASSERT_TRUE(ChebyshevStep(g, d, &x, &t));
    EXPECT_NEAR(largest(g, d, x), t, 1e-9);
    for (int k = 0; k < 200; ++k) {
      const double h = k < 100 ? 1e-3 : 0.3;
      const std::array<double, 3> y{x[0] + h * unit(rng), x[1] + h * unit(rng), x[2] + h * unit(rng) / 20};
      EXPECT_GE(largest(g, d, y), t - 1e-9);
    }
    for (auto& row : g) row[2] = 0;  // nothing holds the third direction
    EXPECT_FALSE(ChebyshevStep(g, d, &x, &t));
  }
}

// A drawing whose moments leave its turn open: the coarse placing tries the
// turns and keeps the one whose edges agree.
TEST(CadFit, SymmetricOutlineFindsItsTurn) {
  std::string error;
  const std::optional<cadfile::Drawing> d = cadfile::ReadDxf(cad_test::SquareDxf(), {}, &error);
  ASSERT_TRUE(d) << error;
  for (const double angle : {0.3, 1.9, -2.6}) {
    SCOPED_TRACE(angle);
    std::mt19937_64 rng(21);
    const gauge_render::Picture8 pic = cad_test::RenderSquare(kW, kH, 231.5, 182.25, angle, rng);
    Nominal n = BuildNominal(*d, 1.0, 5.0, 100000);
    const FitResult coarse = CoarsePlace(View(pic), n, 1.0, MeasureSettings{});
    ASSERT_TRUE(coarse.ok) << coarse.why;
    const FitResult fit = FitPlacement(View(pic), n, coarse.placement, MeasureSettings{}, FitSettings{});
    EXPECT_NEAR(std::remainder(fit.placement.angle - angle, 2 * kPi), 0.0, 1e-3);
    EXPECT_NEAR(fit.placement.px, 231.5, 0.05);
    EXPECT_NEAR(fit.placement.py, 182.25, 0.05);
  }
}

TEST(CadFit, SignsAndSidesFollowTheMaterial) {
  const Nominal n = PlateNominal();
  ASSERT_EQ(n.side.size(), 4u);
  // Normals point away from the material: out of the plate, into the holes.
  for (const NominalPoint& q : n.points) {
    if (q.entity == 0 && std::fabs(q.x - 110) < 1e-9) {
      EXPECT_GT(q.nx, 0.99);
    }
    if (q.entity == 0 && std::fabs(q.y - 30) < 1e-9) {
      EXPECT_GT(q.ny, 0.99);  // the notch's floor
    }
    if (q.entity == 1) {
      EXPECT_LT(q.nx * (q.x + 60) + q.ny * q.y, 0);  // towards the hole's centre
      EXPECT_EQ(q.centre_side, -1);
    }
  }
  EXPECT_NEAR(n.moments.area, 220 * 120 - 35 * 30 - kPi * (18 * 18 + 12 * 12 + 7 * 7), 25.0);
  // A plate drawn bright on dark reads the same with the bright setting.
  cad_test::PlateRender r;
  r.cx = 241;
  r.cy = 177;
  r.angle = 2.0;
  std::swap(r.dark, r.light);
  std::mt19937_64 rng(3);
  const gauge_render::Picture8 pic = cad_test::RenderPlate(kW, kH, r, rng);
  Nominal nominal = PlateNominal();
  MeasureSettings s;
  s.bright_object = true;
  const FitResult coarse = CoarsePlace(View(pic), nominal, 1.0, s);
  ASSERT_TRUE(coarse.ok) << coarse.why;
  const FitResult fit = FitPlacement(View(pic), nominal, coarse.placement, s, FitSettings{});
  EXPECT_NEAR(std::remainder(fit.placement.angle - 2.0, 2 * kPi), 0.0, 1e-3);
  EXPECT_LE(Compare(View(pic), nominal, fit.placement, s).all.rms, 0.03);
  // With the dark setting the background is taken for the part: six times
  // the drawing's area, refused with the reason.
  s.bright_object = false;
  const FitResult wrong = CoarsePlace(View(pic), nominal, 1.0, s);
  EXPECT_FALSE(wrong.ok);
  EXPECT_NE(wrong.why.find("check the drawing's unit"), std::string::npos) << wrong.why;
}

}  // namespace
}  // namespace orvane::cad
