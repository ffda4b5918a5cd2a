#include "station/image_view.h"

#include <gtest/gtest.h>

#include "acquisition/acquisition.h"
#include "view/view_support.h"

namespace orvane {
namespace {

TEST(ImageView, PaintsNothingFromSetFormatUntilAnImageIsComposed) {
  testing::ViewStation t(testing::kDxfSimpleOutput);
  ImageView& v = t.station.view;
  EXPECT_FALSE(v.Paint(472, 354).has_value()); // PublishGeometry called SetFormat
  ComposeDisplay(t.station, t.station.image.frame);
  const auto plan = v.Paint(472, 354);
  ASSERT_TRUE(plan.has_value());
  EXPECT_EQ(plan->bits, t.station.image.display);
  EXPECT_EQ(plan->dest_width, 472);
  EXPECT_EQ(plan->header.size, 40u);
  EXPECT_EQ(plan->header.width, 320);
  EXPECT_EQ(plan->header.height, -240); // top-down rows
  EXPECT_EQ(plan->header.bit_count, 24);
  EXPECT_EQ(plan->header.compression, 0u);
  v.SetFormat(640, 480, 24);
  EXPECT_FALSE(v.Paint(472, 354).has_value());
}

TEST(ImageView, CreateAndCursorRule) {
  ImageState image;
  image.width = 640;
  image.height = 480;
  image.view_cursor = 32515;
  ImageView v;
  v.mouse_mode = 4;
  v.set_complete = 0;
  v.Create(image);
  EXPECT_EQ(v.width, 640);
  EXPECT_EQ(v.bits, nullptr);
  EXPECT_EQ(v.mouse_mode, 0u);
  EXPECT_EQ(v.set_complete, 1u);
  EXPECT_EQ(v.Cursor(), 32515u);
  v.cursor_id = 0;
  EXPECT_FALSE(v.Cursor().has_value()); // the front end's default
}

TEST(ImageView, StretchDropsOrRepeatsWholePixels) {
  // 320 columns over 472: column 471 shows image column 319, 1 shows 0, 2 shows 1.
  EXPECT_EQ(StretchSource(0, 472, 320), 0);
  EXPECT_EQ(StretchSource(1, 472, 320), 0);
  EXPECT_EQ(StretchSource(2, 472, 320), 1);
  EXPECT_EQ(StretchSource(471, 472, 320), 319);
  // Shrinking drops: 640 over 320 shows every other column.
  EXPECT_EQ(StretchSource(5, 320, 640), 10);
  EXPECT_EQ(StretchSource(0, 0, 320), 0);
}

} // namespace
} // namespace orvane
