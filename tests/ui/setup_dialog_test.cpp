// The General Set-Up dialog and the Set-Up command: settings written at once,
// unit conversion of every solution, Reset ROIs, colours, the resolution list.
#include "ui/setup_dialog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "results/session.h"
#include "results/trace_file.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "ui/main_window.h"
#include "ui/ui_support.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using testing::ReadBytes;
using testing::Started;
using testing::StoredSolution;

using D = DialogControlId;
enum Slot : uint32_t { kAuto = 0, kManual = 1, kDxfAuto = 3, kDxfSimple = 4 };

// Runs Set-Up with a user who does `act` and then presses OK.
template <typename Act>
void VisitSetUp(Started& s, Act act) {
  s.surface.QueueDialog([act](DialogModel& d) {
    act(d);
    return *d.Press(D::Ok);
  });
  OnCommand(*s.station, ControlId::SetUp);
}

std::vector<std::vector<uint8_t>> SolutionFiles(Started& s) {
  std::vector<std::vector<uint8_t>> files;
  for (uint32_t id : {1, 2, 101, 201, 202, 203}) {
    files.push_back(ReadBytes(s.dir->path() / SolutionFileName(id)));
  }
  return files;
}

TEST(SetUpDialog, ListsShowTheSettingsAndWriteThemAtOnce) {
  Started s;
  Settings& settings = s.station->settings;
  s.surface.QueueDialog([&settings](DialogModel& d) {
    EXPECT_EQ(d.title(), "General Set-Up");
    EXPECT_EQ(d.Find(D::OnFunctionChange)->selection, 2);
    EXPECT_EQ(d.Find(D::ExpandWindow)->selection, 1);
    EXPECT_EQ(d.Find(D::DecimalsDimensions)->items.size(), 15u);
    EXPECT_EQ(d.Find(D::DecimalsDimensions)->items[14], "Fractional 1/64");
    EXPECT_EQ(d.Find(D::BackgroundColour)->items[13], "Light Magenta");
    EXPECT_EQ(d.Find(D::ImageSavePreference)->items[5], "HQ JPEG Image & Overlay");
    // File mode: the resolution list is disabled; the hidden Cancel does nothing.
    EXPECT_FALSE(d.Find(D::Resolution)->enabled);
    EXPECT_FALSE(d.Press(D::Cancel).has_value());

    d.Choose(D::TextBackground, 1);
    EXPECT_EQ(settings.flags, kFlagExpandWindow | kFlagTextBackground);
    d.Choose(D::ExpandWindow, 0);
    EXPECT_EQ(settings.flags, kFlagTextBackground);
    d.Choose(D::DecimalsAngles, 7);
    d.Choose(D::BackgroundColour, 1);
    d.Choose(D::ForegroundColour, 14);
    return DialogResult::Cancel; // Escape keeps every change
  });
  OnCommand(*s.station, ControlId::SetUp);
  EXPECT_EQ(settings.decimals_angles, 7u);
  EXPECT_EQ(settings.background_colour, 0x800000u);
  EXPECT_EQ(settings.foreground_colour, 0x00FFFFu);
  EXPECT_EQ(s.surface.window_colours(), (ControlColours{0x00FFFF, 0x800000}));
  EXPECT_EQ(s.surface.control(ControlId::ImageStatus).normal, (ControlColours{0x00FFFF, 0x800000}));
  auto next = s.Restart();
  EXPECT_EQ(next->station->settings.decimals_angles, 7u);
  EXPECT_EQ(next->surface.window_rect(), Rect{}); // expansion now off
}

// The results server as Set-Up names it: its password never shown back, a
// field left as shown keeps the stored string, the station's name beside
// it; an emptied field un-names the server.
TEST(SetUpDialog, NamesTheResultsServerWithoutShowingItsPassword) {
  ::unsetenv(kResultsUrlVariable);
  Started s;
  const std::string url = "host=/nonexistent dbname=results password='s e\\'cret'";
  const std::string name = ResultsStationName(*s.station);
  VisitSetUp(s, [&](DialogModel& d) {
    EXPECT_EQ(d.Find(kResultsServerEdit)->text, "");
    EXPECT_EQ(d.Find(kStationNameEdit)->text, name); // the host and the folder
    d.Type(kResultsServerEdit, url);
    d.Type(kStationNameEdit, "line-3");
  });
  EXPECT_EQ(ResultsServerSetting(*s.station), url);
  EXPECT_EQ(ResultsStationName(*s.station), "line-3");
  VisitSetUp(s, [](DialogModel& d) {
    EXPECT_EQ(d.Find(kResultsServerEdit)->text, "host=/nonexistent dbname=results password=********");
    EXPECT_EQ(d.Find(kStationNameEdit)->text, "line-3");
  });
  EXPECT_EQ(ResultsServerSetting(*s.station), url);
  VisitSetUp(s, [](DialogModel& d) { d.Type(kResultsServerEdit, ""); });
  EXPECT_EQ(ResultsServerSetting(*s.station), "");
  EXPECT_EQ(ResultsStationName(*s.station), "line-3");
}

