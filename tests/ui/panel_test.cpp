// The command panel: typed values and their clamp, sliders, the choice and
// option lists, the solution change and the Enlarge/Reduce toggle.
#include "ui/panel.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/ui_support.h"
#include "ui/window_state.h"
#include "view/mouse.h"

namespace orvane {
namespace {

using testing::Started;
using testing::StoredSolution;

enum Slot : uint32_t { kAuto = 0, kManual = 1, kMeasure = 2, kDxfAuto = 3, kDxfSimple = 4 };
constexpr uint32_t kDistanceRow = 0, kBackgroundRow = 2, kThresholdRow = 3;

TEST(Panel, ThresholdTypedOutOfRangeOrNotANumber) {
  Started s;
  s.SelectSolution(kDxfAuto);
  const float& value = s.working().params[kThresholdRow].value;
  ASSERT_EQ(s.Text(ControlId::RowLabel3), "Threshold");
  struct Case {
    const char* typed;
    const char* shown;
    float value;
  } cases[] = {
      {"300", "255", 255.0f}, {"-5", "0", 0.0f},     {"abc", "0", 0.0f},  {"42.9", "42", 42.9f},
      {"nan", "0", 0.0f},     {"-nan", "0", 0.0f},
      // An overflow reads as infinity, which the clamp takes to the range's end.
      {"1e999", "255", 255.0f}, {"inf", "255", 255.0f}, {"-1e999", "0", 0.0f}, {"1e300", "255", 255.0f},
      {" 17xyz", "17", 17.0f}, {"0x80", "0", 0.0f},  {" +0X1F", "0", 0.0f},
  };
  for (const Case& c : cases) {
    s.Enter(kThresholdRow, c.typed);
    EXPECT_EQ(s.Text(ControlId::RowEdit3), c.shown) << c.typed;
    EXPECT_EQ(value, c.value) << c.typed;
    EXPECT_FALSE(std::isnan(value)) << c.typed;
    EXPECT_EQ(s.surface.SliderPos(ControlId::RowSlider3), int32_t(c.value)) << c.typed;
  }
}

TEST(Panel, DistanceTypedZeroTakesTheSmallestLength) {
  Started s;
  s.SelectSolution(kManual);
  s.Enter(kDistanceRow, "0");
  EXPECT_EQ(s.working().params[kDistanceRow].value, 1e-5f);
  EXPECT_EQ(s.Text(ControlId::RowEdit0), "1.e-005");
  s.Enter(kDistanceRow, "nan");
  EXPECT_EQ(s.working().params[kDistanceRow].value, 1e-5f);
  s.Enter(kDistanceRow, "12.5");
  EXPECT_EQ(s.Text(ControlId::RowEdit0), "12.50000");
}

TEST(Panel, SliderShowsTheGeneralFormatUntilTheNextCommand) {
  Started s;
  s.SelectSolution(kDxfAuto);
  s.surface.SetSliderPos(ControlId::RowSlider3, 200, true);
  OnSlider(*s.station, ControlId::RowSlider3, 200);
  EXPECT_EQ(s.Text(ControlId::RowEdit3), "200.");
  EXPECT_EQ(s.working().params[kThresholdRow].value, 200.0f);
  OnCommand(*s.station, ControlId::Enlarge); // any command commits first
  EXPECT_EQ(s.Text(ControlId::RowEdit3), "200");
  // A position beyond the range stops at its end.
  OnSlider(*s.station, ControlId::RowSlider3, 1000);
  EXPECT_EQ(s.working().params[kThresholdRow].value, 255.0f);
}

TEST(Panel, UncommittedEditIsKeptAcrossASolutionChange) {
  Started s;
  s.SelectSolution(kDxfAuto);
  s.Type(kThresholdRow, "99"); // still in the edit box
  s.SelectSolution(kDxfSimple);
  EXPECT_EQ(StoredSolution(*s.station, kDxfAuto).params[kThresholdRow].value, 99.0f);
  EXPECT_EQ(s.working().id, 202u);
  EXPECT_FALSE(s.surface.IsVisible(ControlId::RowEdit3)); // DXF Simple has two rows
  EXPECT_FALSE(s.surface.IsVisible(ControlId::RowSlider3));
  s.SelectSolution(kDxfAuto);
  EXPECT_EQ(s.Text(ControlId::RowEdit3), "99");
  EXPECT_EQ(s.surface.SliderPos(ControlId::RowSlider3), 99);
}

// The coordinate line names a pointer position or an ROI of the solution
// being left; the next solution starts without it.
TEST(Panel, SolutionChangeClearsTheCoordinateLine) {
  Started s;
  s.SelectSolution(kManual);
  OnMouse(*s.station, MouseEvent::LeftDown, 20, 20, kKeyLeftButton);
  OnMouse(*s.station, MouseEvent::Move, 120, 100, kKeyLeftButton);
  OnMouse(*s.station, MouseEvent::LeftUp, 120, 100, 0);
  ASSERT_EQ(s.working().roi_count, 1u);
  ASSERT_NE(s.Text(ControlId::CoordinateLine), "");
  s.SelectSolution(kDxfAuto);
  EXPECT_EQ(s.Text(ControlId::CoordinateLine), "");
}

TEST(Panel, RowsLabelsChoicesAndButtonsOfASolution) {
  Started s;
  s.SelectSolution(kDxfAuto);
  EXPECT_EQ(s.Text(ControlId::SolutionGroup), "Solution Settings");
  EXPECT_EQ(s.Text(ControlId::RowLabel0), "Distance (in.)");
  EXPECT_EQ(s.Text(ControlId::RowLabel1), "Edge Find Threshold");
  EXPECT_EQ(s.Text(ControlId::RowEdit1), "16.00000");
  // The Dark/Light list takes the place of row 2's edit box.
  EXPECT_TRUE(s.surface.IsVisible(ControlId::DarkLightChoice));
  EXPECT_FALSE(s.surface.IsVisible(ControlId::RowEdit2));
  EXPECT_FALSE(s.surface.IsVisible(ControlId::FilterChoice));
  const LayoutEntry* edit = FindLayout(WindowOf(*s.station), ControlId::RowEdit2);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(s.surface.ControlRect(ControlId::DarkLightChoice),
            (Rect{edit->current_left, edit->current_top, edit->width, edit->height}));
  EXPECT_EQ(s.surface.ComboSelection(ControlId::DarkLightChoice), 1);
  EXPECT_EQ(s.surface.control(ControlId::RowSlider3).slider_max, 255);
  EXPECT_TRUE(s.surface.IsVisible(ControlId::RoiCount)); // ui_flags 0xB0 has 0x20
  EXPECT_EQ(s.Text(ControlId::RoiCount), "Regions of Interest: 0");
  EXPECT_TRUE(s.surface.IsVisible(ControlId::Grab));
  EXPECT_TRUE(s.surface.IsVisible(ControlId::Process));
  EXPECT_FALSE(s.surface.IsVisible(ControlId::Train));

  s.surface.SelectComboItem(ControlId::DarkLightChoice, 0);
  OnSelectionChange(*s.station, ControlId::DarkLightChoice);
  EXPECT_EQ(s.working().params[kBackgroundRow].value, 0.0f);
  EXPECT_EQ(s.Text(ControlId::RowEdit2), "0");

  // No row of the Filter kind: nothing changes.
  s.surface.SelectComboItem(ControlId::FilterChoice, 2);
  OnSelectionChange(*s.station, ControlId::FilterChoice);
  for (const SolutionParam& p : s.working().params) EXPECT_NE(p.value, 2.0f);

  s.surface.SelectComboItem(ControlId::OptionList, 3);
  OnSelectionChange(*s.station, ControlId::OptionList);
  EXPECT_EQ(s.working().option_index, 3u);
}

TEST(Panel, EnlargeHidesTheRowsAndAnotherSolutionKeepsThemHidden) {
  Started s;
  s.SelectSolution(kDxfAuto);
  const uint32_t normal_width = s.station->image.view_width;
  OnCommand(*s.station, ControlId::Enlarge);
  EXPECT_EQ(s.Text(ControlId::Enlarge), "Reduce");
  EXPECT_FALSE(s.surface.IsVisible(ControlId::SolutionGroup));
  EXPECT_FALSE(s.surface.IsVisible(ControlId::RowEdit0));
  EXPECT_FALSE(s.surface.IsVisible(ControlId::OptionList));
  EXPECT_FALSE(s.surface.IsVisible(ControlId::RoiCount));
  EXPECT_TRUE(s.surface.IsEnabled(ControlId::Enlarge));
  EXPECT_EQ(s.surface.control(ControlId::Enlarge).colour_state, 0u);
  EXPECT_GT(s.station->image.view_width, normal_width);
  EXPECT_EQ(s.station->image.view_width * 3, s.station->image.view_height * 4);

  s.SelectSolution(kAuto);
  EXPECT_FALSE(s.surface.IsVisible(ControlId::RowEdit0));
  EXPECT_FALSE(s.surface.IsVisible(ControlId::RowLabel0));
  EXPECT_TRUE(s.surface.IsVisible(ControlId::Process));
  EXPECT_TRUE(s.surface.IsVisible(ControlId::Grab));   // the button bits still decide
  EXPECT_FALSE(s.surface.IsVisible(ControlId::Train));

  OnCommand(*s.station, ControlId::Enlarge);
  EXPECT_EQ(s.Text(ControlId::Enlarge), "Enlarge");
  EXPECT_TRUE(s.surface.IsVisible(ControlId::SolutionGroup));
  EXPECT_TRUE(s.surface.IsVisible(ControlId::RowEdit0));
  EXPECT_EQ(s.station->image.view_width, normal_width);
}

TEST(Panel, FormatParamValueByKind) {
  SolutionRecord rec{};
  rec.params[0] = {"a", int32_t(ParamKind::Integer), -7.9f, -10.0f, 10.0f};
  rec.params[1] = {"b", int32_t(ParamKind::Area), 2.5f, 0.0f, 10.0f};
  rec.params[2] = {"c", int32_t(ParamKind::Unused), 0.0f, 0.0f, 0.0f};
  rec.params[3] = {"d", int32_t(ParamKind::Integer), 3e30f, 0.0f, 4e30f};
  EXPECT_EQ(FormatParamValue(rec, 0, "x"), "-7");
  EXPECT_EQ(FormatParamValue(rec, 1, "x"), "2.50000");
  EXPECT_EQ(FormatParamValue(rec, 2, "left alone"), "left alone");
  EXPECT_EQ(FormatParamValue(rec, 3, "x"), "2147483647"); // held within the int range
  EXPECT_EQ(FormatParamValue(rec, 10, "beyond"), "beyond");
}

} // namespace
} // namespace orvane
