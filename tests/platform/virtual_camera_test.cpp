// The virtual camera's sensor noise: the fast run over the picture gives
// exactly the bytes of the plain byte-by-byte rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/video/virtual_camera.h"

namespace orvane::video {
namespace {

// Pixels of every kind the clamp meets: bytes near both ends, and fourth
// bytes that are not 0.
Picture Base(uint32_t width, uint32_t height) {
  Picture p;
  p.width = width;
  p.height = height;
  p.bgrx.resize(size_t{width} * height * 4);
  uint32_t s = 2463534242u;
  for (uint8_t& b : p.bgrx) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    const uint8_t ends[] = {0, 1, 2, 253, 254, 255};
    b = s % 3 == 0 ? ends[(s >> 8) % 6] : uint8_t(s >> 16);
  }
  return p;
}

// Sizes with pixel counts that are no multiple of the fast loop's step, and
// pictures longer than the table (257 x 256 is just past it, so its run
// starts over once, at a point that moves with the sequence).
TEST(VirtualCamera, SensorNoiseEqualsThePlainRuleForEverySizeAndSequence) {
  struct Size {
    uint32_t width, height;
  };
  const Size sizes[] = {{1, 1}, {3, 1}, {5, 3}, {17, 2}, {257, 256}, {640, 480}};
  const uint64_t sequences[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9,
                                1000, 65535, 65536, 0xFFFFFFFFu, ~uint64_t{0}};
  constexpr size_t kGuard = 64;
  for (const Size& size : sizes) {
    const Picture base = Base(size.width, size.height);
    for (const uint64_t sequence : sequences) {
      SCOPED_TRACE(testing::Message() << size.width << " x " << size.height << ", picture "
                                      << sequence);
      Picture plain = base, fast = base;
      plain.bgrx.assign(base.bgrx.size(), 0xAB);
      fast.bgrx.assign(base.bgrx.size() + kGuard, 0xAB);
      AddSensorNoiseByteByByte(base, sequence, &plain);
      AddSensorNoise(base, sequence, &fast);
      const auto end = fast.bgrx.begin() + std::ptrdiff_t(base.bgrx.size());
      ASSERT_EQ(std::vector<uint8_t>(fast.bgrx.begin(), end), plain.bgrx);
      ASSERT_EQ(std::vector<uint8_t>(end, fast.bgrx.end()), std::vector<uint8_t>(kGuard, 0xAB));
    }
  }
}

// The rule itself, on a plain grey: every step within the noise, the fourth
// bytes 0, and the noise moving from one picture to the next.
TEST(VirtualCamera, SensorNoiseStaysWithinItsBoundAndMovesEveryPicture) {
  Picture grey;
  grey.width = 64;
  grey.height = 64;
  grey.bgrx.assign(64 * 64 * 4, 100);
  Picture a = grey, b = grey;
  AddSensorNoise(grey, 41, &a);
  AddSensorNoise(grey, 42, &b);
  int lowest = 0, highest = 0;
  for (size_t i = 0; i < a.bgrx.size(); ++i) {
    if (i % 4 == 3) {
      ASSERT_EQ(a.bgrx[i], 0) << i;
      continue;
    }
    lowest = std::min(lowest, a.bgrx[i] - 100);
    highest = std::max(highest, a.bgrx[i] - 100);
  }
  EXPECT_EQ(lowest, -kSceneNoise);
  EXPECT_EQ(highest, kSceneNoise);
  EXPECT_NE(a.bgrx, b.bgrx);
}

} // namespace
} // namespace orvane::video
