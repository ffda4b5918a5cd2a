#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "view/view_support.h"

namespace orvane {
namespace {

using testing::ViewStation;

struct PartCase {
  int32_t x, y;
  RoiPart part;
  CursorId cursor;
};

TEST(HitTestRoi, EveryPartWithItsCursor) {
  ViewStation t(testing::kDxfAutoOutput);
  t.AddRoi(100, 100, 200, 180);
  const PartCase cases[] = {
      {95, 95, RoiPart::TopLeft, CursorId::SizeNwse},
      {205, 185, RoiPart::BottomRight, CursorId::SizeNwse},
      {95, 185, RoiPart::BottomLeft, CursorId::SizeNesw},
      {205, 95, RoiPart::TopRight, CursorId::SizeNesw},
      {96, 140, RoiPart::Left, CursorId::SizeWe},
      {207, 140, RoiPart::Right, CursorId::SizeWe},
      {150, 107, RoiPart::Top, CursorId::SizeNs},
      {150, 173, RoiPart::Bottom, CursorId::SizeNs},
      {161, 151, RoiPart::Centre, CursorId::SizeAll},
  };
  for (const PartCase& c : cases) {
    const RoiHit hit = HitTestRoi(t.station, c.x, c.y);
    EXPECT_EQ(hit.part, c.part) << c.x << "," << c.y;
    EXPECT_EQ(hit.index, 0u);
    EXPECT_EQ(t.station.view.cursor_id, CursorValue(c.cursor));
  }
  // An edge counts only between the corners' rows; beyond them nothing.
  EXPECT_EQ(HitTestRoi(t.station, 100, 190).part, RoiPart::None);
  EXPECT_EQ(t.station.view.cursor_id, t.station.image.view_cursor);
}

TEST(HitTestRoi, ReachIsStrictlyBelowEightPixels) {
  ViewStation t(testing::kDxfAutoOutput);
  t.AddRoi(50, 50, 150, 150);
  EXPECT_EQ(HitTestRoi(t.station, 57, 100).part, RoiPart::Left);
  EXPECT_EQ(HitTestRoi(t.station, 58, 100).part, RoiPart::None);
  EXPECT_EQ(HitTestRoi(t.station, 43, 100).part, RoiPart::Left);
  EXPECT_EQ(HitTestRoi(t.station, 42, 100).part, RoiPart::None);
}

TEST(HitTestRoi, TopLeftCornerWinsOnSmallRoi) {
  ViewStation t(testing::kDxfAutoOutput);
  t.AddRoi(10, 10, 20, 20);
  EXPECT_EQ(HitTestRoi(t.station, 15, 15).part, RoiPart::TopLeft);
}

TEST(HitTestRoi, CentreTruncatesTowardZero) {
  ViewStation t(testing::kDxfAutoOutput);
  t.AddRoi(0, 0, 101, 101); // cx = cy = 50
  EXPECT_EQ(HitTestRoi(t.station, 61, 50).part, RoiPart::Centre);
  EXPECT_EQ(HitTestRoi(t.station, 39, 50).part, RoiPart::Centre);
  EXPECT_EQ(HitTestRoi(t.station, 62, 50).part, RoiPart::None);
}

TEST(HitTestRoi, FirstRoiInListWins) {
  ViewStation t(testing::kDxfAutoOutput);
  t.AddRoi(100, 100, 200, 200);
  t.AddRoi(100, 100, 200, 200);
  EXPECT_EQ(HitTestRoi(t.station, 100, 100).index, 0u);
  t.rec().rois[0] = RoiRecord{0, 0, 40, 40, 40, 40, 0, 0.f, 0.f, 0.f, 0.f};
  const RoiHit hit = HitTestRoi(t.station, 100, 100);
  EXPECT_EQ(hit.index, 1u);
  EXPECT_EQ(hit.part, RoiPart::TopLeft);
}

TEST(HitTestPoint, TruncatesStoredCoordinates) {
  ViewStation t(testing::kManualMeasurement);
  SolutionRecord& r = t.rec();
  r.meas_count = 2;
  r.meas_points[0] = 1;
  r.meas_point[0][0].x = 20.0;
  r.meas_point[0][0].y = 20.0;
  r.meas_points[1] = 2;
  r.meas_point[1][1].x = 107.9; // truncated to 107
  r.meas_point[1][1].y = 50.0;
  const PointHit hit = HitTestPoint(t.station, 100, 50);
  EXPECT_EQ(hit.kind, kGrabPoint);
  EXPECT_EQ(hit.set, 1u);
  EXPECT_EQ(hit.point, 1u);
  EXPECT_EQ(t.station.view.cursor_id, CursorValue(CursorId::SizeAll));
  r.meas_point[1][1].x = 108.0;
  EXPECT_EQ(HitTestPoint(t.station, 100, 50).kind, 0u);
  EXPECT_EQ(t.station.view.cursor_id, CursorValue(CursorId::Cross));
  // A point beyond the set's count is not there.
  r.meas_points[1] = 1;
  r.meas_point[1][1].x = 100.0;
  EXPECT_EQ(HitTestPoint(t.station, 100, 50).kind, 0u);
}

TEST(HitTestEntity, PartsOfEachTypeInTheirOwnMode) {
  ViewStation t(testing::kDxfTraceOutput);
  SolutionRecord& r = t.rec();
  r.entity_count = 3;
  r.entities[0].type = 3; // circle at (100, 100), radius 30
  r.entities[0].points[0] = {100.0, 100.0, 0.0};
  r.entities[0].points[1].x = 30.0;
  r.entities[1].type = 4; // line (10, 10) - (60, 200)
  r.entities[1].points[0] = {10.0, 10.0, 0.0};
  r.entities[1].points[1] = {60.0, 200.0, 0.0};
  r.entities[2].type = 5; // polyline of 2 vertices
  r.entities[2].point_count = 2;
  r.entities[2].points[0] = {250.0, 20.0, 0.0};
  r.entities[2].points[1] = {250.0, 120.0, 0.0};
  ImageView& v = t.station.view;

  v.mouse_mode = 3;
  EXPECT_EQ(HitTestEntity(t.station, 104, 96).kind, kGrabCentre);
  EXPECT_EQ(HitTestEntity(t.station, 100, 72).kind, kGrabRim); // top of the rim
  EXPECT_EQ(HitTestEntity(t.station, 79, 79).kind, kGrabRim);  // 45 degrees
  EXPECT_EQ(v.cursor_id, CursorValue(CursorId::SizeAll));
  EXPECT_EQ(HitTestEntity(t.station, 115, 100).kind, 0u); // between centre and rim
  EXPECT_EQ(v.cursor_id, CursorValue(CursorId::Cross));
  EXPECT_EQ(HitTestEntity(t.station, 12, 12).kind, 0u); // a line is not a circle

  v.mouse_mode = 4;
  EntityHit hit = HitTestEntity(t.station, 12, 12);
  EXPECT_EQ(hit.kind, kGrabLineStart);
  EXPECT_EQ(hit.index, 1u);
  EXPECT_EQ(HitTestEntity(t.station, 55, 195).kind, kGrabLineEnd);
  EXPECT_EQ(HitTestEntity(t.station, 35, 105).kind, 0u); // the middle is no handle

  v.mouse_mode = 5;
  hit = HitTestEntity(t.station, 245, 125);
  EXPECT_EQ(hit.kind, kGrabVertex);
  EXPECT_EQ(hit.index, 2u);
  r.entities[2].point_count = 1;
  EXPECT_EQ(HitTestEntity(t.station, 245, 125).kind, 0u);
}

// Stored data from a damaged file: any coordinate, any radius. The tests read
// nothing outside the record and never overflow (the sanitizer build checks).
TEST(HitTests, DamagedCoordinatesAreHarmless) {
  ViewStation t(testing::kDxfTraceOutput);
  SolutionRecord& r = t.rec();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  t.AddRoi(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  t.AddRoi(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN);
  EXPECT_EQ(HitTestRoi(t.station, 50, 50).part, RoiPart::None);

  r.meas_count = 1;
  r.meas_points[0] = 3;
  r.meas_point[0][0].x = nan;
  r.meas_point[0][1].x = -inf;
  r.meas_point[0][2].x = 1e300;
  EXPECT_EQ(HitTestPoint(t.station, 50, 50).kind, 0u);

  r.entity_count = 3;
  r.entities[0].type = 3;
  r.entities[0].points[0] = {nan, 1e300, 0.0};
  r.entities[0].points[1].x = inf;
  r.entities[1].type = 3;
  r.entities[1].points[0] = {5.0, -1e300, 0.0};
  r.entities[1].points[1].x = nan;
  r.entities[2].type = 5;
  r.entities[2].point_count = 100;
  for (EntityPoint& p : r.entities[2].points) p = {-1e300, nan, nan};
  t.station.view.mouse_mode = 3;
  EXPECT_EQ(HitTestEntity(t.station, 50, 50).kind, 0u);
  t.station.view.mouse_mode = 5;
  EXPECT_EQ(HitTestEntity(t.station, 50, 50).kind, 0u);
}

} // namespace
} // namespace orvane
