// Zoom and pan of the image view: the zoom's limits and anchoring, the
// mapping of a zoomed view, grab distances that stay in view pixels, and the
// loupe's place.
#include <gtest/gtest.h>

#include <cmath>

#include "view/view_support.h"
#include "view/zoom.h"

namespace orvane {
namespace {

const ZoomArea kWide{1920, 1080, 1040.0, 585.0}; // fit scale 0.5417

TEST(Zoom, LimitsAndAnchoring) {
  const double fit = FitScale(kWide);
  EXPECT_DOUBLE_EQ(fit, 585.0 / 1080.0);
  // At or below the fit scale is fit; above 16 is 16.
  EXPECT_TRUE(ZoomAt(kWide, {}, fit, 10, 10).fit());
  EXPECT_TRUE(ZoomAt(kWide, {}, 0.3, 10, 10).fit());
  EXPECT_EQ(ZoomAt(kWide, {}, 40.0, 10, 10).scale, kMaxZoom);
  EXPECT_TRUE(ZoomAt({0, 0, 100, 100}, {}, 4.0, 1, 1).fit());

  // The image position under the cursor stays under it, from fit and from a
  // zoom, wherever the edges do not stop it.
  struct Case {
    ViewZoom from;
    double scale, vx, vy;
  };
  for (const Case& c : {Case{{}, 2.0, 520, 290}, Case{{}, 8.0, 700.5, 100.25},
                        Case{{4.0, 300, 200}, 16.0, 37, 511}, Case{{8.0, 900, 500}, 3.0, 1000, 30}}) {
    const ViewZoom before = Settled(kWide, c.from);
    const double ix = before.fit() ? c.vx * 1920 / 1040 : before.origin_x + c.vx / before.scale;
    const double iy = before.fit() ? c.vy * 1080 / 585 : before.origin_y + c.vy / before.scale;
    const ViewZoom z = ZoomAt(kWide, c.from, c.scale, c.vx, c.vy);
    EXPECT_NEAR(z.origin_x + c.vx / z.scale, ix, 1e-9) << c.scale;
    EXPECT_NEAR(z.origin_y + c.vy / z.scale, iy, 1e-9) << c.scale;
  }

  // Panning and zooming at a corner never show past the image's edges.
  ViewZoom z = CentreOn(kWide, 8.0, 5, 5);
  EXPECT_EQ(z.origin_x, 0.0);
  EXPECT_EQ(z.origin_y, 0.0);
  z = PanBy(kWide, z, -1e6, -1e6);
  EXPECT_DOUBLE_EQ(z.origin_x, 1920 - 1040 / 8.0);
  EXPECT_DOUBLE_EQ(z.origin_y, 1080 - 585 / 8.0);
  EXPECT_TRUE(PanBy(kWide, {}, 50, 50).fit());

  // An image narrower than the view at the zoom stands in its middle.
  const ZoomArea tall{100, 1000, 400.0, 400.0};
  z = CentreOn(tall, 2.0, 0, 500);
  EXPECT_DOUBLE_EQ(z.origin_x, (100 - 200) / 2.0);
  EXPECT_DOUBLE_EQ(z.origin_y, 400.0);

  // What the overview shows: the part in view, the whole image at fit.
  const ImageSpan part = VisiblePart(kWide, CentreOn(kWide, 4.0, 960, 540));
  EXPECT_DOUBLE_EQ(part.x, 960 - 130.0);
  EXPECT_DOUBLE_EQ(part.width, 260.0);
  EXPECT_EQ(VisiblePart(kWide, {}).height, 1080);

  // A key step in from fit starts from the fit scale; out from fit stays fit.
  EXPECT_DOUBLE_EQ(StepScale(kWide, {}, 2.0), 2.0 * fit);
  EXPECT_TRUE(ZoomAt(kWide, {}, StepScale(kWide, {}, 0.5), 0, 0).fit());
}

// Press at image pixels while zoomed: the grab distances count in view
// pixels, so zoomed in they shrink in image pixels; at fit they are the
// 8 and 12 image pixels they always were.
TEST(Zoom, GrabDistancesStayInViewPixels) {
  struct Case {
    double scale; // 0: fit
    int32_t offset;
    RoiPart part;
  };
  const Case cases[] = {
      {0.0, 7, RoiPart::Left},  {0.0, 8, RoiPart::None},   {2.0, 3, RoiPart::Left},
      {2.0, 4, RoiPart::None},  {4.0, 1, RoiPart::Left},   {4.0, 2, RoiPart::None},
      {16.0, 0, RoiPart::Left}, {16.0, 1, RoiPart::None},  {16.0, -1, RoiPart::None},
  };
  // A view of the image's size: fit is 1 view pixel per image pixel.
  auto one_to_one = [](testing::ViewStation& v) {
    v.station.image.view_width = 640;
    v.station.image.view_height = 480;
  };
  for (const Case& c : cases) {
    testing::ViewStation v(testing::kDxfSimpleOutput, 640, 480);
    one_to_one(v);
    v.AddRoi(100, 100, 300, 300);
    v.station.view.zoom = c.scale > 0 ? CentreOn(AreaOf(v.station.image), c.scale, 100, 200)
                                      : ViewZoom{};
    const RoiHit hit = HitTestRoi(v.station, 100 + c.offset, 200);
    EXPECT_EQ(hit.part, c.part) << "scale " << c.scale << " offset " << c.offset;
  }
  // The centre handle: 12 view pixels, 3 image pixels at 4x.
  testing::ViewStation v(testing::kDxfSimpleOutput, 640, 480);
  one_to_one(v);
  v.AddRoi(100, 100, 300, 300);
  v.station.view.zoom = CentreOn(AreaOf(v.station.image), 4.0, 200, 200);
  EXPECT_EQ(HitTestRoi(v.station, 202, 200).part, RoiPart::Centre);
  EXPECT_EQ(HitTestRoi(v.station, 203, 200).part, RoiPart::None);
  // A measurement point at 8x: one image pixel away is 8 view pixels.
  v.rec().meas_count = 1;
  v.rec().meas_points[0] = 1;
  v.rec().meas_point[0][0].x = 50.0;
  v.rec().meas_point[0][0].y = 60.0;
  v.station.view.zoom = CentreOn(AreaOf(v.station.image), 8.0, 50, 60);
  EXPECT_EQ(HitTestPoint(v.station, 50, 60).kind, kGrabPoint);
  EXPECT_EQ(HitTestPoint(v.station, 51, 60).kind, 0u);
}

// Zoomed, the image entry edits the ROI at the pixels given, the view entry
// maps through the zoom, and a pixel outside the image is not seen.
TEST(Zoom, MouseEntriesWhenZoomed) {
  testing::ViewStation v(testing::kDxfSimpleOutput, 640, 480);
  RoiRecord& r = v.AddRoi(100, 100, 200, 200);
  ImageState& im = v.station.image;
  v.station.view.zoom = CentreOn(AreaOf(im), 4.0, 150, 150);
  OnMouseAtImage(v.station, MouseEvent::LeftDown, 100, 150, kKeyLeftButton);
  OnMouseAtImage(v.station, MouseEvent::Move, 91, 150, kKeyLeftButton);
  OnMouseAtImage(v.station, MouseEvent::LeftUp, 91, 150, 0);
  EXPECT_EQ(r.left, 91);
  EXPECT_EQ(r.width, 109);

  // View position (x, y) shows origin + (x + 0.5) / scale.
  const ViewZoom z = Settled(AreaOf(im), v.station.view.zoom);
  for (int32_t x : {3, 4, static_cast<int32_t>(im.view_width) - 1}) {
    ImagePoint p;
    ASSERT_TRUE(MapToImage(v.station, x, 7, &p));
    EXPECT_EQ(p.x, static_cast<int32_t>(std::floor(z.origin_x + (x + 0.5) / 4.0))) << x;
    EXPECT_EQ(p.y, static_cast<int32_t>(std::floor(z.origin_y + 7.5 / 4.0)));
  }
  ImagePoint p;
  EXPECT_FALSE(InImage(v.station, 640, 0, &p));
  EXPECT_FALSE(InImage(v.station, 0, -1, &p));
  const int32_t before = r.right;
  OnMouseAtImage(v.station, MouseEvent::LeftDown, 200, 150, kKeyLeftButton);
  OnMouseAtImage(v.station, MouseEvent::Move, 700, 150, kKeyLeftButton);
  EXPECT_EQ(r.right, before);

  // A new image of another size starts at fit; one of the same size keeps it.
  v.station.view.SetFormat(640, 480, 24);
  EXPECT_FALSE(v.station.view.zoom.fit());
  v.station.view.SetFormat(320, 240, 24);
  EXPECT_TRUE(v.station.view.zoom.fit());
}

TEST(Zoom, LoupeNeverCoversTheCursor) {
  constexpr int32_t kW = 300, kH = 200, kSize = 120, kHeight = 136, kGap = 16;
  // Room below and right: it goes there; at the far corner it flips.
  EXPECT_EQ(PlaceLoupe(kW, kH, 10, 10, kSize, kHeight, kGap).x, 27);
  const LoupeSpot corner = PlaceLoupe(kW, kH, 290, 190, kSize, kHeight, kGap);
  EXPECT_EQ(corner.x, 290 - kGap - kSize);
  EXPECT_EQ(corner.y, 190 - kGap - kHeight);
  for (int32_t cx = 0; cx < kW; cx += 7) {
    for (int32_t cy = 0; cy < kH; cy += 5) {
      const LoupeSpot s = PlaceLoupe(kW, kH, cx, cy, kSize, kHeight, kGap);
      const bool covers = cx >= s.x && cx < s.x + kSize && cy >= s.y && cy < s.y + kHeight;
      ASSERT_FALSE(covers) << cx << "," << cy;
    }
  }
}

} // namespace
} // namespace orvane
