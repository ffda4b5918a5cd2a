// The camera on the virtual device: the format table and its choice rule, the
// diagnostic file, start-up with and without a usable camera, Grab, and the
// resolution change (also while File mode shows a file).
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <utility>

#include "acquisition/acquisition.h"
#include "acquisition/camera_capture.h"
#include "acquisition/file_mode.h"
#include "acquisition/pixels.h"
#include "platform/video/virtual_camera.h"
#include "solutions/calibration.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "ui/commands.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using testing::ReadBytes;
using testing::StationFixture;
using video::FourCc;
using video::MakeVirtualFormat;
using video::VideoFormat;

constexpr uint32_t kYuy2 = 0x32595559;
constexpr uint32_t kMjpg = 0x47504A4D; // "MJPG"

VideoFormat Rgb(uint32_t w, uint32_t h) { return MakeVirtualFormat(w, h, 0); }
VideoFormat Yuy2(uint32_t w, uint32_t h) { return MakeVirtualFormat(w, h, kYuy2); }

// The 40-byte header the diagnostic file holds for one offered format.
std::vector<uint8_t> HeaderBytes(uint32_t w, uint32_t h, uint16_t bits, uint32_t code, uint32_t size) {
  std::vector<uint8_t> b(40, 0);
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = uint8_t(v >> (8 * i));
  };
  put(0, 40, 4);
  put(4, w, 4);
  put(8, h, 4);
  put(12, 1, 2);
  put(14, bits, 2);
  put(16, code, 4);
  put(20, size, 4);
  return b;
}

std::vector<uint8_t> FileOf(const std::vector<VideoFormat>& formats) {
  std::vector<uint8_t> all;
  for (const VideoFormat& f : formats) {
    const auto h = HeaderBytes(f.width, f.height, uint16_t(f.bit_count), f.compression, f.image_size);
    all.insert(all.end(), h.begin(), h.end());
  }
  return all;
}

struct CameraFixture : StationFixture {
  explicit CameraFixture(std::vector<VideoFormat> formats, std::string source = "scene", bool noise = true) {
    OpenWorkspace(station);
    video::VirtualCameraConfig config;
    config.source = std::move(source);
    config.formats = std::move(formats);
    config.noise = noise;
    UseVideoBackend(station, video::MakeVirtualBackend(config));
  }
  ~CameraFixture() { CloseCamera(station); }

  int32_t Open(uint32_t w, uint32_t h, uint32_t pixel_format) {
    station.settings.camera_pixel_format = pixel_format;
    return OpenCamera(station, 0, w, h);
  }
  const CameraFormatTable& table() { return CameraFormats(station); }
  std::vector<uint8_t> DiagnosticFile() { return ReadBytes(station.PathOf("VIDRANE.BIN")); }
};

// Table rows as (width, height, compression) for short comparisons.
std::vector<std::array<uint32_t, 3>> Rows(const CameraFormatTable& t) {
  std::vector<std::array<uint32_t, 3>> rows;
  for (uint32_t i = 0; i < t.count; ++i) rows.push_back({t.rows[i].width, t.rows[i].height, t.rows[i].compression});
  return rows;
}

TEST(CameraChoice, ExactSizeOfferedOnlyAsYuy2TakesItAndKeepsThePreference) {
  const std::vector<VideoFormat> offered = {Rgb(800, 600), Yuy2(640, 480)};
  CameraFixture f(offered);
  EXPECT_EQ(f.Open(640, 480, 0), 0);
  EXPECT_EQ(Rows(f.table()), (std::vector<std::array<uint32_t, 3>>{{800, 600, 0}, {640, 480, kYuy2}}));
  EXPECT_EQ(f.table().chosen, 1u);
  EXPECT_EQ(f.station.settings.camera_pixel_format, 0u);
  EXPECT_EQ(f.station.camera_compression, kYuy2);
  EXPECT_EQ(f.station.image.width, 640u);
  EXPECT_EQ(f.station.image.height, 480u);
  EXPECT_EQ(f.station.image.stride, 1920u);
  EXPECT_EQ(f.station.image.size, 640u * 480 * 3);
  EXPECT_EQ(f.station.image.frame, f.station.camera_buffers.frame.data());
  EXPECT_EQ(f.DiagnosticFile(), FileOf(offered));
}

