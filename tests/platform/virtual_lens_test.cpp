// The virtual lens: what ORVANE_VIRTUAL_LENS takes, and its two directions
// undoing each other across the whole picture.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/video/virtual_camera.h"
#include "platform/video/virtual_lens.h"

namespace orvane::video {
namespace {

TEST(VirtualLens, ParsesItsKeysAndRefusesAnythingElseWholesale) {
  VirtualLens lens;
  ASSERT_TRUE(ParseVirtualLens("k1=-0.2,tilt=10", &lens));
  EXPECT_EQ(lens, (VirtualLens{-0.2, 0, 0, 0, 0, 10.0, 0.0}));
  ASSERT_TRUE(ParseVirtualLens("k2=0.01,k3=-1e-3,p1=0.001,p2=-0.002,focal=900", &lens));
  EXPECT_EQ(lens, (VirtualLens{0, 0.01, -1e-3, 0.001, -0.002, 0.0, 900.0}));
  EXPECT_TRUE(ParseVirtualLens("", &lens));
  EXPECT_TRUE(IsPlainLens(lens));
  for (const char* bad : {"k1", "k1=", "k4=1", "k1=nan", "k1=1e999", "tilt=61", "focal=-1", "k1=0.1,", "k1=0.1x"}) {
    VirtualLens kept{0.5};
    EXPECT_FALSE(ParseVirtualLens(bad, &kept)) << bad;
    EXPECT_EQ(kept.k1, 0.5) << bad;
  }
}

TEST(VirtualLens, ForwardAndBackwardUndoEachOtherAndThePlainLensDrawsTheSceneAsBefore) {
  VirtualLens lens;
  ASSERT_TRUE(ParseVirtualLens("k1=-0.2,k2=0.02,p1=0.001,tilt=10", &lens));
  for (double sy = 0; sy <= 720; sy += 60) {
    for (double sx = 0; sx <= 1280; sx += 80) {
      double u = 0, v = 0, bx = 0, by = 0;
      LensForward(lens, 1280, 720, sx, sy, &u, &v);
      ASSERT_TRUE(LensBackward(lens, 1280, 720, u, v, &bx, &by));
      EXPECT_NEAR(bx, sx, 1e-6);
      EXPECT_NEAR(by, sy, 1e-6);
    }
  }
  // The centre stays put; the corners come in (barrel).
  double u = 0, v = 0;
  LensForward(lens, 1280, 720, 639.5, 359.5, &u, &v);
  EXPECT_NEAR(u, 639.5, 1e-9);
  EXPECT_NEAR(v, 359.5, 1e-9);
  Picture plain, scene;
  ASSERT_TRUE(DrawSyntheticScene(kVirtualSceneSource, VirtualLens{}, 320, 240, &plain));
  DrawScene(320, 240, &scene);
  EXPECT_EQ(plain.bgrx, scene.bgrx);
  EXPECT_FALSE(DrawSyntheticScene("folder", lens, 320, 240, &plain));
}

} // namespace
} // namespace orvane::video
