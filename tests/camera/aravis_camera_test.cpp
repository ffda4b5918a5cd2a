// GenICam cameras end to end: the simulated GigE Vision camera in a process
// of its own on 127.0.0.1 (listed, opened, grabbed as served, ten seconds of
// live, lost and back again, orvane-batch's camera commands), and the
// library's in-process simulated camera where a test needs control (its
// formats and sizes, every Bayer pattern through the stream, a camera that
// cannot be opened).
#include <arv.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <regex>
#include <string>
#include <thread>

#include "acquisition/camera_capture.h"
#include "acquisition/camera_settings.h"
#include "platform/video/aravis_camera.h"
#include "platform/video/genicam_pixels.h"
#include "served_pattern.h"
#include "simulator.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "ui/setup_dialog.h"
#include "ui/status.h"
#include "workspace/files.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::GvSimulator;
using video::GenicamFormat;

constexpr auto kMono8 = static_cast<uint32_t>(GenicamFormat::Mono8);

std::string UniqueSerial(const char* what) { return std::string(what) + std::to_string(getpid()); }

// Polls `done` every 50 ms for at most `limit`.
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

// Sets the camera up as its maker's tool would before the station opens it:
// 512 x 512 Mono8 (it starts at 320 x 240 BayerBG8), a size the station
// offers because the camera has it when opened.
bool PresetMono8At512(const std::string& name) {
  GError* error = nullptr;
  ArvCamera* camera = arv_camera_new(name.c_str(), &error);
  if (camera == nullptr) {
    g_clear_error(&error);
    return false;
  }
  arv_camera_set_pixel_format(camera, ARV_PIXEL_FORMAT_MONO_8, &error);
  if (error == nullptr) arv_camera_set_region(camera, 0, 0, 512, 512, &error);
  const bool ok = error == nullptr;
  g_clear_error(&error);
  g_object_unref(camera);
  return ok;
}

// A station whose only cameras are the GenICam ones, asking for `name` at
// 512 x 512 Mono8.
struct GenicamStation : testing::StationFixture {
  explicit GenicamStation(const std::string& name, video::AravisOptions options = {}) {
    OpenWorkspace(station);
    UseVideoBackend(station, video::MakeAravisBackend(options));
    CaptureOf(station).wanted_name = name;
    station.image.width = 512;
    station.image.height = 512;
    station.settings.camera_pixel_format = kMono8;
  }
  ~GenicamStation() { CloseCamera(station); }
  video::VideoDevice& device() { return *CaptureOf(station).device; }
  // The frame holds a picture the camera served, grey: "" or where it does
  // not.
  std::string FrameMismatch() {
    const ImageState& im = station.image;
    const uint32_t k = im.frame[0];
    for (uint32_t y = 0; y < im.height; ++y) {
      for (uint32_t x = 0; x < im.width; ++x) {
        const uint8_t* p = im.frame + size_t{y} * im.stride + size_t{x} * 3;
        const uint8_t v = testing::ServedByte(x, y, k);
        if (p[0] != v || p[1] != v || p[2] != v) {
          return "at " + std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(p[0]) + " " +
                 std::to_string(p[1]) + " " + std::to_string(p[2]) + " served " + std::to_string(v);
        }
      }
    }
    return "";
  }
};

TEST(GvCamera, ListedOpenedAndGrabbedAsServed) {
  GvSimulator simulator(UniqueSerial("L"));
  ASSERT_TRUE(simulator.Start());
  ASSERT_TRUE(PresetMono8At512(simulator.name()));
  GenicamStation f(simulator.name());
  ASSERT_TRUE(StartCamera(f.station, 0));
  const auto& names = f.surface.control(ControlId::DeviceList).items;
  EXPECT_NE(std::find(names.begin(), names.end(), simulator.name()), names.end());
  EXPECT_EQ(f.station.image.width, 512u);
  EXPECT_EQ(f.station.image.height, 512u);
  EXPECT_EQ(f.station.camera_compression, kMono8);
  // The table holds the full sensor among the sizes of every format taken.
  const CameraFormatTable& table = CameraFormats(f.station);
  ASSERT_GT(table.count, 1u);
  EXPECT_EQ(table.rows[table.chosen].width, 512u);
  EXPECT_EQ(table.rows[table.chosen].compression, kMono8);
  ASSERT_EQ(TakeSnapshot(f.station), 512u * 512 * 3);
  EXPECT_EQ(f.FrameMismatch(), "");
  EXPECT_EQ(DescribeCamera(f.station).rfind(simulator.name() + " 512x512 Mono8 frames ", 0), 0u);
}