TEST(CameraChoice, PreferredCodeWinsOverTableOrderAtTheExactSize) {
  const std::vector<VideoFormat> offered = {Yuy2(640, 480), Rgb(640, 480)};
  {
    CameraFixture f(offered);
    EXPECT_EQ(f.Open(640, 480, 0), 0);
    EXPECT_EQ(f.table().chosen, 1u);
  }
  {
    CameraFixture f(offered);
    EXPECT_EQ(f.Open(640, 480, kYuy2), 0);
    EXPECT_EQ(f.table().chosen, 0u);
    EXPECT_EQ(f.station.settings.camera_pixel_format, kYuy2);
  }
  // A preference that is neither code skips the exact search: the nearest
  // width is taken and its code becomes the preference.
  CameraFixture f({Rgb(320, 240), Yuy2(640, 480), Rgb(640, 480)});
  EXPECT_EQ(f.Open(640, 480, 7), 0);
  EXPECT_EQ(f.table().chosen, 1u);
  EXPECT_EQ(f.station.settings.camera_pixel_format, kYuy2);
}

TEST(CameraChoice, NearestWidthDecidesAndSetsSizeAndCode) {
  const std::vector<VideoFormat> offered = {Yuy2(640, 480), Rgb(1024, 768)};
  CameraFixture f(offered);
  EXPECT_EQ(f.Open(800, 600, 0), 0);
  EXPECT_EQ(f.table().chosen, 0u);
  EXPECT_EQ(f.station.image.width, 640u);
  EXPECT_EQ(f.station.image.height, 480u);
  EXPECT_EQ(f.station.settings.camera_pixel_format, kYuy2);
  EXPECT_EQ(f.DiagnosticFile(), FileOf(offered));
}

TEST(CameraChoice, EqualWidthDifferencesGoToTheEarlierRow) {
  const std::vector<VideoFormat> offered = {Rgb(900, 500), Yuy2(700, 400)};
  CameraFixture f(offered);
  EXPECT_EQ(f.Open(800, 600, kYuy2), 0);
  EXPECT_EQ(f.table().chosen, 0u);
  EXPECT_EQ(f.station.image.width, 900u);
  EXPECT_EQ(f.station.image.height, 500u);
  EXPECT_EQ(f.station.settings.camera_pixel_format, 0u);
  // Heights play no part in the nearest row.
  CameraFixture g({Rgb(700, 4000), Rgb(900, 600)});
  EXPECT_EQ(g.Open(800, 600, 0), 0);
  EXPECT_EQ(g.table().chosen, 0u);
  EXPECT_EQ(g.station.image.height, 4000u);
}

TEST(CameraChoice, HundredRowsOfHundredFiftyButEveryHeaderInTheFile) {
  std::vector<VideoFormat> offered;
  for (uint32_t i = 0; i < 150; ++i) offered.push_back(Rgb(160 + 8 * i, 120 + 6 * i));
  CameraFixture f(offered);
  // The exact size of format 120 is past the table: the nearest row is 99.
  EXPECT_EQ(f.Open(160 + 8 * 120, 120 + 6 * 120, 0), 0);
  ASSERT_EQ(f.table().count, 100u);
  EXPECT_EQ(f.table().rows[99].width, 160u + 8 * 99);
  EXPECT_EQ(f.table().chosen, 99u);
  EXPECT_EQ(f.station.image.width, 952u);
  EXPECT_EQ(f.station.image.height, 714u);
  const std::vector<uint8_t> file = f.DiagnosticFile();
  EXPECT_EQ(file.size(), 6000u);
  EXPECT_EQ(file, FileOf(offered));
}

TEST(CameraChoice, OtherCodesAreWrittenButNeverTaken) {
  const std::vector<VideoFormat> offered = {MakeVirtualFormat(640, 480, kMjpg), Rgb(320, 240),
                                            VideoFormat{640, 480, 24, kYuy2, 614400},
                                            VideoFormat{640, 480, 16, 0, 614400}};
  CameraFixture f(offered);
  EXPECT_EQ(f.Open(640, 480, 0), 0);
  EXPECT_EQ(Rows(f.table()), (std::vector<std::array<uint32_t, 3>>{{320, 240, 0}}));
  EXPECT_EQ(f.table().chosen, 0u);
  EXPECT_EQ(f.station.image.width, 320u);
  const std::vector<uint8_t> file = f.DiagnosticFile();
  ASSERT_EQ(file.size(), 160u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 40),
            HeaderBytes(640, 480, 24, FourCc('M', 'J', 'P', 'G'), 640 * 480 * 3));
}

