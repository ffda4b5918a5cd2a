// Measurement texts and overlay layers, checked through the text seam of the
// overlay rather than by reading pixels back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "draw/overlay.h"
#include "acquisition/acquisition.h"
#include "solutions/measurement.h"
#include "solutions/process.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "ui/status.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using testing::AttachImage;
using testing::StationFixture;

struct Drawn {
  int32_t x, y;
  std::string text;
};

struct MeasureFixture : StationFixture {
  std::vector<Drawn> texts;

  MeasureFixture(uint32_t w, uint32_t h) {
    OpenWorkspace(station);
    AttachImage(station, w, h);
    UpdateStatusLine(station); // mark size class of the image
    LoadSolution(station, 2, station.working.get()); // Manual Measurement
    station.settings.calibrated = 1;
    station.settings.scale_x = 50.0;
    station.settings.calibration_distance = 24.0;
    station.overlay_text_observer = [this](int32_t x, int32_t y, std::string_view t, Rgb) {
      texts.push_back({x, y, std::string(t)});
    };
  }
  void AddSet(std::initializer_list<std::pair<double, double>> points, double depth = 24.0) {
    SolutionRecord& r = *station.working;
    const uint32_t i = r.meas_count++;
    r.meas_points[i] = 0;
    for (auto [x, y] : points) {
      MeasPoint& p = r.meas_point[i][r.meas_points[i]++];
      p = MeasPoint{x, y, depth, {}};
    }
  }
  std::vector<std::string> Texts() {
    texts.clear();
    DrawMeasurements(station);
    std::vector<std::string> out;
    for (auto& t : texts) out.push_back(t.text);
    return out;
  }
};

TEST(Measurement, LengthCorrectedForDistanceFromCamera) {
  MeasureFixture f(640, 480);
  f.AddSet({{10, 10}, {110, 10}});
  EXPECT_EQ(f.Texts(), std::vector<std::string>{"2.000 in."});
  f.station.working->meas_point[0][1].depth = 48.0;
  EXPECT_EQ(f.Texts(), std::vector<std::string>{"4.000 in."});
  f.station.settings.calibrated = 0; // raw pixels
  EXPECT_EQ(f.Texts(), std::vector<std::string>{"8 ft. 4.000 in."}); // 100 pixels
}

TEST(Measurement, LengthTextsByUnitAndDecimals) {
  Settings s{};
  s.decimals_dimensions = 2;
  EXPECT_EQ(LengthText(s, 15.5), "1 ft. 3.50 in.");
  EXPECT_EQ(LengthText(s, 12.99), "12.99 in.");
  s.units = 1;
  s.decimals_dimensions = 12;
  EXPECT_EQ(LengthText(s, 2.5), "2 1/2 cm");
  s.decimals_dimensions = 15;
  EXPECT_EQ(LengthText(s, 2.5), " cm");
}

TEST(Measurement, MetricLengthUsesTheUnitFactor) {
  MeasureFixture f(640, 480);
  f.station.settings.units = 1;
  f.station.settings.unit_factor = kMetricUnitFactor;
  f.station.settings.decimals_dimensions = 12;
  f.AddSet({{0, 5}, {50, 5}}); // 1 inch
  EXPECT_EQ(f.Texts(), std::vector<std::string>{"2 1/2 cm"});
}

TEST(Measurement, ThreePointsGiveTheAngleWithTheDegreeSign) {
  MeasureFixture f(640, 480);
  f.AddSet({{100, 100}, {200, 100}, {200, 200}});
  const auto texts = f.Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "2.000 in.");
  EXPECT_EQ(texts[1], "2.000 in.");
  EXPECT_EQ(texts[2], "90.00\xB0");
  EXPECT_EQ(f.texts[1].y, f.texts[0].y + 24);
  EXPECT_EQ(f.texts[2].y, f.texts[1].y + 24);
}

// Angle decimals go to the number formatter as they are: 10 to 12 give that
// many digits (no fractions, unlike lengths), and a value past what the
// formatter's text can hold gives its longest text.
TEST(Measurement, AngleTakesEveryDecimalTheSettingAsksFor) {
  MeasureFixture f(640, 480);
  f.AddSet({{100, 100}, {200, 100}, {200, 200}});
  auto angle = [&](uint32_t decimals) {
    f.station.settings.decimals_angles = decimals;
    return f.Texts().at(2);
  };
  // The right angle in degrees is 89.99999749... (the conversion factor is
  // a widened single-precision value); printf's %.12g and %.14g of it:
  EXPECT_EQ(angle(10), "89.9999974955\xB0");
  EXPECT_EQ(angle(12), "89.999997495522\xB0");
  // All 49 digits of the double, then zeros up to 120 digits and the point.
  const std::string exact = "89.9999974955218959848934900946915149688720703125";
  const std::string longest = angle(120);
  EXPECT_EQ(longest, exact + std::string(121 - exact.size(), '0') + "\xB0");
  EXPECT_EQ(angle(121), longest);
  EXPECT_EQ(angle(0xFFFFFFFFu), longest);
}

TEST(Measurement, OnePointSetShowsOnlyItsRing) {
  MeasureFixture f(640, 480);
  f.AddSet({{100, 100}});
  EXPECT_TRUE(f.Texts().empty());
  // The ring of radius 5 to 7 around the point, nothing at its centre.
  const ImageState& im = f.station.image;
  EXPECT_NE(im.overlay[100 * im.stride + 106 * 3], 0);
  EXPECT_EQ(im.overlay[100 * im.stride + 100 * 3], 0);
}