TEST(GvCamera, LiveTenSecondsAtTwentyFiveNearlyAllComplete) {
  GvSimulator simulator(UniqueSerial("V"));
  ASSERT_TRUE(simulator.Start());
  GenicamStation f(simulator.name());
  ASSERT_TRUE(StartCamera(f.station, 0));
  ASSERT_TRUE(f.device().SetControl("FrameRate", 25.0));
  video::Picture before, after;
  ASSERT_TRUE(Eventually([&] { return f.device().LatestPicture(&before); }, 3000ms));
  const video::StreamCounts start = f.device().Counts();
  std::this_thread::sleep_for(10s);
  ASSERT_TRUE(f.device().LatestPicture(&after));
  const video::StreamCounts end = f.device().Counts();
  const uint64_t frames = end.frames - start.frames;
  const uint64_t shown = after.sequence - before.sequence;
  EXPECT_GE(frames, 240u);
  EXPECT_LE(frames, 260u);
  EXPECT_LE(end.incomplete - start.incomplete, frames / 100);
  EXPECT_GE(shown * 100, frames * 99);
}

TEST(GvCamera, LostCameraIsSaidAndReconnectedWhenItReturns) {
  GvSimulator simulator(UniqueSerial("R"));
  ASSERT_TRUE(simulator.Start());
  ASSERT_TRUE(PresetMono8At512(simulator.name()));
  GenicamStation f(simulator.name());
  ASSERT_TRUE(StartCamera(f.station, 0));
  ASSERT_EQ(TakeSnapshot(f.station), 512u * 512 * 3);

  simulator.Kill();
  ASSERT_TRUE(Eventually([&] { return CameraNote(f.station) == video::kCameraLostNote; }, 15000ms));
  RefreshCameraNote(f.station);
  EXPECT_NE(f.surface.GetText(ControlId::ImageStatus).find(video::kCameraLostNote), std::string::npos);
  // The station still answers: a grab fails at once instead of waiting.
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(TakeSnapshot(f.station), 0u);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms);

  // The camera comes back at its power-on format: the station sets its own again.
  ASSERT_TRUE(simulator.Start());
  ASSERT_TRUE(Eventually([&] { return CameraNote(f.station).empty(); }, 15000ms));
  RefreshCameraNote(f.station);
  EXPECT_EQ(f.surface.GetText(ControlId::ImageStatus).find(video::kCameraLostNote), std::string::npos);
  ASSERT_EQ(TakeSnapshot(f.station), 512u * 512 * 3);
  EXPECT_EQ(f.FrameMismatch(), "");
  EXPECT_EQ(f.station.image.width, 512u);
}

