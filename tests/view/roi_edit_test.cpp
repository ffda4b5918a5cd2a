#include <gtest/gtest.h>


#include "view/view_support.h"

namespace orvane {
namespace {

using testing::ViewStation;

void ExpectShown(ViewStation& t, uint32_t shows_before) {
  EXPECT_GT(t.shows(), shows_before);
  EXPECT_EQ(t.station.view.bits, t.station.image.display);
}

TEST(RoiEdit, DragOnEmptyImageDrawsPreviewThenAddsRoi) {
  ViewStation t(testing::kDxfSimpleOutput);
  t.Press(60, 80);
  t.Move(20, 30);
  EXPECT_EQ(t.coordinate_line(), "(20,30)-(60,80)");
  const Rgb dash = t.OverlayAt(20, 30);
  EXPECT_EQ(dash.r, 192);
  EXPECT_EQ(dash.g, 1);
  EXPECT_EQ(dash.b, 1);
  EXPECT_EQ(t.rec().roi_count, 0u); // only the release adds it
  const uint32_t shows = t.shows();
  t.Release(20, 30);
  ExpectShown(t, shows);
  ASSERT_EQ(t.rec().roi_count, 1u);
  const RoiRecord& r = t.rec().rois[0];
  EXPECT_EQ(r.left, 20);
  EXPECT_EQ(r.top, 30);
  EXPECT_EQ(r.right, 60);
  EXPECT_EQ(r.bottom, 80);
  EXPECT_EQ(r.width, 40);
  EXPECT_EQ(r.height, 50);
  EXPECT_FLOAT_EQ(r.rel_left, 20.0f / 320.0f);
  EXPECT_FLOAT_EQ(r.rel_bottom, 80.0f / 240.0f);
  EXPECT_EQ(r.entity_type, 0);
  EXPECT_TRUE(t.surface.dialogs().empty()); // only DXF Auto Output asks the kind
  EXPECT_EQ(t.surface.GetText(ControlId::RoiCount), "Regions of Interest: 1");
  EXPECT_EQ(t.legends.back(), "ROI");
  EXPECT_EQ(t.station.view.cursor_id, t.station.image.view_cursor);
}

TEST(RoiEdit, RectanglesBelowEightPixelsAreNotDrawn) {
  ViewStation t(testing::kDxfSimpleOutput);
  t.Press(20, 20);
  t.Move(27, 60);
  EXPECT_EQ(t.coordinate_line(), "(20,20) 0,0,0"); // the probe of the press only
  t.Release(27, 60);
  t.Drag(20, 20, 60, 27);
  EXPECT_EQ(t.rec().roi_count, 0u);
  t.Drag(20, 20, 28, 28);
  EXPECT_EQ(t.rec().roi_count, 1u);
}

TEST(RoiEdit, FullListRefusesNewRoi) {
  ViewStation t(testing::kAutoCalibration); // roi_max 1
  ASSERT_EQ(t.rec().roi_max, 1u);
  t.AddRoi(200, 150, 300, 230);
  t.Press(10, 10);
  const uint32_t shows = t.shows();
  t.Move(100, 100);
  EXPECT_EQ(t.shows(), shows); // no preview
  EXPECT_EQ(t.coordinate_line(), "(10,10) 0,0,0");
  t.Release(100, 100);
  EXPECT_EQ(t.rec().roi_count, 1u);
  EXPECT_EQ(t.rec().rois[1].right, 0);
}

TEST(RoiEdit, CornerDraggedPastOppositeEdgeChangesNothing) {
  ViewStation t(testing::kDxfSimpleOutput);
  t.AddRoi(100, 100, 200, 180);
  t.Press(200, 180); // bottom-right corner
  EXPECT_EQ(t.station.view.edit.kind, static_cast<uint32_t>(RoiPart::BottomRight));
  t.Move(90, 190); // left of the left edge
  EXPECT_EQ(t.rec().rois[0].right, 200);
  EXPECT_EQ(t.rec().rois[0].bottom, 180);
  t.Move(150, 170);
  EXPECT_EQ(t.rec().rois[0].right, 150);
  EXPECT_EQ(t.rec().rois[0].bottom, 170);
  EXPECT_EQ(t.rec().rois[0].width, 50);
  EXPECT_FLOAT_EQ(t.rec().rois[0].rel_right, 150.0f / 320.0f);
  EXPECT_EQ(t.coordinate_line(), "(100,100)-(150,170)");
  t.Release(150, 170);
  EXPECT_EQ(t.rec().roi_count, 1u);
  EXPECT_EQ(t.station.view.edit.kind, 0u);
}

// Every handle refuses a position on or beyond the opposite edge.
TEST(RoiEdit, NoHandleCrossesTheOppositeEdge) {
  struct Case {
    int32_t grab_x, grab_y, to_x, to_y;
  };
  const Case cases[] = {
      {100, 100, 210, 190}, {200, 180, 100, 100}, {100, 180, 200, 170}, {200, 100, 90, 120},
      {100, 140, 200, 140}, {200, 140, 100, 140}, {150, 100, 150, 180}, {150, 180, 150, 100},
  };
  for (const Case& c : cases) {
    ViewStation t(testing::kDxfSimpleOutput);
    t.AddRoi(100, 100, 200, 180);
    t.Press(c.grab_x, c.grab_y);
    ASSERT_NE(t.station.view.edit.kind, 0u);
    t.Move(c.to_x, c.to_y);
    const RoiRecord& r = t.rec().rois[0];
    EXPECT_EQ(r.left, 100) << c.grab_x << "," << c.grab_y;
    EXPECT_EQ(r.top, 100) << c.grab_x << "," << c.grab_y;
    EXPECT_EQ(r.right, 200) << c.grab_x << "," << c.grab_y;
    EXPECT_EQ(r.bottom, 180) << c.grab_x << "," << c.grab_y;
  }
}

TEST(RoiEdit, TopEdgeShrunkBelowEightPixelsDeletesRoi) {
  ViewStation t(testing::kDxfSimpleOutput);
  t.AddRoi(100, 100, 200, 180);
  t.AddRoi(10, 10, 50, 50);
  t.Press(150, 100); // top edge
  EXPECT_EQ(t.station.view.edit.kind, static_cast<uint32_t>(RoiPart::Top));
  t.Move(150, 175);
  EXPECT_EQ(t.rec().rois[0].height, 5);
  EXPECT_EQ(t.rec().roi_count, 2u); // deleted only at the release
  const uint32_t shows = t.shows();
  t.Release(150, 175);
  ExpectShown(t, shows);
  ASSERT_EQ(t.rec().roi_count, 1u);
  EXPECT_EQ(t.rec().rois[0].left, 10); // the next ROI moved down
  EXPECT_EQ(t.rec().rois[1].right, 0);
  EXPECT_EQ(t.surface.GetText(ControlId::RoiCount), "Regions of Interest: 1");
}

TEST(RoiEdit, MoveThatWouldLeaveImageIsRefusedAndNextMoveCountsFromHere) {
  ViewStation t(testing::kDxfSimpleOutput);
  t.AddRoi(10, 50, 50, 90); // centre (30, 70)
  t.Press(30, 70);
  EXPECT_EQ(t.station.view.edit.kind, static_cast<uint32_t>(RoiPart::Centre));
  EXPECT_EQ(t.station.view.cursor_id, CursorValue(CursorId::SizeAll));
  t.Move(19, 75); // left would be -1
  EXPECT_EQ(t.rec().rois[0].left, 10);
  EXPECT_EQ(t.rec().rois[0].top, 50);
  t.Move(24, 77); // 5 right, 2 down of the refused position
  EXPECT_EQ(t.rec().rois[0].left, 15);
  EXPECT_EQ(t.rec().rois[0].right, 55);
  EXPECT_EQ(t.rec().rois[0].top, 52);
  EXPECT_EQ(t.rec().rois[0].bottom, 92);
  EXPECT_FLOAT_EQ(t.rec().rois[0].rel_top, 52.0f / 240.0f);
  t.Release(24, 77);
  EXPECT_EQ(t.rec().roi_count, 1u);
}

TEST(RoiEdit, ClickOnEmptyImageShowsPixelProbe) {
  ViewStation t(testing::kDxfSimpleOutput);
  uint8_t* p = t.station.image.frame + 4 * t.station.image.stride + 3 * 3;
  p[0] = 10; // B
  p[1] = 20; // G
  p[2] = 30; // R
  const uint32_t shows = t.shows();
  t.Press(3, 4);
  EXPECT_EQ(t.coordinate_line(), "(3,4) 30,20,10");
  ExpectShown(t, shows);
  EXPECT_EQ(t.legends.size(), 1u);
}

TEST(RoiEdit, PlainMoveOnlySetsTheCursor) {
  ViewStation t(testing::kDxfSimpleOutput);
  t.AddRoi(100, 100, 200, 180);
  t.Press(150, 100);
  t.Move(100, 140, 0);
  EXPECT_EQ(t.station.view.cursor_id, CursorValue(CursorId::SizeWe));
  EXPECT_EQ(t.station.view.edit.kind, static_cast<uint32_t>(RoiPart::Top));
  t.Move(150, 120, kKeyLeftButton | kKeyControl); // Ctrl held: no edit
  EXPECT_EQ(t.rec().rois[0].top, 100);
}

TEST(RoiEdit, AutoOutputAsksEntityTypeAndEscapeGivesNone) {
  ViewStation t(testing::kDxfAutoOutput);
  t.surface.QueueDialog([](DialogModel& d) { return *d.Press(DialogControlId::EntityLine); });
  t.Drag(10, 10, 60, 60);
  ASSERT_EQ(t.rec().roi_count, 1u);
  EXPECT_EQ(t.rec().rois[0].entity_type, 2);
  EXPECT_EQ(t.station.shared_dialog_value, 2.0);
  // A leftover distance must not become a kind when the dialog is escaped.
  t.station.shared_dialog_value = 3.7;
  t.Drag(100, 100, 160, 160); // no script queued: Escape
  ASSERT_EQ(t.rec().roi_count, 2u);
  EXPECT_EQ(t.rec().rois[1].entity_type, 0);
  EXPECT_EQ(t.station.shared_dialog_value, 3.7);
  ASSERT_EQ(t.surface.dialogs().size(), 2u);
  EXPECT_EQ(t.surface.dialogs()[1].title, "Define Entity Type");
}

TEST(MouseMode, ShiftTogglesViewCursor) {
  ViewStation t(testing::kDxfSimpleOutput);
  t.Press(100, 100, kKeyLeftButton | kKeyShift);
  EXPECT_EQ(t.station.image.view_cursor, CursorValue(CursorId::Cross));
  EXPECT_EQ(t.station.view.cursor_id, CursorValue(CursorId::Cross));
  t.Release(100, 100);
  t.station.image.view_cursor = 12345; // any other value goes back to the arrow
  t.Press(100, 100, kKeyLeftButton | kKeyShift);
  EXPECT_EQ(t.station.image.view_cursor, CursorValue(CursorId::Arrow));
}

// Shift toggles the view cursor before Ctrl switches the mode; the new
// mode's cursor then follows the toggled one. In mode 5 Shift toggles nothing.
TEST(MouseMode, ShiftTogglesBeforeCtrlSwitches) {
  ViewStation t(testing::kDxfTraceOutput);
  ImageView& v = t.station.view;
  t.Press(10, 10, kKeyLeftButton | kKeyShift | kKeyControl);
  EXPECT_EQ(t.station.image.view_cursor, CursorValue(CursorId::Cross));
  EXPECT_EQ(v.mouse_mode, 1u);
  v.mouse_mode = 5;
  t.Press(10, 10, kKeyLeftButton | kKeyShift | kKeyControl);
  EXPECT_EQ(t.station.image.view_cursor, CursorValue(CursorId::Cross));
  EXPECT_EQ(v.mouse_mode, 3u);
  t.Select(testing::kManualMeasurement);
  v.mouse_mode = 2;
  t.Press(10, 10, kKeyLeftButton | kKeyShift | kKeyControl);
  EXPECT_EQ(v.mouse_mode, 0u);
  EXPECT_EQ(t.station.image.view_cursor, CursorValue(CursorId::Arrow));
  EXPECT_EQ(v.cursor_id, CursorValue(CursorId::Arrow));
}

TEST(MouseMode, CtrlClickCyclesTheSolutionsModes) {
  ViewStation t(testing::kDxfTraceOutput);
  ImageView& v = t.station.view;
  v.mouse_mode = 5;
  t.Press(10, 10, kKeyLeftButton | kKeyControl);
  EXPECT_EQ(v.mouse_mode, 3u);
  EXPECT_EQ(v.cursor_id, CursorValue(CursorId::Cross));
  EXPECT_EQ(t.legends.back(), "CIR");
  EXPECT_EQ(t.rec().entity_count, 0u); // the switch draws nothing
  v.mouse_mode = 0; // outside the range: counts up into it
  t.Press(10, 10, kKeyLeftButton | kKeyControl);
  EXPECT_EQ(v.mouse_mode, 1u);

  t.Select(testing::kManualMeasurement);
  v.mouse_mode = 2;
  v.edit = {7, 1, 2};
  const uint32_t shows = t.shows();
  t.Press(10, 10, kKeyLeftButton | kKeyControl);
  EXPECT_EQ(v.mouse_mode, 0u);
  EXPECT_EQ(v.cursor_id, t.station.image.view_cursor);
  EXPECT_EQ(v.edit.kind, 7u); // a mode change keeps the pending edit
  EXPECT_EQ(t.legends.back(), "ROI");
  ExpectShown(t, shows);
  v.mouse_mode = 4;
  t.Press(10, 10, kKeyLeftButton | kKeyControl);
  EXPECT_EQ(v.mouse_mode, 0u);
}

TEST(MouseMapping, ScalesByImageOverViewAndIgnoresOutside) {
  ViewStation t(testing::kDxfSimpleOutput);
  t.station.image.view_width = 472;
  t.station.image.view_height = 354;
  ImagePoint p;
  ASSERT_TRUE(MapToImage(t.station, 471, 353, &p));
  EXPECT_EQ(p.x, 319);
  EXPECT_EQ(p.y, 239);
  ASSERT_TRUE(MapToImage(t.station, 100, 100, &p));
  EXPECT_EQ(p.x, 67); // 100 * 320 / 472 = 67.8
  EXPECT_EQ(p.y, 67); // 100 * 240 / 354 = 67.8
  EXPECT_FALSE(MapToImage(t.station, 472, 10, &p));
  EXPECT_FALSE(MapToImage(t.station, 10, -1, &p));
  OnLeftButtonDown(t.station, -5, 10, kKeyLeftButton);
  EXPECT_EQ(t.shows(), 0u);
  t.station.image.view_width = 0; // no view: nothing maps, nothing divides by zero
  EXPECT_FALSE(MapToImage(t.station, 0, 0, &p));
}

// A grab left over from another mode or another solution edits nothing that
// is not there.
TEST(RoiEdit, StaleGrabAndDamagedRoisStayInsideTheRecord) {
  ViewStation t(testing::kDxfSimpleOutput);
  t.AddRoi(100, 100, 200, 180);
  t.Press(100, 100);
  t.rec().roi_count = 0;
  t.Move(120, 120);
  t.Release(120, 120);
  EXPECT_EQ(t.rec().rois[0].left, 100);

  // Coordinates far outside the image (the overlay walks every dot of the
  // outline, so the extremes of the type are left to the hit tests).
  t.rec().roi_count = 0;
  RoiRecord& r = t.AddRoi(-1000000, 0, 1000000, 239);
  t.Press(0, 120); // centre handle
  ASSERT_EQ(t.station.view.edit.kind, static_cast<uint32_t>(RoiPart::Centre));
  t.Move(5, 120);
  EXPECT_EQ(r.left, -1000000); // cannot move inside the image
  t.Release(5, 120);
  EXPECT_EQ(t.rec().roi_count, 1u);
}

} // namespace
} // namespace orvane