// Set-Up commits a value typed and not yet left, whether or not the dialog
// changes what makes the working record reload (units, Reset ROIs).
TEST(SetUpDialog, CommitsTheValueTypedAndNotLeft) {
  for (const bool convert : {false, true}) {
    Started s;
    s.SelectSolution(kDxfAuto);
    s.Type(3, "99"); // Threshold, still in the edit box
    VisitSetUp(s, [convert](DialogModel& d) {
      if (convert) d.Choose(D::MeasurementStandard, 1);
    });
    EXPECT_EQ(s.working().params[3].value, 99.0f) << convert;
    EXPECT_EQ(StoredSolution(*s.station, kDxfAuto).params[3].value, 99.0f) << convert;
    EXPECT_EQ(s.Text(ControlId::RowEdit3), "99") << convert;
  }
}

TEST(SetUpDialog, EnglishToMetricConvertsLengthsAndAreasOfEverySolution) {
  Started s;
  // An area slot in a stored solution: 1 square inch.
  SolutionRecord simple = StoredSolution(*s.station, kDxfSimple);
  simple.params[2] = {"Minimum Area", int32_t(ParamKind::Area), 1.0f, 0.0f, 1000.0f};
  SaveSolution(*s.station, simple);
  s.SelectSolution(kManual);

  VisitSetUp(s, [](DialogModel& d) { d.Choose(D::MeasurementStandard, 1); });
  const Settings& settings = s.station->settings;
  EXPECT_EQ(settings.units, 1u);
  EXPECT_EQ(settings.unit_factor, 2.5399999618530273);
  const float metric_24 = static_cast<float>(24.0 * 2.5399999618530273);
  EXPECT_EQ(metric_24, 60.96f);
  // The selected solution, in the working record and the panel, and others.
  EXPECT_EQ(s.working().params[0].value, metric_24);
  EXPECT_EQ(s.Text(ControlId::RowEdit0), "60.96000");
  EXPECT_EQ(s.Text(ControlId::RowLabel0), "Distance (cm)");
  EXPECT_EQ(StoredSolution(*s.station, kAuto).params[0].value, metric_24);
  EXPECT_EQ(StoredSolution(*s.station, kDxfAuto).params[0].value, metric_24);
  EXPECT_EQ(StoredSolution(*s.station, kDxfAuto).params[3].value, 128.0f); // an integer
  EXPECT_NEAR(StoredSolution(*s.station, kDxfSimple).params[2].value, 6.4516, 1e-5);
  EXPECT_EQ(s.station->engine.unit_factor, 2.5399999618530273);

  // And back: the inverse factor.
  VisitSetUp(s, [](DialogModel& d) { d.Choose(D::MeasurementStandard, 0); });
  EXPECT_EQ(settings.unit_factor, 1.0);
  EXPECT_NEAR(s.working().params[0].value, 24.0f, 1e-5);
  EXPECT_EQ(s.Text(ControlId::RowLabel0), "Distance (in.)");
}

TEST(SetUpDialog, MetricThenEnglishInOneVisitChangesNothing) {
  Started s;
  const auto before = SolutionFiles(s);
  VisitSetUp(s, [](DialogModel& d) {
    d.Choose(D::MeasurementStandard, 1);
    d.Choose(D::MeasurementStandard, 0);
  });
  EXPECT_EQ(s.station->settings.units, 0u);
  EXPECT_EQ(s.station->settings.unit_factor, 1.0);
  EXPECT_EQ(SolutionFiles(s), before);
}

