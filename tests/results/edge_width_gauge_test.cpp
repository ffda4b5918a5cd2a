// The straight-edge and width gauges on exact renders: a blurred straight
// step and a blurred bar at several angles, with pixel noise. Each case
// reports its bias against the truth and how often the truth lies within
// two of the gauge's own standard uncertainties.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

#include "results/snap.h"
#include "support/station_fixture.h"

namespace orvane {
namespace {

using testing::AttachImage;
using testing::StationFixture;

constexpr double kPi = 3.14159265358979323846;
constexpr double kLight = 190.0, kDark = 60.0;

double Phi(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// A picture whose grey level at each pixel centre is `level` of the signed
// distance from the line through (cx, cy) with direction `angle` (station
// coordinates), plus Gaussian noise, rounded.
void Render(ImageState& im, double cx, double cy, double angle, double noise, uint32_t seed,
            const std::function<double(double)>& level) {
  std::mt19937 random(seed);
  std::normal_distribution<double> gauss(0.0, noise > 0.0 ? noise : 1.0);
  const double nx = -std::sin(angle), ny = std::cos(angle);
  for (uint32_t y = 0; y < im.height; ++y) {
    for (uint32_t x = 0; x < im.width; ++x) {
      const double d = (x - cx) * nx + (y - cy) * ny;
      const double v = std::clamp(std::round(level(d) + (noise > 0.0 ? gauss(random) : 0.0)), 0.0, 255.0);
      uint8_t* p = im.frame + y * im.stride + x * 3;
      p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
    }
  }
}

struct Tally {
  double sum = 0.0;
  int covered = 0;
  int n = 0;
  void Add(double error, double u) {
    sum += error;
    covered += std::fabs(error) <= 2.0 * u;
    ++n;
  }
  double bias() const { return sum / n; }
  double coverage() const { return double(covered) / n; }
};

constexpr int kTrials = 40;

TEST(EdgeWidthGauge, StraightEdgeAngleIsUnbiasedAndItsUncertaintyCovers) {
  const struct {
    double degrees, blur;
  } cases[] = {{0.0, 1.0}, {17.0, 1.5}, {-33.0, 2.0}, {80.0, 1.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.degrees);
    StationFixture f;
    AttachImage(f.station, 200, 200);
    const double angle = -c.degrees * kPi / 180.0; // counter-clockwise as seen: y down
    const double cx = 100.3, cy = 99.6, half = 60.0;
    Tally tally;
    for (int trial = 0; trial < kTrials; ++trial) {
      Render(f.station.image, cx, cy, angle, 2.0, 100 + trial,
             [&](double d) { return kDark + (kLight - kDark) * Phi(d / c.blur); });
      // Clicks two pixels off the edge, at both ends.
      const double ox = -std::sin(angle) * 2.0, oy = std::cos(angle) * 2.0;
      const std::optional<GaugedEdge> e = GaugeStraightEdge(
          f.station.image, cx - half * std::cos(angle) + ox, cy - half * std::sin(angle) + oy,
          cx + half * std::cos(angle) - ox, cy + half * std::sin(angle) - oy);
      ASSERT_TRUE(e.has_value());
      double error = e->angle - angle;
      error = std::remainder(error, kPi);
      tally.Add(error, e->sigma_angle);
      EXPECT_NEAR(std::hypot(e->x1 - e->x0, e->y1 - e->y0), 2.0 * half, 0.2);
      // The ends lie on the true edge.
      EXPECT_NEAR((e->x0 - cx) * -std::sin(angle) + (e->y0 - cy) * std::cos(angle), 0.0, 0.05);
    }
    std::printf("edge %+5.1f deg blur %.1f: bias %+.5f deg, 2u coverage %.0f %%\n", c.degrees, c.blur,
                tally.bias() * 180.0 / kPi, 100.0 * tally.coverage());
    EXPECT_LT(std::fabs(tally.bias()) * 180.0 / kPi, 0.01);
    EXPECT_GE(tally.coverage(), 0.85);
  }
}

TEST(EdgeWidthGauge, WidthIsUnbiasedAndItsUncertaintyCovers) {
  const struct {
    double degrees, width, blur;
  } cases[] = {{0.0, 20.3, 1.0}, {25.0, 12.7, 1.5}, {-60.0, 31.1, 2.0}, {90.0, 8.4, 1.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    StationFixture f;
    AttachImage(f.station, 160, 160);
    const double across = c.degrees * kPi / 180.0; // the clicks' direction
    const double bar = across + 0.5 * kPi;         // the bar runs across it
    const double cx = 80.4, cy = 79.7, reach = c.width / 2 + 6.0;
    Tally tally;
    for (int trial = 0; trial < kTrials; ++trial) {
      Render(f.station.image, cx, cy, bar, 2.0, 500 + trial, [&](double d) {
        return kLight - (kLight - kDark) * (Phi((d + c.width / 2) / c.blur) - Phi((d - c.width / 2) / c.blur));
      });
      const std::optional<GaugedWidth> w =
          GaugeWidth(f.station.image, cx - reach * std::cos(across), cy - reach * std::sin(across),
                     cx + reach * std::cos(across), cy + reach * std::sin(across));
      ASSERT_TRUE(w.has_value());
      tally.Add(w->width - c.width, w->sigma);
    }
    std::printf("width %5.1f px at %+5.1f deg blur %.1f: bias %+.4f px, 2u coverage %.0f %%\n", c.width,
                c.degrees, c.blur, tally.bias(), 100.0 * tally.coverage());
    EXPECT_LT(std::fabs(tally.bias()), 0.02);
    EXPECT_GE(tally.coverage(), 0.85);
  }
}

// A short edge (18 calipers) over many angles: no sound caliper is ever
// set aside as an outlier (a robust scale from a few residuals can fall far
// below the edges' own scatter, and the few kept then claim a tiny
// uncertainty), and the offset's and the angle's +-2u cover 92..98 %.
TEST(EdgeWidthGauge, ShortEdgeKeepsItsCalipersAndItsUncertaintyCovers) {
  StationFixture f;
  AttachImage(f.station, 130, 130);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> turn(-kPi, kPi), phase(0.0, 1.0);
  Tally offset, angle;
  int dropped = 0;
  const int trials = 400;
  for (int trial = 0; trial < trials; ++trial) {
    const double a = turn(random), cx = 64.0 + phase(random), cy = 64.0 + phase(random), half = 45.2;
    Render(f.station.image, cx, cy, a, 2.0, 900 + trial,
           [&](double d) { return kDark + (kLight - kDark) * Phi(d); });
    const std::optional<GaugedEdge> e =
        GaugeStraightEdge(f.station.image, cx - half * std::cos(a), cy - half * std::sin(a),
                          cx + half * std::cos(a), cy + half * std::sin(a));
    ASSERT_TRUE(e.has_value());
    dropped += e->calipers < 18;
    offset.Add((e->cx - cx) * -std::sin(a) + (e->cy - cy) * std::cos(a), e->sigma_offset);
    angle.Add(std::remainder(e->angle - a, kPi), e->sigma_angle);
  }
  std::printf("90 px edge: calipers dropped in %d of %d, 2u coverage offset %.1f %%, angle %.1f %%\n", dropped,
              trials, 100.0 * offset.coverage(), 100.0 * angle.coverage());
  EXPECT_EQ(dropped, 0);
  for (const Tally* t : {&offset, &angle}) {
    EXPECT_GE(t->coverage(), 0.92);
    EXPECT_LE(t->coverage(), 0.98);
  }
}

TEST(EdgeWidthGauge, NothingWithoutAnEdgeOrOffThePicture) {
  StationFixture f;
  AttachImage(f.station, 100, 100, 128);
  EXPECT_FALSE(GaugeStraightEdge(f.station.image, 10, 50, 90, 50).has_value()); // flat grey
  EXPECT_FALSE(GaugeWidth(f.station.image, 10, 50, 90, 50).has_value());
  Render(f.station.image, 50, 50, 0.0, 0.0, 1, [](double d) { return d < 0 ? kDark : kLight; });
  EXPECT_FALSE(GaugeWidth(f.station.image, 50, -30, 50, 130).has_value()); // the caliper leaves the picture
  EXPECT_FALSE(GaugeStraightEdge(f.station.image, 40, 50, 40, 50).has_value()); // one point
  const std::optional<GaugedEdge> edge = GaugeStraightEdge(f.station.image, 5, 51, 95, 49);
  ASSERT_TRUE(edge.has_value()); // a sharp step, the clicks a pixel off either side
  EXPECT_NEAR(std::remainder(edge->angle, kPi), 0.0, 1e-3);
}

} // namespace
} // namespace orvane