TEST(CameraChoice, DiagnosticFileIsRewrittenAtEveryOpen) {
  CameraFixture f({Rgb(320, 240)});
  testing::WriteBytes(f.station.PathOf("VIDRANE.BIN"), "old bytes of an earlier run", 27);
  EXPECT_EQ(f.Open(320, 240, 0), 0);
  EXPECT_EQ(f.Open(320, 240, 0), 0); // reopening an open camera closes it first
  EXPECT_EQ(f.DiagnosticFile(), FileOf({Rgb(320, 240)}));
}

TEST(CameraStart, NoDeviceAtTheIndexOrNoAcceptedFormatStartsInFileMode) {
  {
    CameraFixture f({Rgb(640, 480)});
    EXPECT_EQ(OpenCamera(f.station, 1, 640, 480), 1);
    EXPECT_EQ(OpenCamera(f.station, -1, 640, 480), 1);
    EXPECT_FALSE(StartCamera(f.station, 1));
    EXPECT_EQ(f.station.image.no_camera, 1u);
    EXPECT_EQ(f.station.image.file_mode, 1u);
    EXPECT_FALSE(f.surface.IsEnabled(ControlId::File));
    EXPECT_EQ(f.surface.GetText(ControlId::ModeIndicator), "File");
  }
  CameraFixture f({MakeVirtualFormat(640, 480, kMjpg)});
  EXPECT_FALSE(StartCamera(f.station, 0));
  EXPECT_EQ(f.station.image.no_camera, 1u);
  EXPECT_EQ(f.station.image.file_mode, 1u);
  EXPECT_EQ(f.DiagnosticFile().size(), 40u);
  EXPECT_EQ(TakeSnapshot(f.station), 0u);
}

