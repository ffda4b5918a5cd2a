#include "inspect/rest_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/inspect/plate_program.h"

namespace orvane::testing {
namespace {

// What one live picture shows: the stage empty, the plate at rest at
// (160, 120), turned by 10 degrees at (170, 110), or there and a tenth of
// a pixel to the right; `dx`, `dy` shift the picture by whole pixels (a part
// on its way) and `light` brightens it all.
enum Scene { kEmpty, kPlaced, kTurned, kNudged };
struct Pose {
  Scene scene = kPlaced;
  int dx = 0, dy = 0;
  int light = 0;
};

// A stretch of live pictures at 30 a second, each with noise of its own, and
// the rests the watch must report over it.
struct Stretch {
  const char* what;
  int frames;
  Pose (*pose)(int k); // what picture k of the stretch shows
  int rests;
};

Pose Empty(int) { return {kEmpty}; }
Pose SlidesIn(int k) { return {kPlaced, 3 * k - 60, 0}; }
Pose Placed(int) { return {kPlaced}; }
Pose Drifts(int k) { return {kPlaced, 0, 0, k / 2}; } // a grey level every other picture
Pose Moves(int k) { return {kPlaced, 2 * k, -k}; }
Pose Turned(int) { return {kTurned}; }
Pose Nudged(int k) { return {k % 2 ? kNudged : kTurned}; }
Pose Brief(int k) { return {kPlaced, k < 5 ? -20 : 4 * (k - 4) - 20, 10}; }

TEST(RestWatch, OneRestAPlacementWhateverNoiseAndDriftDo) {
  const Stretch stretches[] = {
      {"an empty stage at rest", 15, Empty, 1},
      {"the part slides in", 20, SlidesIn, 0},
      {"the part at rest", 15, Placed, 1},
      {"the part still a long while", 30, Placed, 0},
      {"the light drifts while all is still", 30, Drifts, 0},
      {"the part moved away", 10, Moves, 0},
      {"at rest at a new place, turned", 15, Turned, 1},
      {"nudged by a tenth of a pixel", 30, Nudged, 0},
      {"still for a sixth of a second, then moved on", 12, Brief, 0},
      {"taken away", 15, Empty, 1},
  };
  constexpr int kW = 320, kH = 240;
  std::mt19937_64 rng(5);
  const PlatePicture scenes[] = {
      RenderPlate(kW, kH, 160, 120, 0, rng, 1.0, 0.0, false), RenderPlate(kW, kH, 160, 120, 0, rng, 1.0, 0.0),
      RenderPlate(kW, kH, 170, 110, 10, rng, 1.0, 0.0), RenderPlate(kW, kH, 170.1, 110, 10, rng, 1.0, 0.0)};
  std::uniform_int_distribution<int> noise(-3, 3);
  std::vector<uint8_t> picture(size_t{kW} * kH * 3);
  RestWatch watch;
  double seconds = 0.0;
  for (const Stretch& s : stretches) {
    int rests = 0;
    for (int k = 0; k < s.frames; ++k, seconds += 1.0 / 30) {
      const Pose p = s.pose(k);
      const std::vector<uint8_t>& base = scenes[p.scene].bgr;
      for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
          const int from = 3 * (std::clamp(y - p.dy, 0, kH - 1) * kW + std::clamp(x - p.dx, 0, kW - 1));
          const int v = std::clamp(base[from] + p.light + noise(rng), 0, 255);
          std::fill_n(picture.begin() + 3 * (y * kW + x), 3, static_cast<uint8_t>(v));
        }
      }
      rests += watch.Feed({picture.data(), kW, kH, 3 * kW, 3}, seconds) ? 1 : 0;
    }
    EXPECT_EQ(rests, s.rests) << s.what;
  }
}

// Pictures the watch cannot read report nothing; a picture of another size
// starts afresh, with a rest of its own.
TEST(RestWatch, UnreadableAndResizedPictures) {
  RestWatch watch;
  std::vector<uint8_t> grey(64 * 48 * 4, 90);
  EXPECT_FALSE(watch.Feed({nullptr, 64, 48, 256, 4}, 0.0));
  EXPECT_FALSE(watch.Feed({grey.data(), 64, 48, 64 * 2, 2}, 0.0));
  EXPECT_FALSE(watch.Feed({grey.data(), 7, 7, 7 * 4, 4}, 0.0)) << "no whole cell";
  int rests = 0;
  for (int k = 0; k < 20; ++k) rests += watch.Feed({grey.data(), 64, 48, 64 * 4, 4}, k * 0.05);
  for (int k = 0; k < 20; ++k) rests += watch.Feed({grey.data(), 32, 48, 64 * 4, 4}, 1 + k * 0.05);
  EXPECT_EQ(rests, 2);
}

} // namespace
} // namespace orvane::testing
