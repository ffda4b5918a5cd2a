// Process, Train and the calibration solutions, driven through the fake
// control surface on a station in a temporary folder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "acquisition/acquisition.h"
#include "solutions/calibration.h"
#include "solutions/process.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "ui/status.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using testing::AttachImage;
using testing::ReadBytes;
using testing::StationFixture;

enum Slot : uint32_t { kAuto = 0, kManual = 1, kMeasure = 2, kDxfAuto = 3 };

const char kGateProcess[] =
    "Warning! The system must be calibrated using either auto \r\nor manual calibration before "
    "this function can be used.";
const char kGateTrain[] =
    "Warning! The system must be calibrated using either auto \r\nor manual calibration before "
    "this function can be trained.";

// A calibration target: a dark ring of outer radius r around a bright centre
// disc of radius r / 2, on a light background, with some noise.
std::vector<uint8_t> TargetImage(uint32_t w, uint32_t h, double r, uint32_t seed) {
  std::vector<uint8_t> px(size_t(w) * h * 3);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-6, 6);
  const double cx = w / 2.0, cy = h / 2.0;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
      int v = d < r / 2 ? 225 : d < r ? 30 : 200;
      v = std::clamp(v + noise(rng), 0, 255);
      uint8_t* p = &px[(size_t(y) * w + x) * 3];
      p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
    }
  }
  return px;
}

struct ProcessFixture : StationFixture {
  std::vector<uint8_t> camera_picture;
  int snapshots = 0;

  ProcessFixture(uint32_t w, uint32_t h) {
    // These tests set the working record's values directly, as no edit box
    // holds them; the panel's commit of typed values is the ui tests' part.
    station.hooks.commit_edits = nullptr;
    OpenWorkspace(station);
    AttachImage(station, w, h, 200);
    camera_picture.assign(station.image.size, 200);
    station.hooks.camera_snapshot = [this] {
      ++snapshots;
      std::memcpy(station.image.frame, camera_picture.data(), station.image.size);
      return station.image.size;
    };
  }
  void Select(uint32_t index) {
    station.current_solution = index;
    ASSERT_EQ(LoadSolution(station, index, station.working.get()), 0u);
  }
  const FakeControl& Control(ControlId id) { return surface.control(id); }
};

TEST(Process, GateStopsMeasurementOnAnUncalibratedStation) {
  ProcessFixture f(320, 240);
  f.Select(kMeasure);
  f.surface.SetText(ControlId::ResultLine, "before");
  ProcessCommand(f.station);
  ASSERT_EQ(f.surface.message_boxes().size(), 1u);
  EXPECT_EQ(f.surface.message_boxes()[0].text, kGateProcess);
  EXPECT_EQ(f.surface.message_boxes()[0].caption, "Calibration Required");
  EXPECT_EQ(f.snapshots, 0);
  EXPECT_EQ(f.surface.GetText(ControlId::ResultLine), "before");

  TrainCommand(f.station);
  ASSERT_EQ(f.surface.message_boxes().size(), 2u);
  EXPECT_EQ(f.surface.message_boxes()[1].text, kGateTrain);
  EXPECT_EQ(f.snapshots, 0);
}

TEST(Process, AutoCalibrationStoresTheTargetScale) {
  ProcessFixture f(640, 480);
  f.camera_picture = TargetImage(640, 480, 60.0, 1);
  f.Select(kAuto);
  ProcessCommand(f.station);
  EXPECT_TRUE(f.surface.message_boxes().empty());
  const Settings& s = f.station.settings;
  EXPECT_EQ(s.calibrated, 1u);
  EXPECT_NEAR(s.scale_x, 20.0, 0.4);
  EXPECT_EQ(s.scale_y, s.scale_x);
  EXPECT_EQ(s.scale_third, 0.0);
  EXPECT_EQ(s.calibration_distance, 24.0);
  EXPECT_EQ(s.calibrated_width, 640u);
  EXPECT_EQ(s.calibrated_height, 480u);
  EXPECT_EQ(s.calibrated_scale_x, s.scale_x);
  EXPECT_EQ(f.station.current_distance, 24.0);

  Settings stored;
  auto bytes = ReadBytes(f.dir.path() / "XORVANE.CFG");
  ASSERT_EQ(bytes.size(), sizeof stored);
  std::memcpy(&stored, bytes.data(), sizeof stored);
  EXPECT_EQ(stored.calibrated, 1u);
  EXPECT_EQ(stored.scale_x, s.scale_x);

  const std::string status = f.surface.GetText(ControlId::CalibrationStatus);
  EXPECT_NE(status.find(" pixels/inch\r\n24. inches distance"), std::string::npos) << status;
  EXPECT_EQ(f.Control(ControlId::CalibrationStatus).colour_state, 0u);
  EXPECT_EQ(f.surface.GetText(ControlId::ResultLine), "Success");
  EXPECT_TRUE(f.surface.IsEnabled(ControlId::Process));
  EXPECT_EQ(f.Control(ControlId::Process).colour_state, 0u);
}