TEST(Measurement, SixthBlockStartsANewColumnOnASmallImage) {
  MeasureFixture f(320, 240);
  ASSERT_EQ(f.station.mark_size_class, 0u);
  for (int i = 0; i < 8; ++i) f.AddSet({{10, 10}, {60, 10}});
  f.Texts();
  ASSERT_EQ(f.texts.size(), 8u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(f.texts[i].x, 16);
    EXPECT_EQ(f.texts[i].y, 16 + 40 * i);
  }
  EXPECT_EQ(f.texts[5].x, 166);
  EXPECT_EQ(f.texts[5].y, 16);
  EXPECT_EQ(f.texts[6].y, 56);
}

TEST(Measurement, ManualMeasurementEmptiesTheSets) {
  MeasureFixture f(320, 240);
  f.AddSet({{10, 10}, {60, 10}});
  uint32_t elapsed = 0;
  EXPECT_EQ(RunSolution(f.station, *f.station.working, &elapsed), 0);
  EXPECT_EQ(f.station.working->meas_count, 0u);
  EXPECT_STREQ(f.station.working->result_text, "Success");
}

TEST(Overlay, LegendRoisAndEntityLetters) {
  MeasureFixture f(640, 480);
  LoadSolution(f.station, 3, f.station.working.get()); // DXF Auto Output
  SolutionRecord& r = *f.station.working;
  r.roi_count = 2;
  r.rois[0] = RoiRecord{100, 100, 201, 151, 101, 51, 2, 0, 0, 0, 0};
  r.rois[1] = RoiRecord{300, 300, 340, 340, 40, 40, 0, 0, 0, 0, 0};
  f.station.view.mouse_mode = 4;
  f.texts.clear();
  RedrawOverlay(f.station);
  ASSERT_EQ(f.texts.size(), 2u);
  EXPECT_EQ(f.texts[0].text, "LIN");
  EXPECT_EQ(f.texts[0].x, 640 - 80);
  EXPECT_EQ(f.texts[0].y, 16);
  EXPECT_EQ(f.texts[1].text, "L");
  EXPECT_EQ(f.texts[1].x, 150);
  EXPECT_EQ(f.texts[1].y, 125);
  // Clear only: nothing is left.
  RedrawOverlay(f.station, true);
  for (uint32_t i = 0; i < f.station.image.size; ++i) ASSERT_EQ(f.station.image.overlay[i], 0);
}

TEST(Overlay, CorruptedEntityCoordinatesStayHarmless) {
  MeasureFixture f(320, 240);
  SolutionRecord& r = *f.station.working;
  r.entity_count = 2;
  r.entities[0].type = 3;
  r.entities[0].point_count = 2;
  r.entities[0].points[0] = {1e300, -1e300, 0};
  r.entities[0].points[1] = {5.0, 0, 0};
  r.entities[1].type = 4;
  r.entities[1].point_count = 100;
  for (auto& p : r.entities[1].points) p = {std::nan(""), 1e18, 0};
  RedrawOverlay(f.station); // must neither crash nor hang
  SUCCEED();
}

TEST(Overlay, RoiCrossAtTheEdgeOfTheIntRangeDrawsNothing) {
  MeasureFixture f(320, 240);
  SolutionRecord& r = *f.station.working;
  r.roi_count = 2;
  r.rois[0] = RoiRecord{INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, 0, 0, 0, 0, 0, 0, 0};
  r.rois[1] = RoiRecord{INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 0, 0, 0, 0, 0, 0, 0};
  f.station.view.mouse_mode = 6; // no legend either
  RedrawOverlay(f.station);
  for (uint32_t i = 0; i < f.station.image.size; ++i) ASSERT_EQ(f.station.image.overlay[i], 0);
}

// A record of many long entity lines (drawn by two threads, each over half of
// the rows) leaves the overlay its entities leave drawn one after the other
// on one canvas: lines crossing the middle row, lines ending near it, marks
// on it, and points far outside.
TEST(Overlay, ManyEntityPointsDrawTheSameAsOneByOne) {
  MeasureFixture f(640, 480);
  f.station.view.mouse_mode = 6; // no legend
  SolutionRecord& r = *f.station.working;
  r.entity_count = 25;
  uint32_t seed = 3;
  auto next = [&seed](double lo, double hi) {
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * (seed >> 8) / double(1u << 24);
  };
  for (uint32_t e = 0; e < r.entity_count; ++e) {
    r.entities[e].type = static_cast<uint32_t>(EntityType::Polyline);
    r.entities[e].point_count = kMaxEntityPoints;
    for (uint32_t k = 0; k < kMaxEntityPoints; ++k) {
      const double reach = e % 5 == 0 ? 1e9 : e % 5 == 1 ? 2000 : 300;
      r.entities[e].points[k] = {320 + next(-reach, reach), 240 + next(-8, 8) * (e % 3 == 0 ? reach / 8 : 1), 0};
    }
  }
  RedrawOverlay(f.station);
  std::vector<uint8_t> want(f.station.image.size, 0);
  OverlayCanvas canvas = CanvasOf(f.station);
  canvas.pixels = want.data();
  for (uint32_t e = 0; e < r.entity_count; ++e) {
    const EntityPoint* p = r.entities[e].points;
    for (uint32_t k = 0; k < kMaxEntityPoints; ++k) {
      const Rgb colour{192, 0, 192};
      if (k > 0) {
        DrawLine(canvas, TruncToPixel(p[k - 1].x), TruncToPixel(p[k - 1].y), TruncToPixel(p[k].x),
                 TruncToPixel(p[k].y), colour);
      }
      DrawTargetMark(canvas, TruncToPixel(p[k].x), TruncToPixel(p[k].y), colour);
    }
  }
  EXPECT_TRUE(std::equal(want.begin(), want.end(), f.station.image.overlay));
}

} // namespace
} // namespace orvane
