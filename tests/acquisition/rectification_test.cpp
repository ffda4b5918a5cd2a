// Rectification at acquisition on the virtual camera: bound to its camera and
// size, off without changing a byte, on for the snapshot and the live area
// alike, and measuring true across the field.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sys/stat.h>
#include <string>
#include <vector>

#include "acquisition/acquisition.h"
#include "acquisition/camera_capture.h"
#include "acquisition/rectification.h"
#include "ui/commands.h"
#include "platform/video/virtual_camera.h"
#include "solutions/calibration.h"
#include "support/processes.h"
#include "support/station_fixture.h"
#include "station/workspace.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using rectify::GridKind;
using rectify::GridSpec;

constexpr uint32_t kYuy2 = 0x32595559;

struct LensFixture : testing::StationFixture {
  LensFixture() { OpenWorkspace(station); }
  ~LensFixture() { CloseCamera(station); }

  // Starts the virtual camera on a scene at w x h through `lens`.
  void Camera(const char* source, const char* lens, uint32_t w = 640, uint32_t h = 480, bool noise = false) {
    video::VirtualCameraConfig config;
    config.source = source;
    config.formats = {video::MakeVirtualFormat(w, h, kYuy2)};
    config.noise = noise;
    EXPECT_TRUE(video::ParseVirtualLens(lens, &config.lens));
    UseVideoBackend(station, video::MakeVirtualBackend(config));
    ASSERT_TRUE(StartCamera(station, 0));
    station.hooks.update_status_line(); // as start-up does once the camera runs
  }
  // Grid calibration on the virtual grid, accepted.
  void Calibrate() {
    const GridSpec spec{GridKind::Dots, video::kGridRows, video::kGridCols, 1.0};
    std::vector<std::vector<rectify::Point2>> views;
    ASSERT_FALSE(GrabGridView(station, spec, &views));
    std::string error;
    const auto fit = rectify::FitGrid(spec, views, station.image.width, station.image.height, &error);
    ASSERT_TRUE(fit) << error;
    ASSERT_FALSE(AcceptGridCalibration(station, spec, *fit));
  }
  std::vector<uint8_t> Grab() {
    GrabCommand(station);
    return std::vector<uint8_t>(station.image.frame, station.image.frame + station.image.size);
  }
  std::string Status() { return surface.GetText(ControlId::ImageStatus); }
  void WriteFile(const std::string& text) {
    testing::WriteBytes(station.PathOf(rectify::kRectificationFile), text.data(), text.size());
  }
  std::string File() {
    const auto bytes = testing::ReadBytes(station.PathOf(rectify::kRectificationFile));
    return std::string(bytes.begin(), bytes.end());
  }
};

const char* kLens = "k1=-0.2,tilt=10";

