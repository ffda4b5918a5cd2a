// The shared image operations on a station: publishing a geometry, acquiring,
// showing with and without the overlay, and the acquisition modes.
#include <gtest/gtest.h>

#include "acquisition/acquisition.h"
#include "algorithms/include/quellix.h"
#include "station/workspace.h"
#include "support/station_fixture.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using testing::AttachImage;
using testing::StationFixture;

TEST(PublishGeometry, ReachesViewLibraryAndEngine) {
  StationFixture f;
  OpenWorkspace(f.station);
  f.station.settings.scale_x = 12.5;
  f.station.settings.decimals_dimensions = 11;
  f.station.view.bits = f.station.image.display;
  AttachImage(f.station, 64, 48);
  EXPECT_EQ(f.station.view.width, 64);
  EXPECT_EQ(f.station.view.height, 48);
  EXPECT_EQ(f.station.view.bits, nullptr); // nothing painted until shown
  const EngineSettings& e = f.station.engine;
  EXPECT_EQ(e.width, 64u);
  EXPECT_EQ(e.stride, 192u);
  EXPECT_EQ(e.frame, f.station.image.frame);
  EXPECT_EQ(e.scale_x, 12.5);
  EXPECT_EQ(e.decimals_dimensions, 5u);
  // The library measures angles with y up from the registered height.
  double angle = -1;
  qlxCalculateAngle(0, 0, 0, 10, &angle);
  EXPECT_EQ(angle, 270.0);
}

TEST(AcquireFrame, TakesTheSourceOfTheMode) {
  StationFixture f;
  int stills = 0, snapshots = 0;
  f.station.hooks.reload_still = [&] { ++stills; return 7u; };
  f.station.hooks.camera_snapshot = [&] { ++snapshots; return 9u; };
  EXPECT_EQ(AcquireFrame(f.station), 9u);
  f.station.image.file_mode = 1;
  EXPECT_EQ(AcquireFrame(f.station), 7u);
  EXPECT_EQ(stills, 1);
  EXPECT_EQ(snapshots, 1);
  f.station.hooks.reload_still = nullptr;
  EXPECT_EQ(AcquireFrame(f.station), 0u); // no source: a failed acquisition
}

TEST(ComposeDisplay, LaysTheOverlayOverAndShowsTheView) {
  StationFixture f;
  AttachImage(f.station, 4, 2, 10);
  ImageState& im = f.station.image;
  im.overlay[2] = 255;
  im.overlay[4] = 0;
  ComposeDisplay(f.station, im.frame);
  EXPECT_EQ(im.display[0], 10);
  EXPECT_EQ(im.display[2], 255);
  EXPECT_EQ(f.station.view.bits, im.display);
  EXPECT_EQ(f.surface.control(ControlId::ImageView).invalidations, 1u);

  ShowFrameRaw(f.station, im.frame);
  EXPECT_EQ(im.display[2], 10);
  EXPECT_EQ(f.surface.control(ControlId::ImageView).invalidations, 2u);

  ComposeDisplay(f.station, nullptr);
  ShowFrameRaw(f.station, nullptr);
  EXPECT_EQ(f.surface.control(ControlId::ImageView).invalidations, 2u);
}

TEST(AcquisitionMode, SwitchesChildrenTextAndHighlights) {
  StationFixture f;
  SetAcquisitionMode(f.station, AcquisitionMode::Live);
  EXPECT_TRUE(f.surface.IsVisible(ControlId::LiveVideo));
  EXPECT_FALSE(f.surface.IsVisible(ControlId::ImageView));
  EXPECT_EQ(f.surface.GetText(ControlId::ModeIndicator), "Live");
  EXPECT_EQ(f.surface.control(ControlId::ModeIndicator).colour_state, 0u);
  EXPECT_EQ(f.surface.control(ControlId::Live).colour_state, 1u);

  SetAcquisitionMode(f.station, AcquisitionMode::File);
  EXPECT_FALSE(f.surface.IsVisible(ControlId::LiveVideo));
  EXPECT_TRUE(f.surface.IsVisible(ControlId::ImageView));
  EXPECT_EQ(f.surface.GetText(ControlId::ModeIndicator), "File");
  EXPECT_EQ(f.surface.control(ControlId::ModeIndicator).colour_state, 1u);
  EXPECT_EQ(f.surface.control(ControlId::Live).colour_state, 0u);

  SetAcquisitionMode(f.station, AcquisitionMode::Still);
  EXPECT_EQ(f.surface.GetText(ControlId::ModeIndicator), "Still");
}

TEST(Canvas, FollowsMarkSizeAndTextBackground) {
  StationFixture f;
  AttachImage(f.station, 8, 8);
  f.station.mark_size_class = 2;
  f.station.settings.flags = kFlagTextBackground;
  OverlayCanvas c = CanvasOf(f.station);
  EXPECT_EQ(c.pixels, f.station.image.overlay);
  EXPECT_EQ(c.mark_size_class, 2u);
  EXPECT_TRUE(c.text_background);
  f.station.settings.flags = kFlagExpandWindow;
  EXPECT_FALSE(CanvasOf(f.station).text_background);
}

} // namespace
} // namespace orvane
