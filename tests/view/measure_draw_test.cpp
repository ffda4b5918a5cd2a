#include <gtest/gtest.h>

#include "view/view_support.h"

namespace orvane {
namespace {

using testing::ViewStation;

void ExpectShown(ViewStation& t, uint32_t shows_before) {
  EXPECT_GT(t.shows(), shows_before);
  EXPECT_EQ(t.station.view.bits, t.station.image.display);
}

void Click(ViewStation& t, int32_t x, int32_t y, uint32_t keys = kKeyLeftButton) {
  t.Press(x, y, keys);
  t.Release(x, y);
}

struct MeasureTest : ::testing::Test {
  ViewStation t{testing::kManualMeasurement};
  SolutionRecord& rec = t.rec();
  ImageView& view = t.station.view;
};

TEST_F(MeasureTest, TwoPointSetsAskTheDistanceEachTime) {
  view.mouse_mode = 1;
  t.AnswerDistance("10");
  Click(t, 40, 50);
  ASSERT_EQ(rec.meas_count, 1u);
  EXPECT_EQ(rec.meas_points[0], 1u);
  EXPECT_EQ(rec.meas_depth[0], 10.0);
  EXPECT_EQ(view.set_complete, 0u);
  const uint32_t shows = t.shows();
  Click(t, 140, 60);
  ExpectShown(t, shows);
  EXPECT_EQ(rec.meas_points[0], 2u);
  EXPECT_EQ(rec.meas_point[0][1].x, 140.0);
  EXPECT_EQ(rec.meas_point[0][1].y, 60.0);
  EXPECT_EQ(rec.meas_point[0][1].depth, 10.0);
  EXPECT_EQ(view.set_complete, 1u);
  EXPECT_EQ(t.surface.dialogs().size(), 1u);

  t.AnswerDistance("12.5");
  Click(t, 200, 200);
  EXPECT_EQ(t.surface.dialogs().size(), 2u);
  ASSERT_EQ(rec.meas_count, 2u);
  EXPECT_EQ(rec.meas_points[1], 1u);
  EXPECT_EQ(rec.meas_point[1][0].depth, 12.5);
  EXPECT_EQ(rec.meas_point[1][0].x, 200.0);
  EXPECT_EQ(t.station.current_distance, 12.5);
  EXPECT_EQ(t.legends.back(), "2PT");
}

TEST_F(MeasureTest, RightClickEndsOnlyATwoPointSet) {
  view.mouse_mode = 2;
  t.AnswerDistance("10");
  Click(t, 40, 50);
  Click(t, 80, 50);
  t.RightPress(80, 50);
  t.RightRelease(80, 50);
  EXPECT_EQ(view.set_complete, 0u);
  Click(t, 80, 90);
  EXPECT_EQ(rec.meas_points[0], 3u);
  EXPECT_EQ(view.set_complete, 1u);

  view.mouse_mode = 1;
  t.AnswerDistance("10");
  Click(t, 200, 50);
  const uint32_t shows = t.shows();
  t.RightPress(200, 50);
  t.RightRelease(200, 50);
  ExpectShown(t, shows);
  EXPECT_EQ(view.set_complete, 1u);
  EXPECT_EQ(rec.meas_points[1], 1u);
  t.AnswerDistance("10");
  Click(t, 250, 150); // starts a third set
  EXPECT_EQ(rec.meas_count, 3u);
}

TEST_F(MeasureTest, CancelledDistanceAddsNothing) {
  view.mouse_mode = 1;
  t.AnswerDistance("5", false);
  Click(t, 40, 50);
  EXPECT_EQ(rec.meas_count, 0u);
  EXPECT_EQ(view.set_complete, 1u);
  EXPECT_EQ(t.station.current_distance, 5.0); // the text is read on Cancel too
}

TEST_F(MeasureTest, NoSetBeyondTheLastAndNoPointBeyondThree) {
  view.mouse_mode = 2;
  rec.meas_count = 8;
  Click(t, 40, 50);
  EXPECT_TRUE(t.surface.dialogs().empty());
  EXPECT_EQ(rec.meas_count, 8u);

  rec.meas_count = 1;
  rec.meas_points[0] = 3;
  view.set_complete = 0;
  Click(t, 300, 200);
  EXPECT_EQ(rec.meas_points[0], 3u);
  EXPECT_EQ(view.set_complete, 1u);
}

TEST_F(MeasureTest, DraggedPointStaysInsideTheImage) {
  view.mouse_mode = 1;
  rec.meas_count = 1;
  rec.meas_points[0] = 2;
  rec.meas_point[0][0] = {10.0, 100.0, 24.0, {}};
  rec.meas_point[0][1] = {200.0, 100.0, 24.0, {}};
  t.Press(12, 101);
  EXPECT_EQ(view.edit.kind, kGrabPoint);
  EXPECT_EQ(view.edit.point, 0u);
  t.Move(17, 104);
  EXPECT_EQ(rec.meas_point[0][0].x, 15.0);
  EXPECT_EQ(rec.meas_point[0][0].y, 103.0);
  t.Move(1, 104); // x would be -1
  EXPECT_EQ(rec.meas_point[0][0].x, 15.0);
  t.Move(3, 105); // measured from the refused position
  EXPECT_EQ(rec.meas_point[0][0].x, 17.0);
  EXPECT_EQ(rec.meas_point[0][0].y, 104.0);
  t.Release(3, 105);
  EXPECT_EQ(view.edit.kind, 0u);
  EXPECT_EQ(view.cursor_id, CursorValue(CursorId::Cross));
  EXPECT_TRUE(t.surface.dialogs().empty());
}

struct DrawTest : ::testing::Test {
  ViewStation t{testing::kDxfTraceOutput};
  SolutionRecord& rec = t.rec();
  ImageView& view = t.station.view;
};

TEST_F(DrawTest, CircleIsSizedByTheDragAndResizedFromItsRim) {
  view.mouse_mode = 3;
  t.Press(100, 100);
  t.Move(103, 104);
  const uint32_t shows = t.shows();
  t.Release(103, 104);
  ExpectShown(t, shows);
  ASSERT_EQ(rec.entity_count, 1u);
  const DrawEntity& c = rec.entities[0];
  EXPECT_EQ(c.type, 3u);
  EXPECT_EQ(c.point_count, 0u);
  EXPECT_EQ(c.points[0].x, 100.0);
  EXPECT_EQ(c.points[0].y, 100.0);
  EXPECT_EQ(c.points[1].x, 5.0);
  EXPECT_EQ(view.edit.kind, 0u);

  rec.entities[0].points[1].x = 20.0;
  t.Press(100, 80); // top of the rim
  EXPECT_EQ(view.edit.kind, kGrabRim);
  EXPECT_EQ(view.press_x, 100);
  EXPECT_EQ(view.press_y, 100);
  t.Move(110, 100);
  EXPECT_EQ(rec.entities[0].points[1].x, 10.0);
  t.Release(110, 100);

  t.Press(102, 98); // the centre
  t.Move(150, 120);
  t.Release(150, 120);
  EXPECT_EQ(rec.entities[0].points[0].x, 150.0);
  EXPECT_EQ(rec.entities[0].points[0].y, 120.0);
  EXPECT_EQ(rec.entity_count, 1u);
}

// A press that starts a circle or a line shows nothing yet; the first move
// or the release does. A right press in a measuring mode keeps the drag origin.
TEST_F(DrawTest, PressesThatStartCirclesAndLinesDoNotRedraw) {
  for (uint32_t mode : {3u, 4u}) {
    view.mouse_mode = mode;
    const uint32_t shows = t.shows();
    t.Press(100, 100);
    EXPECT_EQ(t.shows(), shows) << mode;
    t.Move(120, 100);
    EXPECT_GT(t.shows(), shows) << mode;
    t.Release(120, 100);
  }
  EXPECT_EQ(rec.entity_count, 2u);
  view.mouse_mode = 2;
  t.RightPress(30, 40);
  EXPECT_EQ(view.press_x, 100);
  EXPECT_EQ(view.press_y, 100);
}

TEST_F(DrawTest, LineFollowsTheMouseAndItsEndsDrag) {
  view.mouse_mode = 4;
  t.Press(10, 10);
  t.Move(50, 20);
  t.Release(50, 20);
  ASSERT_EQ(rec.entity_count, 1u);
  EXPECT_EQ(rec.entities[0].type, 4u);
  EXPECT_EQ(rec.entities[0].points[1].x, 50.0);
  EXPECT_EQ(rec.entities[0].points[1].y, 20.0);
  t.Press(11, 12);
  EXPECT_EQ(view.edit.kind, kGrabLineStart);
  t.Move(5, 6);
  t.Release(5, 6);
  EXPECT_EQ(rec.entities[0].points[0].x, 5.0);
  EXPECT_EQ(rec.entities[0].points[0].y, 6.0);
  t.Move(200, 200, 0); // no grab: nothing changes
  EXPECT_EQ(rec.entities[0].points[1].x, 50.0);
}

TEST_F(DrawTest, ShiftClosesPolylineAndRightPressEndsItOpen) {
  view.mouse_mode = 5;
  Click(t, 10, 10);
  Click(t, 50, 10);
  Click(t, 50, 50);
  ASSERT_EQ(rec.entity_count, 1u);
  EXPECT_EQ(rec.entities[0].point_count, 3u);
  const uint32_t cursor = t.station.image.view_cursor;
  Click(t, 10, 50, kKeyLeftButton | kKeyShift);
  EXPECT_EQ(t.station.image.view_cursor, cursor); // no toggle in this mode
  const DrawEntity& p = rec.entities[0];
  ASSERT_EQ(p.point_count, 5u);
  EXPECT_EQ(p.points[3].x, 10.0);
  EXPECT_EQ(p.points[3].y, 50.0);
  EXPECT_EQ(p.points[4].x, p.points[0].x);
  EXPECT_EQ(p.points[4].y, p.points[0].y);
  EXPECT_EQ(view.edit.kind, 0u);

  Click(t, 200, 100); // a new one
  Click(t, 250, 100);
  t.RightPress(300, 200);
  EXPECT_EQ(view.edit.kind, 0u);
  Click(t, 300, 200); // starts a third rather than extending the second
  ASSERT_EQ(rec.entity_count, 3u);
  EXPECT_EQ(rec.entities[1].point_count, 2u);
  EXPECT_EQ(rec.entities[2].point_count, 1u);
  EXPECT_EQ(t.legends.back(), "MLIN");
}

TEST_F(DrawTest, PressOnAVertexEditsNothingAndLeavesNothingPending) {
  view.mouse_mode = 5;
  Click(t, 10, 10);
  Click(t, 50, 10);
  t.RightPress(100, 100);
  Click(t, 12, 12); // on a vertex
  EXPECT_EQ(rec.entity_count, 1u);
  EXPECT_EQ(view.edit.kind, 0u);
  Click(t, 100, 100);
  EXPECT_EQ(rec.entity_count, 2u);
}

// A press in mode 5 acts only while a polyline is being built or nothing
// is grabbed: a line end still grabbed from mode 4, because its release fell
// outside the view, makes the press do nothing at all.
TEST_F(DrawTest, PolylinePressWithAnotherGrabDoesNothing) {
  view.mouse_mode = 4;
  t.Press(10, 10);
  t.Move(50, 20);
  t.Release(400, 20);  // outside the view: not seen
  ASSERT_EQ(view.edit.kind, kGrabLineEnd);
  view.mouse_mode = 5;
  const uint32_t shows = t.shows();
  t.Press(100, 100);
  EXPECT_EQ(rec.entity_count, 1u);
  EXPECT_EQ(view.edit.kind, kGrabLineEnd);
  EXPECT_EQ(view.edit.index, 0u);
  EXPECT_EQ(t.shows(), shows);
  t.Release(100, 100);  // a release in mode 5 keeps the grab
  t.Press(100, 100);
  EXPECT_EQ(rec.entity_count, 1u);
  t.RightPress(200, 200);  // its hit test finds nothing and clears the grab
  t.Press(100, 100);
  ASSERT_EQ(rec.entity_count, 2u);
  EXPECT_EQ(rec.entities[1].type, 5u);
}

TEST_F(DrawTest, RightPressDeletesTheEntityUnderTheMouse) {
  view.mouse_mode = 3;
  t.Drag(50, 50, 60, 50);
  t.Drag(150, 50, 170, 50);
  t.Drag(250, 50, 280, 50);
  ASSERT_EQ(rec.entity_count, 3u);
  const uint32_t shows = t.shows();
  t.RightPress(151, 52);
  ExpectShown(t, shows);
  ASSERT_EQ(rec.entity_count, 2u);
  EXPECT_EQ(rec.entities[1].points[0].x, 250.0);
  EXPECT_EQ(rec.entities[2].type, 0u);
  EXPECT_EQ(view.cursor_id, CursorValue(CursorId::Cross));
  view.mouse_mode = 4; // circles are not lines
  t.RightPress(50, 50);
  EXPECT_EQ(rec.entity_count, 2u);
}

// The right press that ends a polyline lands on its last vertex more often
// than not; only a later right press deletes it.
TEST_F(DrawTest, RightPressThatEndsAPolylineDeletesNothing) {
  view.mouse_mode = 5;
  Click(t, 10, 10);
  Click(t, 50, 10);
  Click(t, 50, 50);
  t.RightPress(50, 50);
  ASSERT_EQ(rec.entity_count, 1u);
  EXPECT_EQ(rec.entities[0].point_count, 3u);
  EXPECT_EQ(view.edit.kind, 0u);
  t.RightPress(50, 50);
  EXPECT_EQ(rec.entity_count, 0u);
}

TEST_F(DrawTest, NothingIsCreatedAtOneHundredEntities) {
  rec.entity_count = 100;
  for (DrawEntity& e : rec.entities) e.type = 4; // lines far off the image
  for (DrawEntity& e : rec.entities) e.points[0] = e.points[1] = {1000.0, 1000.0, 0.0};
  for (uint32_t mode : {3u, 4u, 5u}) {
    view.mouse_mode = mode;
    t.Drag(100, 100, 140, 140);
    EXPECT_EQ(rec.entity_count, 100u) << mode;
  }
  EXPECT_EQ(rec.entities[99].points[0].x, 1000.0);
}

TEST_F(DrawTest, PolylineStopsAtOneHundredVertices) {
  view.mouse_mode = 5;
  for (int i = 0; i < 105; ++i) Click(t, 10 + (i % 30) * 10, 10 + (i / 30) * 40);
  ASSERT_EQ(rec.entity_count, 1u);
  EXPECT_EQ(rec.entities[0].point_count, 100u);
  Click(t, 300, 230, kKeyLeftButton | kKeyShift);
  EXPECT_EQ(rec.entities[0].point_count, 100u);
  EXPECT_EQ(view.edit.kind, 0u);
}

// A grab whose entity is gone, or is of another type, edits nothing.
TEST_F(DrawTest, StaleGrabEditsNothing) {
  view.mouse_mode = 3;
  t.Press(100, 100);
  rec.entity_count = 0;
  t.Move(140, 100);
  EXPECT_EQ(rec.entities[0].points[1].x, 0.0);
  view.edit = {kBuildingPolyline, 42, 0};
  view.mouse_mode = 5;
  Click(t, 30, 30);
  ASSERT_EQ(rec.entity_count, 1u);
  EXPECT_EQ(rec.entities[0].type, 5u);
  EXPECT_EQ(view.edit.index, 0u);
}

} // namespace
} // namespace orvane