TEST(SetUpDialog, ResetRoisAnsweredNoThenYes) {
  Started s;
  s.SelectSolution(kDxfAuto);
  RoiRecord roi{10, 10, 100, 100, 90, 90, 2, 0, 0, 0, 0};
  SetRelativeCorners(roi, s.station->image.width, s.station->image.height);
  for (uint32_t index : {kManual, kDxfSimple}) {
    SolutionRecord r = StoredSolution(*s.station, index);
    r.roi_count = 1;
    r.rois[0] = roi;
    SaveSolution(*s.station, r);
  }
  s.station->working->roi_count = 1; // the selected one, saved by Set-Up first
  s.station->working->rois[0] = roi;

  s.surface.QueueAnswer(MessageAnswer::No);
  VisitSetUp(s, [](DialogModel& d) { EXPECT_FALSE(d.Press(D::ResetRois).has_value()); });
  ASSERT_EQ(s.surface.message_boxes().size(), 1u);
  EXPECT_EQ(s.surface.message_boxes()[0].text,
            "Warning! You are about to reset all regions of interest. Continue?");
  EXPECT_EQ(s.surface.message_boxes()[0].caption, "Reset ROIs");
  EXPECT_EQ(s.surface.message_boxes()[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(s.working().roi_count, 1u);
  EXPECT_EQ(StoredSolution(*s.station, kManual).roi_count, 1u);
  EXPECT_EQ(s.Text(ControlId::RoiCount), "Regions of Interest: 1");

  s.surface.QueueAnswer(MessageAnswer::Yes);
  VisitSetUp(s, [](DialogModel& d) { d.Press(D::ResetRois); });
  for (uint32_t index = 0; index < 6; ++index) {
    EXPECT_EQ(StoredSolution(*s.station, index).roi_count, 0u) << index;
  }
  EXPECT_EQ(s.working().roi_count, 0u);
  EXPECT_EQ(s.Text(ControlId::RoiCount), "Regions of Interest: 0");
  // Exit saves the working record: the reset stays.
  OnCommand(*s.station, ControlId::Exit);
  EXPECT_EQ(StoredSolution(*s.station, kDxfAuto).roi_count, 0u);
}

TEST(SetUpDialog, ResolutionListFromTheFormatTable) {
  testing::StationFixture f;
  CameraFormatTable table{};
  table.rows[0] = {320, 240, 24, kCompressionRgb, 320 * 240 * 3};
  table.rows[1] = {640, 480, 16, kCompressionYuy2, 640 * 480 * 2};
  table.rows[2] = {640, 480, 24, kCompressionRgb, 640 * 480 * 3};
  table.rows[3] = {640, 480, 12, 0x3231564E, 640 * 480 * 3 / 2}; // neither RGB nor YUY2
  table.count = 4;
  f.station.settings.requested_width = 640;
  f.station.settings.requested_height = 480;
  f.station.settings.camera_pixel_format = kCompressionRgb;
  SetUpDialog d(f.station, table);
  const DialogControl* list = d.Find(D::Resolution);
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->enabled);
  EXPECT_EQ(list->items, (std::vector<std::string>{"320x240 (RGB format)", "640x480 (YUY2 format)",
                                                   "640x480 (RGB format)", "640x480 format)"}));
  EXPECT_EQ(list->selection, 2);
  EXPECT_EQ(d.chosen_row(), 2u);
  d.Choose(D::Resolution, 1);
  EXPECT_EQ(f.station.settings.camera_pixel_format, kCompressionYuy2);
  EXPECT_EQ(d.chosen_row(), 1u);
  d.Choose(D::Resolution, 0);
  EXPECT_EQ(f.station.settings.requested_width, 320u);
  EXPECT_EQ(f.station.settings.requested_height, 240u);

  // No matching row: row 0.
  f.station.settings.requested_width = 1024;
  SetUpDialog other(f.station, table);
  EXPECT_EQ(other.Find(D::Resolution)->selection, 0);
}

TEST(SetUpDialog, WithoutACameraAResolutionChoiceFallsBackToTheImageSize) {
  Started s;
  Settings& settings = s.station->settings;
  // As if a choice had been stored while no camera runs.
  s.surface.QueueDialog([&settings](DialogModel&) {
    settings.requested_width = 640;
    settings.requested_height = 480;
    return DialogResult::Cancel;
  });
  OnCommand(*s.station, ControlId::SetUp);
  EXPECT_EQ(settings.requested_width, 800u); // the blank image's size
  EXPECT_EQ(settings.requested_height, 600u);
  EXPECT_EQ(s.Text(ControlId::ImageStatus), "800 x 600 (4:3)");
}

// The operator is a field of the dialog: shown as kept, and what is typed
// there named on reports and kept in the working folder.
TEST(SetUpDialog, OperatorFieldKeptInTheFolder) {
  Started s;
  VisitSetUp(s, [](DialogModel& d) {
    ASSERT_NE(d.Find(kOperatorEdit), nullptr);
    EXPECT_EQ(d.Find(kOperatorEdit)->text, "");
    d.Type(kOperatorEdit, "J. Smith");
  });
  EXPECT_EQ(ResultsOf(*s.station).operator_name, "J. Smith");
  ASSERT_TRUE(ReadTraceFile(s.dir->path()));
  EXPECT_EQ(ReadTraceFile(s.dir->path())->operator_name, "J. Smith");
  VisitSetUp(s, [](DialogModel& d) { EXPECT_EQ(d.Find(kOperatorEdit)->text, "J. Smith"); });
}

} // namespace
} // namespace orvane
