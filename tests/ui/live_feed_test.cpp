// The live area's pictures as they arrive, on a staged camera whose pictures
// come when the test delivers them and a front end whose requests wait in a
// list until the test runs them: one paint of each picture, a burst shown as
// its newest, nothing while hidden or before the window shows, and the
// rectified copy only while rectification applies.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <random>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "acquisition/camera_capture.h"
#include "inspect/program_session.h"
#include "platform/video/picture_store.h"
#include "platform/video/virtual_camera.h"
#include "rectify/remap.h"
#include "results/session.h"
#include "tests/inspect/plate_program.h"
#include "ui/commands.h"
#include "ui/live_feed.h"
#include "ui/ui_support.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;
using testing::Started;

constexpr uint32_t kW = 32, kH = 24;

// Picture `n`: every byte a different value.
std::vector<uint8_t> PictureBytes(uint8_t n) {
  std::vector<uint8_t> bytes(size_t{kW} * kH * 4);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(n * 41 + i * 7);
  return bytes;
}

// A camera without a thread: a picture arrives, and runs the listener, when
// the test delivers it.
class StagedCamera final : public video::VideoDevice {
 public:
  StagedCamera(uint32_t width, uint32_t height) : w_(width), h_(height) {}
  bool Formats(std::vector<video::VideoFormat>* out) override {
    *out = {video::MakeVirtualFormat(w_, h_, video::kCompressionRgb)};
    return true;
  }
  bool SetFormat(const video::VideoFormat&) override { return true; }
  uint32_t CurrentWidth() const override { return w_; }
  uint32_t CurrentHeight() const override { return h_; }
  int32_t Start() override {
    store_.SetStreaming(true);
    return 0;
  }
  void Stop() override { store_.SetStreaming(false); }
  bool LatestPicture(video::Picture* out) override { return store_.Latest(out); }
  bool UseLatestPicture(const std::function<void(const video::Picture&)>& use) override {
    return store_.UseLatest(use);
  }
  bool Snapshot(std::vector<uint8_t>* out) override { return store_.Snapshot(out, 0ms); }
  bool SnapshotPicture(const std::function<void(const video::Picture&)>& use) override {
    return store_.UseNewest(use, 0ms);
  }
  void SetPictureListener(std::function<void()> listener) override {
    store_.SetListener(std::move(listener));
  }

  void Deliver(uint8_t n) { Deliver(PictureBytes(n)); }
  // A picture of the camera's size; `scene` as the folder camera numbers it.
  void Deliver(std::vector<uint8_t> bgrx, uint64_t scene = 0) {
    video::Picture& back = store_.Back(w_, h_);
    back.bgrx = std::move(bgrx);
    back.scene = scene;
    store_.Publish();
  }

 private:
  uint32_t w_, h_;
  video::PictureStore store_;
};

class StagedBackend final : public video::VideoBackend {
 public:
  StagedBackend(StagedCamera** opened, uint32_t width, uint32_t height)
      : opened_(opened), w_(width), h_(height) {}
  std::vector<std::string> DeviceNames() override { return {"Staged camera"}; }
  std::unique_ptr<video::VideoDevice> Open(int32_t, video::OpenError* error) override {
    *error = video::OpenError::None;
    auto camera = std::make_unique<StagedCamera>(w_, h_);
    *opened_ = camera.get();
    return camera;
  }

 private:
  StagedCamera** opened_;
  uint32_t w_, h_;
};

struct FeedFixture {
  explicit FeedFixture(uint32_t width = kW, uint32_t height = kH)
      : started({1280, 1024}, "orvane", [this, width, height](Station& st) {
          UseVideoBackend(st, std::make_unique<StagedBackend>(&camera, width, height));
          LiveArea area;
          area.post = [this](std::function<void()> task) { requests.push_back(std::move(task)); };
          area.visible = [this] { return visible; };
          area.show = [this, width, height](const uint8_t* bgrx, uint32_t w, uint32_t h) {
            EXPECT_EQ(w, width);
            EXPECT_EQ(h, height);
            if (keep_painted) painted.emplace_back(bgrx, bgrx + size_t{w} * h * 4);
          };
          feed = std::make_unique<LiveFeed>(st, std::move(area));
        }) {}

  // The window's thread gets to the requests that wait.
  void RunRequests() {
    std::vector<std::function<void()>> now;
    now.swap(requests);
    for (auto& task : now) task();
  }
  // What was painted since the last call.
  std::vector<std::vector<uint8_t>> Painted() { return std::exchange(painted, {}); }