// orvane-batch with a script on standard input; its output.
std::string RunBatch(const std::string& folder, const std::string& script) {
  const std::string command = std::string("cd '") + folder + "' && printf '%b' '" + script + "' | " +
                              ORVANE_BATCH + " --fixed-clock - 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

TEST(GvCamera, BatchStartsTheNamedCameraWaitsAndPrintsItsCounts) {
  GvSimulator simulator(UniqueSerial("B"));
  ASSERT_TRUE(simulator.Start());
  testing::TempDir dir;
  const std::string out = RunBatch(dir.path().string(),
                                   "start --camera " + simulator.name() + "\\nwait 1.5\\nprint camera\\n"
                                   "print image-status\\nsetup exposure 20000\\nsetup-close\\nclick set-up\\n"
                                   "start --camera no-such-camera\\nprint camera\\n");
  const std::regex camera("camera \"" + simulator.name() + " (\\d+)x(\\d+) BayerBG8 frames (\\d+) incomplete (\\d+)\"\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, camera)) << out;
  EXPECT_GE(std::stoi(m[3]), 10) << out;
  EXPECT_LE(std::stoi(m[4]) * 100, std::stoi(m[3])) << out;
  EXPECT_NE(out.find("image-status \"" + m[1].str() + " x " + m[2].str()), std::string::npos) << out;
  EXPECT_NE(out.find("message box \"Camera\" \"The camera \\\"no-such-camera\\\" was not found.\""),
            std::string::npos) << out;
  EXPECT_NE(out.find("camera \"none\""), std::string::npos) << out;
  // Set-Up's exposure box, typed by the script, is kept in the camera's file.
  std::vector<uint8_t> kept;
  ReadWholeFile(dir.path() / CameraSettingsFileName(simulator.name()), kept);
  EXPECT_NE(std::string(kept.begin(), kept.end()).find("\nExposureTime 20000\n"), std::string::npos) << out;
}

// The library's in-process simulated camera.
TEST(FakeCamera, OffersItsFormatsAtTheSizesThatFitAndStreamsEachBayerPattern) {
  GenicamStation f("Fake_1", {.fake_interface = true});
  ASSERT_TRUE(StartCamera(f.station, 0));
  std::vector<video::VideoFormat> offered;
  ASSERT_TRUE(f.device().Formats(&offered));
  auto has = [&](uint32_t code, uint32_t w, uint32_t h) {
    return std::any_of(offered.begin(), offered.end(), [&](const video::VideoFormat& v) {
      return v.compression == code && v.width == w && v.height == h;
    });
  };
  EXPECT_TRUE(has(kMono8, 512, 512));
  EXPECT_TRUE(has(kMono8, 640, 480));
  uint32_t bayer = 0;
  for (GenicamFormat pattern : {GenicamFormat::BayerGR8, GenicamFormat::BayerRG8, GenicamFormat::BayerGB8,
                                GenicamFormat::BayerBG8}) {
    const auto code = static_cast<uint32_t>(pattern);
    if (!has(code, 640, 480)) continue;
    ++bayer;
    f.device().Stop();
    ASSERT_TRUE(f.device().SetFormat({640, 480, 8, code, 640 * 480}));
    ASSERT_EQ(f.device().Start(), 0);
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(f.device().SnapshotPicture([&](const video::Picture& p) { w = p.width, h = p.height; }));
    EXPECT_EQ(w, 640u);
    EXPECT_EQ(h, 480u);
  }
  EXPECT_GT(bayer, 0u) << "the simulated camera offers no Bayer pattern";
  EXPECT_EQ(f.device().Counts().incomplete, 0u);
}

TEST(FakeCamera, OneThatCannotBeOpenedIsSaidAndTheStationRunsOnFiles) {
  // A description file that does not exist: the camera is listed, its
  // opening fails.
  arv_set_fake_camera_genicam_filename("/nonexistent/orvane-camera.xml");
  GenicamStation f("Fake_1", {.fake_interface = true});
  EXPECT_FALSE(StartCamera(f.station, 0));
  EXPECT_EQ(f.station.image.no_camera, 1u);
  ASSERT_FALSE(f.surface.message_boxes().empty());
  EXPECT_NE(f.surface.message_boxes().back().text.find("is visible but cannot be opened"), std::string::npos);
}

double ControlValue(video::VideoDevice& device, const std::string& name) {
  for (const video::DeviceControl& c : device.Controls()) {
    if (c.name == name) return c.value;
  }
  return -1.0;
}

TEST(FakeCamera, SetUpSettingsAreSetKeptPerCameraAndADamagedFileIsRefused) {
  GenicamStation f("Fake_1", {.fake_interface = true});
  ASSERT_TRUE(StartCamera(f.station, 0));
  const double exposure = ControlValue(f.device(), "ExposureTime");
  ASSERT_GT(exposure, 0.0);
  f.surface.QueueDialog([](DialogModel& d) {
    EXPECT_NE(d.Find(kCameraGainEdit), nullptr);
    d.Find(kCameraExposureEdit)->text = "20000";
    d.Find(kCameraFrameRateEdit)->text = "12.5";
    d.Find(kCameraGainEdit)->text = "lots";
    return d.Press(DialogControlId::Ok).value_or(DialogResult::Ok);
  });
  RunSetUpDialog(f.station);
  EXPECT_EQ(ControlValue(f.device(), "ExposureTime"), 20000.0);
  EXPECT_EQ(ControlValue(f.device(), "FrameRate"), 12.5);
  ASSERT_FALSE(f.surface.message_boxes().empty());
  EXPECT_EQ(f.surface.message_boxes().back().text.rfind("\"lots\" is not a number", 0), 0u);
  std::vector<uint8_t> bytes;
  ReadWholeFile(f.station.PathOf("CAMERA-Fake_1.CFG"), bytes);
  std::string error;
  const auto kept = ParseCameraSettings(std::string(bytes.begin(), bytes.end()), &error);
  ASSERT_TRUE(kept) << error;
  EXPECT_NE(std::find(kept->begin(), kept->end(), std::pair<std::string, double>("ExposureTime", 20000.0)),
            kept->end());

  // The camera opened again (a new simulated one, at its own defaults) takes the file.
  CloseCamera(f.station);
  ASSERT_TRUE(StartCamera(f.station, 0));
  EXPECT_EQ(ControlValue(f.device(), "ExposureTime"), 20000.0);

  // A damaged file is said and refused whole; the camera keeps its own.
  const std::string damaged = "ExposureTime 30000\nGain x\n";
  WriteWholeFile(f.station.PathOf("CAMERA-Fake_1.CFG"), damaged.data(), uint32_t(damaged.size()));
  CloseCamera(f.station);
  ASSERT_TRUE(StartCamera(f.station, 0));
  EXPECT_EQ(ControlValue(f.device(), "ExposureTime"), exposure);
  EXPECT_EQ(f.surface.message_boxes().back().text,
            "CAMERA-Fake_1.CFG is damaged (line 2: \"x\" is not a number); the camera keeps its own settings.");
}

} // namespace
} // namespace orvane