TEST(Rectification, AFileForAnotherCameraOrSizeOrADamagedOneLeavesThePictureAsDeliveredAndSaysWhy) {
  // The reference: no file at all.
  std::vector<uint8_t> plain;
  std::string plain_status;
  {
    LensFixture f;
    f.Camera("scene", kLens);
    plain = f.Grab();
    plain_status = f.Status();
    EXPECT_EQ(plain_status, "640 x 480 (4:3) YUY2");
  }
  std::string made;
  {
    LensFixture f;
    f.Camera("grid", kLens);
    f.Calibrate();
    EXPECT_EQ(f.Status(), "640 x 480 (4:3) YUY2 - Rectified");
    made = f.File();
  }
  const auto replace = [&made](const std::string& from, const std::string& to) {
    std::string s = made;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  struct Case {
    std::string file;
    const char* status;
  };
  const Case cases[] = {
      {replace("camera Virtual camera", "camera Other camera"),
       "640 x 480 (4:3) YUY2 - Rectification off: made for Other camera at 640 x 480"},
      {replace("size 640 480", "size 800 600"),
       "640 x 480 (4:3) YUY2 - Rectification off: made for Virtual camera at 800 x 600"},
      {made.substr(0, made.size() / 2), "640 x 480 (4:3) YUY2 - Rectification off: RECTIFY.CFG is damaged"},
      // Finite numbers no lens has: refused with the reason.
      {made.substr(0, made.find("distortion")) + "distortion -5 0 0 0 0" + made.substr(made.find("\nrotation")),
       "640 x 480 (4:3) YUY2 - Rectification off: RECTIFY.CFG holds no usable lens model: it folds the picture"},
      {replace("state on", "state off"), "640 x 480 (4:3) YUY2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    LensFixture f;
    f.WriteFile(c.file);
    f.Camera("scene", kLens);
    EXPECT_EQ(f.Grab(), plain);
    EXPECT_EQ(f.Status(), c.status);
    // Nothing turns it on but a calibration for this camera, and a refusal
    // leaves the file as it was.
    const bool refused = SetRectification(f.station, true).has_value();
    EXPECT_EQ(refused, c.file.find("state off") == std::string::npos);
    if (refused) {
      EXPECT_EQ(f.File(), c.file);
    }
  }
}

// A pipe in the file's place used to hang the camera's start (and the whole
// station with its folder lock); one where the old temporary file went hung
// every switch on or off. Under a time limit, so that a hang fails.
TEST(Rectification, APipeInTheFilesPlaceOrBesideItIsNeverWaitedOn) {
  const int status = testing::InChild(
      [] {
        int failures = 0;
        {
          LensFixture f;
          ::mkfifo(f.station.PathOf(rectify::kRectificationFile).c_str(), 0644);
          f.Camera("grid", kLens);
          if (f.Status() != "640 x 480 (4:3) YUY2 - Rectification off: RECTIFY.CFG could not be read: Not a regular file") {
            failures |= 1;
          }
          if (!SetRectification(f.station, true)) failures |= 2;
        }
        LensFixture f;
        ::mkfifo(f.station.PathOf("RECTIFY.CFG.new").c_str(), 0644);
        f.Camera("grid", kLens);
        f.Calibrate();
        if (SetRectification(f.station, false) || SetRectification(f.station, true)) failures |= 4;
        if (f.Status() != "640 x 480 (4:3) YUY2 - Rectified") failures |= 8;
        return failures;
      },
      30.0);
  EXPECT_EQ(status, 0);
}

TEST(Rectification, OnRectifiesSnapshotAndLivePictureAlikeAndOffRestoresTheCameraPicture) {
  LensFixture f;
  f.Camera("grid", kLens);
  const std::vector<uint8_t> raw = f.Grab();
  f.Calibrate();
  const std::vector<uint8_t> rectified = f.Grab();
  EXPECT_NE(rectified, raw);
  LivePicture live;
  ASSERT_TRUE(LatestPicture(f.station, &live));
  size_t differ = 0;
  for (size_t i = 0; i < size_t{live.width} * live.height; ++i) {
    for (size_t c = 0; c < 3; ++c) differ += live.bgrx[i * 4 + c] != rectified[i * 3 + c];
  }
  EXPECT_EQ(differ, 0u);

  ASSERT_FALSE(SetRectification(f.station, false));
  EXPECT_EQ(f.Grab(), raw);
  EXPECT_EQ(f.Status(), "640 x 480 (4:3) YUY2");
  EXPECT_NE(f.File().find("state off"), std::string::npos);
  ASSERT_FALSE(SetRectification(f.station, true));
  EXPECT_EQ(f.Grab(), rectified);
}

// The part's length along the rows around (x, y) of a 3-byte frame, in
// pixels: how much darker than the ground the rows are, over a window that
// holds the whole bar, in widths of the step from ground to part (both grey
// levels read off the picture). The sum is what a sub-pixel edge cannot be:
// indifferent to where the edges fall on the pixel grid and to how soft the
// resampling made them.
double BarLength(const Station& st, double x, double y, double unit) {
  const ImageState& im = st.image;
  const int32_t rows = 20, reach = int32_t(std::lround(3.6 * unit)), flat = int32_t(unit / 4);
  const int32_t cx = int32_t(std::lround(x)), cy = int32_t(std::lround(y));
  const auto grey = [&](int32_t px, int32_t py) { return double(im.frame[size_t(py) * im.stride + size_t(px) * 3]); };
  double sum = 0.0, ground = 0.0, part = 0.0;
  for (int32_t py = cy - rows; py <= cy + rows; ++py) {
    for (int32_t px = cx - reach; px <= cx + reach; ++px) sum += grey(px, py);
    for (int32_t k = 0; k < flat; ++k) ground += grey(cx - reach + k, py) + grey(cx + reach - k, py);
    for (int32_t k = -flat; k < flat; ++k) part += grey(cx + k, py);
  }
  const double n = 2 * rows + 1;
  ground /= n * 2 * flat;
  part /= n * 2 * flat;
  return ((2 * reach + 1) * ground - sum / n) / (ground - part);
}

// The 6-unit bar at nine places across a 1280 x 720 field seen through the
// lens, with sensor noise, in units of the station's Auto Calibration made on
// the target at its place and, once rectified, also in true units (the
// rectified picture's scale as the virtual lens makes it). Prints the
// lengths for the record.
struct BarLengths {
  std::vector<double> calibrated;
  std::vector<double> true_units; // rectified only
};

BarLengths MeasureBars(bool rectified) {
  const bool noise = true;
  LensFixture f;
  const uint32_t w = 1280, h = 720;
  if (rectified) {
    f.Camera("grid", kLens, w, h, noise);
    f.Calibrate();
  }
  f.Camera("scene", kLens, w, h, noise);
  f.Grab();
  SolutionRecord rec = *f.station.working;
  rec.roi_count = 0;
  rec.params[0].value = 10.0f;
  EXPECT_EQ(AutoCalibration(f.station, rec), 0);
  const double scale = f.station.engine.scale_x;
  f.Camera("bars", kLens, w, h, noise);
  f.Grab();
  video::VirtualLens lens;
  video::ParseVirtualLens(kLens, &lens);
  const RectificationState& state = f.station.camera->rectification;
  rectify::OutputFrame frame;
  double true_scale = 0.0; // rectified pixels per scene unit
  if (rectified) {
    EXPECT_TRUE(rectify::FrameOf(state.record->model, &frame));
    // The fit's plane unit is one grid pitch.
    true_scale = rectify::OutputScale(frame) * video::LayoutScene(w, h).unit / video::LayoutGrid(w, h).pitch;
  }
  BarLengths out;
  for (const video::BarCentre& b : video::LayoutBars(w, h)) {
    rectify::Point2 at;
    video::LensForward(lens, w, h, b.x - 0.5, b.y - 0.5, &at.x, &at.y);
    if (rectified) {
      rectify::Point2 plane;
      EXPECT_TRUE(rectify::PlanePointOf(state.record->model, at, &plane));
      at = rectify::OutputOfPlane(state.record->model, frame, plane);
    }
    const double pixels = BarLength(f.station, at.x, at.y, scale);
    out.calibrated.push_back(pixels / scale);
    if (rectified) out.true_units.push_back(pixels / true_scale);
  }
  const auto print = [rectified](const char* what, const std::vector<double>& lengths) {
    std::printf("bar %s rectification, %s:", rectified ? "with" : "without", what);
    for (double v : lengths) std::printf(" %.4f", v);
    std::printf("\n");
  };
  print("Auto Calibration units", out.calibrated);
  if (rectified) print("true units", out.true_units);
  return out;
}

// The largest distance of a length from 6 units, and from the lengths' mean,
// as fractions of the length.
std::pair<double, double> Worst(const std::vector<double>& lengths) {
  double mean = 0.0, from_six = 0.0, from_mean = 0.0;
  for (double v : lengths) mean += v / lengths.size();
  for (double v : lengths) {
    from_six = std::max(from_six, std::abs(v / 6.0 - 1.0));
    from_mean = std::max(from_mean, std::abs(v / mean - 1.0));
  }
  return {from_six, from_mean};
}

TEST(Rectification, TheBarMeasuresTheSameAtNinePlacesAcrossTheFieldOnlyWhenRectified) {
  const BarLengths with = MeasureBars(true);
  const BarLengths without = MeasureBars(false);
  // Against the truth, every place within 0.05 %.
  EXPECT_LE(Worst(with.true_units).first, 0.0005);
  // Through the station's calibration, every place agrees with every other
  // within 0.05 % (what the target calibration adds, it adds everywhere);
  // without rectification the lens shows.
  EXPECT_LE(Worst(with.calibrated).second, 0.0005);
  EXPECT_GT(Worst(without.calibrated).second, 0.03);
}

} // namespace
} // namespace orvane