  StagedCamera* camera = nullptr;
  std::vector<std::function<void()>> requests;
  bool visible = true;
  bool keep_painted = true;
  std::vector<std::vector<uint8_t>> painted;
  std::unique_ptr<LiveFeed> feed;
  Started started; // last: its station ends, closing the camera, first
};

using Pictures = std::vector<std::vector<uint8_t>>;

TEST(LiveFeed, EveryPictureIsPaintedOnceABurstAsItsNewestAndNothingWhileHidden) {
  FeedFixture f;
  ASSERT_NE(f.camera, nullptr);
  ASSERT_EQ(f.started.station->image.no_camera, 0u);

  // Before the window shows a request paints nothing; showing takes the
  // latest picture at once.
  f.camera->Deliver(1);
  EXPECT_EQ(f.requests.size(), 1u);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{});
  f.feed->Show();
  EXPECT_EQ(f.Painted(), Pictures{PictureBytes(1)});

  // One request per picture, one paint per request; a shown picture is not
  // painted again.
  f.camera->Deliver(2);
  EXPECT_EQ(f.requests.size(), 1u);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{PictureBytes(2)});
  f.feed->ShowNewPicture();
  EXPECT_EQ(f.Painted(), Pictures{});

  // A burst while a request waits: one request, the newest picture.
  for (uint8_t n : {3, 4, 5}) f.camera->Deliver(n);
  EXPECT_EQ(f.requests.size(), 1u);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{PictureBytes(5)});
  // Once it ran, the next picture asks again.
  f.camera->Deliver(6);
  EXPECT_EQ(f.requests.size(), 1u);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{PictureBytes(6)});

  // Hidden, or without a camera, nothing is painted; the next picture after
  // is.
  f.visible = false;
  f.camera->Deliver(7);
  f.RunRequests();
  f.visible = true;
  f.started.station->image.no_camera = 1;
  f.camera->Deliver(8);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{});
  f.started.station->image.no_camera = 0;
  f.camera->Deliver(9);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{PictureBytes(9)});

  f.feed->End();
  f.camera->Deliver(10);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{});
}

// Rectification works on a copy of its own: the area gets the rectified
// picture and the camera keeps its own; off again, the camera's picture is
// painted as delivered, and on once more, rectified again.
TEST(LiveFeed, RectificationPaintsItsOwnRectifiedCopy) {
  FeedFixture f;
  ASSERT_NE(f.camera, nullptr);
  rectify::LensModel lens;
  lens.width = kW;
  lens.height = kH;
  lens.fx = lens.fy = kW;
  lens.cx = (kW - 1) / 2.0;
  lens.cy = (kH - 1) / 2.0;
  lens.k1 = 0.3;
  const auto tables = [&lens] {
    rectify::RemapTables t;
    EXPECT_TRUE(t.Build(lens));
    return t;
  };
  const auto rectified = [&](uint8_t n) {
    const std::vector<uint8_t> raw = PictureBytes(n);
    std::vector<uint8_t> out(raw.size());
    tables().Apply(raw.data(), out.data());
    EXPECT_NE(out, raw);
    return out;
  };
  RectificationState& rectification = CaptureOf(*f.started.station).rectification;
  f.feed->Show();

  rectification.tables = tables();
  f.camera->Deliver(1);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{rectified(1)});
  video::Picture own;
  ASSERT_TRUE(CaptureOf(*f.started.station).device->LatestPicture(&own));
  EXPECT_EQ(own.bgrx, PictureBytes(1));

  rectification.tables = rectify::RemapTables();
  f.camera->Deliver(2);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{PictureBytes(2)});

  rectification.tables = tables();
  f.camera->Deliver(3);
  f.RunRequests();
  EXPECT_EQ(f.Painted(), Pictures{rectified(3)});
}