TEST(CameraStart, WithACameraTheStationRunsLiveAtTheChosenSize) {
  CameraFixture f(video::DefaultVirtualFormats());
  f.station.image.width = 320; // the settings' requested size
  f.station.image.height = 240;
  EXPECT_TRUE(StartCamera(f.station, 0));
  EXPECT_EQ(f.surface.ComboSelection(ControlId::DeviceList), 0);
  EXPECT_EQ(f.station.image.no_camera, 0u);
  EXPECT_EQ(f.station.image.file_mode, 0u);
  EXPECT_EQ(f.station.image.width, 640u);
  EXPECT_EQ(f.station.view.width, 640); // published
  EXPECT_EQ(f.surface.GetText(ControlId::ModeIndicator), "Live");
  LivePicture live;
  for (int i = 0; i < 200 && !LatestPicture(f.station, &live); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(live.width, 640u);
  EXPECT_EQ(live.bgrx.size(), 640u * 480 * 4);
  CloseCamera(f.station);
  CloseCamera(f.station);
  EXPECT_EQ(f.station.image.frame, nullptr);
  EXPECT_FALSE(LatestPicture(f.station, &live));
  EXPECT_EQ(TakeSnapshot(f.station), 0u);
}

// Every pixel of the frame is the scene's, within the sensor noise.
void ExpectScene(const Station& st) {
  video::Picture scene;
  video::DrawScene(st.image.width, st.image.height, &scene);
  size_t off = 0;
  for (size_t i = 0; i < size_t{st.image.width} * st.image.height; ++i) {
    for (int c = 0; c < 3; ++c) {
      if (std::abs(int(st.image.frame[i * 3 + c]) - int(scene.bgrx[i * 4 + c])) > video::kSceneNoise) ++off;
    }
  }
  EXPECT_EQ(off, 0u);
}

// The snapshot goes from the camera's picture into the frame in one pass;
// its bytes are those of the snapshot bitmap converted by SnapshotToFrame,
// in every colour mode (a still scene: every picture is the same).
TEST(CameraGrab, SnapshotIntoTheFrameEqualsTheBitmapPath) {
  CameraFixture f({Rgb(642, 482)}, "scene", false);
  ASSERT_EQ(f.Open(642, 482, 0), 0);
  const ImageState& im = f.station.image;
  std::vector<uint8_t> bitmap;
  ASSERT_TRUE(CaptureOf(f.station).device->Snapshot(&bitmap));
  for (uint32_t mode = 0; mode <= 4; ++mode) {
    f.station.working->option_index = mode;
    std::vector<uint8_t> want(size_t{642} * 482 * 3, 0);
    SnapshotToFrame(bitmap.data(), bitmap.size(), im, mode, want.data());
    ASSERT_EQ(TakeSnapshot(f.station), want.size());
    EXPECT_EQ(0, std::memcmp(im.frame, want.data(), want.size())) << "mode " << mode;
  }
}

TEST(CameraGrab, GrabShowsTheUprightSceneAndCalibratesOnIt) {
  CameraFixture f({Rgb(640, 480)});
  ASSERT_TRUE(StartCamera(f.station, 0));
  GrabCommand(f.station);
  EXPECT_EQ(f.surface.GetText(ControlId::ModeIndicator), "Still");
  EXPECT_TRUE(f.surface.IsEnabled(ControlId::Grab));
  ExpectScene(f.station);
  EXPECT_EQ(f.station.view.bits, f.station.image.display);

  SolutionRecord rec = *f.station.working;
  rec.roi_count = 0;
  rec.params[0].value = 10.0f;
  ASSERT_EQ(AutoCalibration(f.station, rec), 0);
  const video::SceneLayout layout = video::LayoutScene(640, 480);
  EXPECT_NEAR(f.station.engine.scale_x / layout.unit, 1.0, 0.03);
}

// The scene keeps its horizontal field of view: a calibration made at
// 640 x 480 and rescaled by the width (as the station does) agrees with one
// made on the scene at the new size, whatever its aspect.
TEST(CameraResolution, CalibrationRescaledByWidthMatchesTheSceneAtAnotherAspect) {
  const std::pair<uint32_t, uint32_t> sizes[] = {{1280, 720}, {1920, 1080}, {1280, 1024}, {800, 600}};
  // The first picture at a new size may take its time in a slow (sanitized) build.
  auto snapshot = [](Station& st) {
    for (int tries = 0; tries < 20; ++tries) {
      if (TakeSnapshot(st) != 0) return true;
    }
    return false;
  };
  for (const auto& [w, h] : sizes) {
    CameraFixture f({Rgb(640, 480), Rgb(w, h)});
    ASSERT_TRUE(StartCamera(f.station, 0));
    SolutionRecord rec = *f.station.working;
    rec.roi_count = 0;
    rec.params[0].value = 10.0f;
    ASSERT_TRUE(snapshot(f.station));
    ASSERT_EQ(AutoCalibration(f.station, rec), 0);
    const double at_640 = f.station.engine.scale_x;
    ChangeCameraResolution(f.station, 1);
    ASSERT_TRUE(snapshot(f.station)) << w << "x" << h;
    ASSERT_EQ(AutoCalibration(f.station, rec), 0) << w << "x" << h;
    EXPECT_NEAR(at_640 * w / 640.0 / f.station.engine.scale_x, 1.0, 0.02) << w << "x" << h;
    EXPECT_NEAR(f.station.engine.scale_x / video::LayoutScene(w, h).unit, 1.0, 0.03) << w << "x" << h;
  }
}

TEST(CameraResolution, ChangeInFileModeComesBackAtTheNewSizeOnLeaving) {
  CameraFixture f({Rgb(640, 480), Rgb(1024, 768)});
  ASSERT_TRUE(StartCamera(f.station, 0));
  EnterFileMode(f.station);
  const uint8_t* file_frame = f.station.image.frame;
  ChangeCameraResolution(f.station, 1);
  EXPECT_EQ(f.station.image.frame, file_frame); // the file image stays on show
  EXPECT_EQ(f.station.image.width, 800u);
  EXPECT_EQ(f.station.settings.requested_width, 1024u);
  EXPECT_EQ(f.station.saved_image.frame, f.station.camera_buffers.frame.data());
  LeaveFileMode(f.station);
  EXPECT_EQ(f.station.image.width, 1024u);
  EXPECT_EQ(f.station.image.height, 768u);
  EXPECT_EQ(f.station.image.frame, f.station.camera_buffers.frame.data());
  EXPECT_EQ(f.station.engine.frame, f.station.image.frame);
  EXPECT_EQ(TakeSnapshot(f.station), 1024u * 768 * 3);
  ExpectScene(f.station);
}

TEST(CameraResolution, ChangeOutsideFileModeReopensLiveAndRowBeyondTheTableIsRowZero) {
  CameraFixture f({Rgb(640, 480), Yuy2(320, 240)});
  ASSERT_TRUE(StartCamera(f.station, 0));
  ChangeCameraResolution(f.station, 1);
  EXPECT_EQ(f.station.image.width, 320u);
  EXPECT_EQ(f.station.view.width, 320);
  EXPECT_EQ(f.station.camera_compression, kYuy2);
  EXPECT_EQ(TakeSnapshot(f.station), 320u * 240 * 3);
  ChangeCameraResolution(f.station, 5);
  EXPECT_EQ(f.station.image.width, 640u);
  EXPECT_EQ(f.station.settings.requested_height, 480u);
}

} // namespace
} // namespace orvane