TEST(Process, FailedAutoCalibrationChangesNoStoredValue) {
  ProcessFixture f(320, 240);
  f.Select(kAuto);
  const auto before = ReadBytes(f.dir.path() / "XORVANE.CFG");
  ProcessCommand(f.station); // a plain light picture: no target
  ASSERT_EQ(f.surface.message_boxes().size(), 1u);
  EXPECT_EQ(f.surface.message_boxes()[0].text,
            "Calibration Failed: Improve image quality or adjust region of interest and try again.");
  EXPECT_EQ(f.surface.message_boxes()[0].caption, ApplicationTitle());
  EXPECT_EQ(f.station.settings.calibrated, 0u);
  EXPECT_EQ(f.station.settings.scale_x, 0.0);
  EXPECT_EQ(ReadBytes(f.dir.path() / "XORVANE.CFG"), before);
  EXPECT_EQ(f.surface.GetText(ControlId::CalibrationStatus), "Calibration Failed");
  EXPECT_TRUE(f.surface.IsVisible(ControlId::CalibrationStatus));
  EXPECT_EQ(f.Control(ControlId::CalibrationStatus).colour_state, 1u);
  EXPECT_EQ(f.surface.GetText(ControlId::ResultLine), "Failed");
}

TEST(Process, ManualCalibrationInMetricUnitsIsExact) {
  ProcessFixture f(800, 600);
  f.station.settings.units = 1;
  f.station.settings.unit_factor = kMetricUnitFactor;
  PublishGeometry(f.station);
  f.Select(kManual);
  f.station.working->params[1].value = 15.24f;
  f.station.working->roi_count = 1;
  f.station.working->rois[0] = RoiRecord{100, 50, 700, 300, 600, 250, 0, 0, 0, 0, 0};
  ProcessCommand(f.station);
  EXPECT_EQ(f.station.settings.scale_x, 100.0);
  EXPECT_EQ(f.station.settings.scale_y, 100.0);
  EXPECT_EQ(f.station.settings.calibrated, 1u);
  EXPECT_DOUBLE_EQ(f.station.settings.calibration_distance, 24.0f / kMetricUnitFactor);
  // Metric status: pixels per centimetre and the distance in centimetres.
  const std::string status = f.surface.GetText(ControlId::CalibrationStatus);
  EXPECT_EQ(status.substr(0, status.find('\r')), "39.37008 pixels/cm");
  EXPECT_NE(status.find("24. cm distance"), std::string::npos) << status;
}

TEST(Process, ManualCalibrationWithoutRoiIsAFailure) {
  ProcessFixture f(320, 240);
  f.Select(kManual);
  f.station.working->roi_count = 0;
  const auto before = ReadBytes(f.dir.path() / "XORVANE.CFG");
  ProcessCommand(f.station);
  ASSERT_EQ(f.surface.message_boxes().size(), 1u);
  EXPECT_EQ(f.surface.message_boxes()[0].text,
            "This function requires at least one region of interest.");
  EXPECT_EQ(f.surface.message_boxes()[0].caption, "");
  EXPECT_EQ(f.station.settings.calibrated, 0u);
  EXPECT_EQ(ReadBytes(f.dir.path() / "XORVANE.CFG"), before);
  EXPECT_EQ(f.surface.GetText(ControlId::CalibrationStatus), "Calibration Failed");
  EXPECT_EQ(f.Control(ControlId::CalibrationStatus).colour_state, 1u);
}

TEST(Process, ManualCalibrationWithZeroReferenceFails) {
  ProcessFixture f(320, 240);
  f.Select(kManual);
  f.station.working->params[1].value = 0.0f;
  f.station.working->roi_count = 1;
  f.station.working->rois[0] = RoiRecord{10, 10, 110, 110, 100, 100, 0, 0, 0, 0, 0};
  ProcessCommand(f.station);
  EXPECT_TRUE(f.surface.message_boxes().empty());
  EXPECT_EQ(f.station.settings.calibrated, 0u);
  EXPECT_EQ(f.surface.GetText(ControlId::CalibrationStatus), "Calibration Failed");
  EXPECT_EQ(f.surface.GetText(ControlId::ResultLine), "Failed");
}

TEST(Process, ManualCalibrationTakesTheWholeWidthOfAFarApartRoi) {
  ProcessFixture f(320, 240);
  f.Select(kManual);
  f.station.working->params[1].value = 2.0f;
  f.station.working->roi_count = 1;
  // Corners from a damaged file: their difference does not fit an int.
  f.station.working->rois[0] = RoiRecord{-2, 0, INT32_MAX, 10, 0, 10, 0, 0, 0, 0, 0};
  ASSERT_EQ(ManualCalibration(f.station, *f.station.working), 0);
  EXPECT_EQ(f.station.engine.scale_x, (double(INT32_MAX) + 2.0) / 2.0);
  EXPECT_EQ(f.station.engine.scale_y, f.station.engine.scale_x);
}