// The camera's thread rectifies each picture as it reports it; the window's
// thread paints exactly what it would have rectified itself, and rectifies
// nothing, also when rectification is turned off and on again between two
// pictures.
TEST(LiveFeed, CameraThreadRectifiesAndTheWindowOnlyPaintsTheSameBytes) {
  FeedFixture f;
  ASSERT_NE(f.camera, nullptr);
  rectify::LensModel lens;
  lens.width = kW;
  lens.height = kH;
  lens.fx = lens.fy = kW;
  lens.cx = (kW - 1) / 2.0;
  lens.cy = (kH - 1) / 2.0;
  lens.k1 = -0.25;
  RectificationState& rectification = CaptureOf(*f.started.station).rectification;
  f.feed->Show();
  ASSERT_TRUE(rectification.tables.Build(lens));
  for (uint8_t n = 1; n <= 12; ++n) {
    if (n == 7) rectification.tables = rectify::RemapTables();
    if (n == 8) {
      ASSERT_TRUE(rectification.tables.Build(lens));
    }
    std::thread camera([&] { f.camera->Deliver(n); });
    camera.join();
    f.RunRequests();
    video::Picture raw;
    ASSERT_TRUE(CaptureOf(*f.started.station).device->LatestPicture(&raw));
    std::vector<uint8_t> expected(raw.bgrx.size());
    if (!RectifyPictureInto(*f.started.station, raw, &expected)) expected = raw.bgrx;
    EXPECT_EQ(f.Painted(), Pictures{expected}) << int(n);
  }
  EXPECT_EQ(f.feed->window_remaps(), 0u);
}

// The plate as the staged camera delivers it: B, G, R, x.
std::vector<uint8_t> PlateBytes(double x, double y, double deg, bool plate = true) {
  std::mt19937_64 rng(1);
  const testing::PlatePicture p = testing::RenderPlate(640, 480, x, y, deg, rng, 1.0, 2.0, plate);
  std::vector<uint8_t> bgrx(size_t{640} * 480 * 4);
  for (size_t i = 0; i < bgrx.size() / 4; ++i) std::copy_n(&p.bgr[3 * i], 3, &bgrx[4 * i]);
  return bgrx;
}

// The open program runs in Live on every picture the folder camera turns
// to, and once each time a part comes to rest: as Grab, staying in Live;
// a stage at rest without the part is not said.
TEST(LiveFeed, AutomaticRunsOnFolderPicturesAndWhenAPartComesToRest) {
  FeedFixture f(640, 480);
  f.keep_painted = false;
  Station& st = *f.started.station;
  const std::vector<uint8_t> pictures[] = {PlateBytes(320, 240, 0), PlateBytes(300, 250, 40),
                                           PlateBytes(320, 240, 0, false)};
  f.feed->Show();
  f.camera->Deliver(pictures[0]);
  f.RunRequests();
  GrabCommand(st);
  std::string why;
  ASSERT_TRUE(PartOf(st).Teach({190, 160, 450, 320}, &why)) << why;
  ASSERT_TRUE(NewProgram(st, "PLATE", &why)) << why;
  const qgPoint width[3] = {{195, 285}, {445, 285}, {}};
  ASSERT_TRUE(AddFeature(st, StepKind::Width, "W2", width, &why)) << why;
  LiveCommand(st);

  struct Stretch {
    bool folder, rest; // the choices
    int picture;       // 0, 1: the plate at two places; 2: no plate
    uint64_t scene;    // the folder camera's; 0: another camera
    int frames;        // 30 a second
    std::vector<std::string> said;
  };
  const Stretch stretches[] = {
      {true, false, 0, 1, 5, {"program run: part 1 pass"}},
      {true, false, 1, 2, 5, {"program run: part 2 pass"}},
      {true, false, 2, 3, 3, {"program run: part not found"}},
      {false, false, 0, 4, 3, {}}, // no choice made
      {false, true, 0, 0, 15, {"program run: part 3 pass"}},
      {false, true, 0, 0, 15, {}}, // still the same placement
      {false, true, 2, 0, 15, {}}, // at rest without the part
      {false, true, 1, 0, 15, {"program run: part 4 pass"}},
      {true, true, 0, 5, 15, {"program run: part 5 pass"}}, // a folder picture runs once
  };
  std::vector<std::string>& notices = ResultsOf(st).pending_notices;
  for (const Stretch& s : stretches) {
    ProgramOf(st).auto_folder = s.folder;
    ProgramOf(st).auto_rest = s.rest;
    notices.clear();
    for (int k = 0; k < s.frames; ++k) {
      f.started.clock.Advance(33);
      f.camera->Deliver(pictures[s.picture], s.scene);
      f.RunRequests();
    }
    EXPECT_EQ(notices, s.said) << s.picture << " " << s.scene;
  }
  EXPECT_EQ(f.started.Text(ControlId::ModeIndicator), "Live");
  EXPECT_EQ(ResultsOf(st).table.rows().size(), 5u) << "a part not found records nothing";
}

} // namespace
} // namespace orvane
