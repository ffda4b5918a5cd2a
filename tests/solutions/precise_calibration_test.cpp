// The precise calibrations against the truth on exact renders of the ring
// target, beside Auto Calibration on the same pictures; the offer after
// every Auto Calibration and the option that uses it; the rims' cross-check;
// the same scale at the centre and a corner of a rectified lens picture; and
// the notice of a calibration rescaled for a picture of another size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "acquisition/camera_capture.h"
#include "acquisition/rectification.h"
#include "gauge/render.h"
#include "platform/video/virtual_camera.h"
#include "rectify/lens_model.h"
#include "results/session.h"
#include "results/table_file.h"
#include "solutions/calibration.h"
#include "solutions/precise_calibration.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "ui/grid_scale.h"
#include "ui/status.h"
#include "workspace/settings.h"

namespace orvane {
namespace {

constexpr uint32_t kW = 420, kH = 400;
constexpr double kOuter = 150.0; // 50 px a unit

struct Fixture : testing::StationFixture {
  explicit Fixture(uint32_t w = kW, uint32_t h = kH) {
    OpenWorkspace(station);
    testing::AttachImage(station, w, h, 190);
  }
  // The ring target (dark ring, bright centre disc of radius `inner`) drawn
  // exactly, blurred and with noise, into the frame.
  void Ring(double cx, double cy, double outer, double inner, double blur, uint64_t seed) {
    gauge_render::Canvas c(int(station.image.width), int(station.image.height), video::kSceneBackground);
    gauge_render::drawDisc(c, cx, cy, outer, video::kSceneRing);
    gauge_render::drawDisc(c, cx, cy, inner, video::kSceneCentre);
    gauge_render::blur(c, blur);
    std::mt19937_64 rng(seed);
    const std::vector<uint8_t> grey = gauge_render::quantise(c, 2.0, rng);
    for (size_t i = 0; i < grey.size(); ++i) std::memset(station.image.frame + 3 * i, grey[i], 3);
  }
  // Auto Calibration as Process runs it; its scale, pixels per inch.
  double AutoCalibrate() {
    SolutionRecord rec = *station.working;
    rec.roi_count = 0;
    const int32_t rc = AutoCalibration(station, rec);
    const double scale = station.engine.scale_x;
    ActOnCalibration(station, 1, rc);
    EXPECT_EQ(rc, 0);
    return scale;
  }
  const ResultRow& LastRow() { return ResultsOf(station).table.rows().back(); }
};

TEST(PreciseCalibration, RingReadsTheTruthWhereAutoCalibrationReadsABlurredRingSmall) {
  for (double blur : {1.0, 1.5, 2.0}) {
    double auto_error = 0.0, bias = 0.0, spread = 0.0;
    int covered = 0;
    const int seeds = 6;
    for (int seed = 0; seed < seeds; ++seed) {
      Fixture f;
      std::mt19937_64 place(seed);
      std::uniform_real_distribution<double> u(0.0, 1.0);
      f.Ring(kW / 2.0 + u(place), kH / 2.0 + u(place), kOuter, kOuter / 2, blur, 1000 + seed);
      const double threshold = f.AutoCalibrate();
      const CalibrationOffer offer = ResultsOf(f.station).precise_offer;
      // Off by default: the specified scale is stored, the precise one offered.
      EXPECT_EQ(f.station.settings.scale_x, threshold);
      ASSERT_GT(offer.scale, 0.0) << f.LastRow().note;
      EXPECT_NE(f.LastRow().note.find("precise ring "), std::string::npos) << f.LastRow().note;
      EXPECT_NE(f.LastRow().note.find(", offered"), std::string::npos) << f.LastRow().note;
      EXPECT_NE(f.LastRow().note.find("rims agree"), std::string::npos) << f.LastRow().note;
      const double error = offer.scale / 50.0 - 1.0;
      EXPECT_LT(std::abs(error), 0.0002) << "blur " << blur << " seed " << seed;
      auto_error += (threshold / 50.0 - 1.0) / seeds;
      bias += error / seeds;
      spread += offer.sigma / 50.0 / seeds;
      covered += std::abs(offer.scale - 50.0) <= 2.0 * offer.sigma;
    }
    EXPECT_GE(covered, seeds - 1) << "blur " << blur;
    std::printf("ring r 150 px, blur %.1f px, noise 2, %d renders: Auto Calibration %+.3f %%, precise %+.4f %% "
                "(u %.4f %%), within 2u %d/%d\n",
                blur, seeds, 100 * auto_error, 100 * bias, 100 * spread, covered, seeds);
  }
}

TEST(PreciseCalibration, TheOfferIsUsedByOneActionOrByTheOptionAndTheRimsAreCrossChecked) {
  {
    Fixture f;
    f.Ring(210.3, 200.6, kOuter, kOuter / 2, 1.5, 7);
    EXPECT_TRUE(UsePreciseOffer(f.station).has_value()); // nothing offered yet
    f.AutoCalibrate();
    const CalibrationOffer offer = ResultsOf(f.station).precise_offer;
    EXPECT_FALSE(UsePreciseOffer(f.station));
    EXPECT_EQ(f.station.settings.scale_x, offer.scale);
    EXPECT_EQ(f.station.settings.calibrated_scale_x, offer.scale);
    EXPECT_EQ(f.LastRow().kind, kKindCalibration);
    EXPECT_EQ(f.LastRow().uncertainty, offer.sigma);
    EXPECT_EQ(f.LastRow().note.rfind("precise ring, offered by Auto Calibration, distance 24 in", 0), 0u)
        << f.LastRow().note;
    EXPECT_TRUE(UsePreciseOffer(f.station).has_value()); // used once
  }
  {
    Fixture f;
    f.Ring(210.3, 200.6, kOuter, kOuter / 2, 1.5, 7);
    ResultsOf(f.station).table.precise_calibration = true;
    f.AutoCalibrate();
    EXPECT_NEAR(f.station.settings.scale_x, 50.0, 0.01);
    EXPECT_EQ(f.station.settings.calibrated_scale_x, f.station.settings.scale_x);
    EXPECT_NE(f.LastRow().note.find("used in place of"), std::string::npos) << f.LastRow().note;
    EXPECT_FALSE(std::isnan(f.LastRow().uncertainty));
    // The option outlives a restart: read back from the table's file.
    ResultsTable back;
    ASSERT_TRUE(ReadResultsText(WriteResultsText(ResultsOf(f.station).table), &back));
    EXPECT_TRUE(back.precise_calibration);
  }
  // A centre disc a pixel and a half too large: each rim alone is precise,
  // so they must be seen to disagree; the ring found without Auto
  // Calibration is applied as it reads.
  Fixture f;
  f.Ring(210.3, 200.6, kOuter, kOuter / 2 + 1.5, 1.0, 9);
  std::string why;
  const std::optional<RingCalibration> ring = MeasureRingOnPicture(f.station, &why);
  ASSERT_TRUE(ring) << why;
  EXPECT_FALSE(ring->rims_agree);
  EXPECT_NEAR(ring->inner.scale / ring->outer.scale - 1.0, 0.02, 0.0005);
  EXPECT_NE(RingNote(*ring).find("rims disagree by "), std::string::npos) << RingNote(*ring);
  EXPECT_FALSE(PreciseRingCalibration(f.station));
  EXPECT_EQ(f.station.settings.scale_x, ring->scale);
  // No target: nothing changes, and the reason is given.
  Fixture empty;
  EXPECT_EQ(PreciseRingCalibration(empty.station), "no ring target found");
  EXPECT_EQ(empty.station.settings.calibrated, 0u);
}

// The grid calibration's lens on the virtual camera, with the ring target
// drawn at the picture's centre and near a corner: rectified, both must read
// the same scale.
struct LensFixture : testing::StationFixture {
  static constexpr uint32_t w = 1280, h = 720;
  video::VirtualLens lens;
  LensFixture() {
    OpenWorkspace(station);
    video::VirtualCameraConfig config;
    config.source = video::kVirtualGridSource;
    config.formats = {video::MakeVirtualFormat(w, h, 0x32595559)};
    EXPECT_TRUE(video::ParseVirtualLens("k1=-0.2,tilt=10", &lens));
    config.lens = lens;
    UseVideoBackend(station, video::MakeVirtualBackend(config));
    EXPECT_TRUE(StartCamera(station, 0));
    const rectify::GridSpec spec{rectify::GridKind::Dots, video::kGridRows, video::kGridCols, 1.0};
    std::vector<std::vector<rectify::Point2>> views;
    EXPECT_FALSE(GrabGridView(station, spec, &views));
    std::string error;
    const auto fit = rectify::FitGrid(spec, views, w, h, &error);
    EXPECT_TRUE(fit) << error;
    if (fit) {
      EXPECT_FALSE(AcceptGridCalibration(station, spec, *fit));
    }
  }
  ~LensFixture() { CloseCamera(station); }
  // The target of outer radius r (flat-scene pixels) at (x, y), seen through
  // the lens with sensor noise and rectified, as a 3-byte frame.
  std::vector<uint8_t> Rectified(double x, double y, double r) {
    video::Picture seen, noisy;
    video::RenderThroughLens(
        lens, w, h,
        [&](double sx, double sy) {
          const double d = std::hypot(sx + 0.5 - x, sy + 0.5 - y);
          return d < r / 2 ? video::kSceneCentre : d < r ? video::kSceneRing : video::kSceneBackground;
        },
        video::kSceneBackground, &seen);
    noisy = seen;
    video::AddSensorNoise(seen, 5, &noisy);
    std::vector<uint8_t> out;
    EXPECT_TRUE(RectifyPictureInto(station, noisy, &out));
    std::vector<uint8_t> frame(size_t{w} * h * 3);
    for (size_t i = 0; i < size_t{w} * h; ++i) std::memcpy(&frame[3 * i], &out[4 * i], 3);
    return frame;
  }
};

TEST(PreciseCalibration, CentreAndCornerOfARectifiedLensPictureAgree) {
  std::vector<std::vector<uint8_t>> pictures;
  std::optional<GridScale> grid;
  {
    LensFixture lens;
    ASSERT_TRUE(lens.station.camera->rectification.active());
    std::string why;
    grid = MeasureGridScale(lens.station, "in", &why); // a pitch of 1 in: pixels per pitch
    ASSERT_TRUE(grid) << why;
    pictures.push_back(lens.Rectified(LensFixture::w / 2.0, LensFixture::h / 2.0, 90.0));
    pictures.push_back(lens.Rectified(0.17 * LensFixture::w, 0.25 * LensFixture::h, 90.0));
  }
  double precise[2], automatic[2];
  for (size_t i = 0; i < 2; ++i) {
    Fixture f(LensFixture::w, LensFixture::h);
    std::memcpy(f.station.image.frame, pictures[i].data(), pictures[i].size());
    automatic[i] = f.AutoCalibrate();
    precise[i] = ResultsOf(f.station).precise_offer.scale;
    ASSERT_GT(precise[i], 0.0) << f.LastRow().note;
  }
  const double precise_gap = precise[1] / precise[0] - 1.0, auto_gap = automatic[1] / automatic[0] - 1.0;
  std::printf("through the lens (k1 -0.2, tilt 10), rectified, corner against centre: Auto Calibration %+.3f %%, "
              "precise ring %+.4f %%\n",
              100 * auto_gap, 100 * precise_gap);
  EXPECT_LT(std::abs(precise_gap), 0.0005);
  // The grid's scale says the same: the target's unit is 30 flat-scene
  // pixels, the grid's pitch LayoutGrid's.
  const double pitch_units = video::LayoutGrid(LensFixture::w, LensFixture::h).pitch / 30.0;
  const double grid_gap = grid->scale / (precise[0] * pitch_units) - 1.0;
  std::printf("grid scale against the precise ring at the centre: %+.4f %% (grid u %.4f %%)\n", 100 * grid_gap,
              100 * grid->sigma / grid->scale);
  EXPECT_LT(std::abs(grid_gap), 0.0005);
  EXPECT_GT(grid->sigma, 0.0);
  EXPECT_LT(grid->sigma / grid->scale, 0.0005);
}

TEST(PreciseCalibration, APictureOfAnotherSizeSaysTheCalibrationWasRescaled) {
  Fixture f(640, 480);
  UpdateStatusLine(f.station);
  EXPECT_TRUE(ResultsOf(f.station).table.rows().empty()); // not calibrated: nothing to say
  Settings& s = f.station.settings;
  s.units = 1;
  s.unit_factor = 2.5399999618530273;
  s.calibrated = 1;
  s.calibrated_width = 640;
  s.calibrated_height = 480;
  s.scale_x = s.scale_y = s.calibrated_scale_x = s.calibrated_scale_y = 19.684 * s.unit_factor;
  UpdateStatusLine(f.station);
  EXPECT_TRUE(ResultsOf(f.station).table.rows().empty()); // the size it was made for
  // File mode's blank stand-in and the way back from it are no news.
  f.station.image.file_mode = 1;
  testing::AttachImage(f.station, 800, 600, 0);
  UpdateStatusLine(f.station);
  testing::AttachImage(f.station, 640, 480, 190);
  UpdateStatusLine(f.station);
  EXPECT_TRUE(ResultsOf(f.station).table.rows().empty());
  testing::AttachImage(f.station, 1920, 1080, 190);
  UpdateStatusLine(f.station);
  ResultsSession& session = ResultsOf(f.station);
  ASSERT_EQ(session.table.rows().size(), 1u);
  const std::string text = "calibration rescaled for 1920 \xC3\x97 1080: 59.05 px/cm";
  EXPECT_EQ(f.LastRow().note, text);
  EXPECT_EQ(f.LastRow().kind, kKindNotice);
  EXPECT_EQ(f.LastRow().unit, "px/cm");
  EXPECT_EQ(session.notice, text);
  EXPECT_EQ(session.pending_notices, std::vector<std::string>{text});
  UpdateStatusLine(f.station); // the same size again: said once
  EXPECT_EQ(session.table.rows().size(), 1u);
}

} // namespace
} // namespace orvane