struct TextLog {
  struct Entry {
    int32_t x, y;
    std::string text;
  };
  std::vector<Entry> entries;
  void Attach(Station& st) {
    st.overlay_text_observer = [this](int32_t x, int32_t y, std::string_view t, Rgb) {
      entries.push_back({x, y, std::string(t)});
    };
  }
  const Entry* Find(const std::string& text) const {
    for (const auto& e : entries)
      if (e.text == text) return &e;
    return nullptr;
  }
};

TEST(Process, ResultAndTimeTextRowsFollowTheMarkSize) {
  {
    ProcessFixture f(640, 480);
    UpdateStatusLine(f.station);
    ASSERT_EQ(f.station.mark_size_class, 1u);
    f.Select(kAuto);
    f.camera_picture = TargetImage(640, 480, 60.0, 2);
    TextLog log;
    log.Attach(f.station);
    f.clock.set_step(0); // a run within one tick
    ProcessCommand(f.station);
    const auto* result = log.Find("Success");
    const auto* time = log.Find("15 ms");
    ASSERT_TRUE(result && time);
    EXPECT_EQ(result->x, 16);
    EXPECT_EQ(result->y, 414);
    EXPECT_EQ(time->y, 444);
  }
  {
    ProcessFixture f(320, 240);
    UpdateStatusLine(f.station);
    ASSERT_EQ(f.station.mark_size_class, 0u);
    f.Select(kAuto);
    TextLog log;
    log.Attach(f.station);
    f.clock.set_step(7);
    ProcessCommand(f.station);
    const auto* time = log.Find("7 ms");
    ASSERT_TRUE(time);
    EXPECT_EQ(time->y, 240); // below the last row: nothing drawn
    // The overlay was redrawn after the failed search: below the legend it
    // holds nothing, so neither text reached the image.
    for (size_t i = 60 * f.station.image.stride; i < f.station.image.size; ++i) {
      ASSERT_EQ(f.station.image.overlay[i], 0) << i;
    }
  }
}

TEST(Process, UnknownSolutionOnlyClearsTheResultAndDrawsTheTime) {
  ProcessFixture f(640, 480);
  UpdateStatusLine(f.station);
  f.Select(kDxfAuto);
  f.station.working->id = 999;
  f.station.working->ui_flags = 0;
  std::strcpy(f.station.working->result_text, "stale");
  TextLog log;
  log.Attach(f.station);
  ProcessCommand(f.station);
  EXPECT_EQ(f.station.working->result_text[0], '\0');
  ASSERT_EQ(log.entries.size(), 2u); // the mode legend and the time
  EXPECT_EQ(log.entries[1].text, "15 ms");
  EXPECT_EQ(f.surface.GetText(ControlId::ResultLine), "----------------");
  EXPECT_EQ(f.station.view.bits, f.station.image.display);
  EXPECT_EQ(f.surface.GetText(ControlId::ModeIndicator), "Still");
}

TEST(Process, FailedAcquisitionOnlyUnlocks) {
  ProcessFixture f(320, 240);
  f.Select(kAuto);
  f.station.hooks.camera_snapshot = [] { return 0u; };
  ProcessCommand(f.station);
  EXPECT_EQ(f.station.settings.calibrated, 0u);
  EXPECT_TRUE(f.surface.message_boxes().empty());
  EXPECT_TRUE(f.surface.IsEnabled(ControlId::Process));
  EXPECT_EQ(f.station.view.bits, nullptr);
}

TEST(Process, NewFrameSetsTheMouseModeOfTheSolution) {
  ProcessFixture f(320, 240);
  f.station.settings.calibrated = 1;
  f.Select(kMeasure); // 0x190: clears the sets, mode 1
  f.station.working->meas_count = 3;
  f.station.view.mouse_mode = 4;
  f.station.view.set_complete = 0;
  ProcessCommand(f.station);
  EXPECT_EQ(f.station.working->meas_count, 0u);
  EXPECT_EQ(f.station.view.mouse_mode, 1u);
  EXPECT_EQ(f.station.view.set_complete, 1u);

  f.Select(5); // DXF Trace Output, 0x290: at least mode 3
  f.station.view.mouse_mode = 1;
  PrepareForNewFrame(f.station);
  EXPECT_EQ(f.station.view.mouse_mode, 3u);
  f.station.view.mouse_mode = 5;
  PrepareForNewFrame(f.station);
  EXPECT_EQ(f.station.view.mouse_mode, 5u);
  f.Select(kDxfAuto); // neither bit
  PrepareForNewFrame(f.station);
  EXPECT_EQ(f.station.view.mouse_mode, 0u);
}

TEST(Train, ResetsTheResultAndDrawsNoText) {
  ProcessFixture f(640, 480);
  f.Select(kAuto);
  TextLog log;
  log.Attach(f.station);
  TrainCommand(f.station);
  EXPECT_EQ(f.snapshots, 1);
  for (const auto& e : log.entries) EXPECT_EQ(e.text, "ROI"); // only the legend
  EXPECT_TRUE(f.surface.IsEnabled(ControlId::Train));
  EXPECT_EQ(f.Control(ControlId::Train).colour_state, 0u);
  EXPECT_EQ(f.station.settings.calibrated, 0u);
}

} // namespace
} // namespace orvane
