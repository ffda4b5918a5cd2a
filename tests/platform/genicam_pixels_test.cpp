// GenICam pixel formats into B, G, R, x: every format against the plain
// per-pixel reference on random pictures of awkward sizes, a few values
// worked out by hand, the refusals, and the sizes offered from a range.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/video/genicam_pixels.h"
#include "platform/video/size_range.h"

namespace orvane::video {
namespace {

constexpr GenicamFormat kAll[] = {GenicamFormat::Mono8,    GenicamFormat::Mono10,   GenicamFormat::Mono12,
                                  GenicamFormat::Mono16,   GenicamFormat::BayerGR8, GenicamFormat::BayerRG8,
                                  GenicamFormat::BayerGB8, GenicamFormat::BayerBG8, GenicamFormat::Rgb8,
                                  GenicamFormat::Bgr8};

std::vector<uint8_t> Convert(GenicamFormat f, const std::vector<uint8_t>& src, uint32_t w, uint32_t h,
                             bool reference = false) {
  std::vector<uint8_t> out(size_t{w} * h * 4, 0xAA);
  const auto code = static_cast<uint32_t>(f);
  const bool ok = reference ? GenicamToBgrxReference(code, src.data(), src.size(), w, h, out.data())
                            : GenicamToBgrx(code, src.data(), src.size(), w, h, out.data());
  EXPECT_TRUE(ok);
  return out;
}

TEST(GenicamPixels, EveryFormatMatchesTheReferenceByteForByte) {
  std::mt19937 random(7);
  const uint32_t sizes[][2] = {{1, 1}, {2, 2}, {3, 2}, {2, 3}, {5, 3}, {4, 7}, {17, 9}, {64, 48}};
  for (GenicamFormat f : kAll) {
    for (const auto& [w, h] : sizes) {
      std::vector<uint8_t> src(GenicamImageBytes(static_cast<uint32_t>(f), w, h));
      for (uint8_t& b : src) b = static_cast<uint8_t>(random());
      EXPECT_EQ(Convert(f, src, w, h), Convert(f, src, w, h, true))
          << GenicamFormatName(static_cast<uint32_t>(f)) << ' ' << w << 'x' << h;
    }
  }
}

TEST(GenicamPixels, ValuesWorkedOutByHand) {
  struct Case {
    GenicamFormat format;
    uint32_t w, h;
    std::vector<uint8_t> src;
    std::vector<uint8_t> bgrx;
  };
  const Case cases[] = {
      {GenicamFormat::Mono8, 2, 1, {0, 200}, {0, 0, 0, 0, 200, 200, 200, 0}},
      // 10, 12 and 16 bits keep their highest 8; a value past its bits stays white.
      {GenicamFormat::Mono10, 2, 1, {0xFF, 0x03, 0x00, 0x02}, {255, 255, 255, 0, 128, 128, 128, 0}},
      {GenicamFormat::Mono12, 2, 1, {0x10, 0x08, 0xFF, 0xFF}, {129, 129, 129, 0, 255, 255, 255, 0}},
      {GenicamFormat::Mono16, 1, 1, {0xFF, 0x7F}, {127, 127, 127, 0}},
      {GenicamFormat::Rgb8, 1, 1, {10, 20, 30}, {30, 20, 10, 0}},
      {GenicamFormat::Bgr8, 1, 1, {10, 20, 30}, {10, 20, 30, 0}},
      // R G / G B: at red the greens average 20+30 and blue is the one diagonal.
      {GenicamFormat::BayerRG8, 2, 2, {100, 20, 30, 50},
       {50, 25, 100, 0, 50, 20, 100, 0, 50, 30, 100, 0, 50, 25, 100, 0}},
      {GenicamFormat::BayerBG8, 2, 2, {100, 20, 30, 50},
       {100, 25, 50, 0, 100, 20, 50, 0, 100, 30, 50, 0, 100, 25, 50, 0}},
      {GenicamFormat::BayerGR8, 2, 2, {20, 100, 50, 30},
       {50, 20, 100, 0, 50, 25, 100, 0, 50, 25, 100, 0, 50, 30, 100, 0}},
      {GenicamFormat::BayerGB8, 2, 2, {20, 50, 100, 30},
       {50, 20, 100, 0, 50, 25, 100, 0, 50, 25, 100, 0, 50, 30, 100, 0}},
      // One pixel wide: the column never sees blue.
      {GenicamFormat::BayerRG8, 1, 3, {100, 20, 60}, {0, 20, 100, 0, 0, 20, 80, 0, 0, 20, 60, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Convert(c.format, c.src, c.w, c.h), c.bgrx) << GenicamFormatName(static_cast<uint32_t>(c.format));
  }
}

TEST(GenicamPixels, InteriorOfABayerPictureIsTheBilinearMean) {
  // A 4 x 4 BayerRG8 of distinct values: pixel (1,1) is blue; its greens are
  // the four neighbours, its reds the four corners.
  std::vector<uint8_t> src(16);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(10 * i);
  const auto out = Convert(GenicamFormat::BayerRG8, src, 4, 4);
  const uint8_t* p = out.data() + (1 * 4 + 1) * 4;
  EXPECT_EQ(p[0], 50);                             // itself
  EXPECT_EQ(p[1], (10 + 40 + 60 + 90 + 2) / 4);    // up, left, right, down
  EXPECT_EQ(p[2], (0 + 20 + 80 + 100 + 2) / 4);    // corners
  const uint8_t* g = out.data() + (1 * 4 + 2) * 4; // green on a blue row
  EXPECT_EQ(g[0], (50 + 70 + 1) / 2);
  EXPECT_EQ(g[2], (20 + 100 + 1) / 2);
}

TEST(GenicamPixels, RefusesUnknownCodesEmptyAndShortPictures) {
  std::vector<uint8_t> src(12, 1), out(16, 0xAA);
  const auto mono8 = static_cast<uint32_t>(GenicamFormat::Mono8);
  EXPECT_FALSE(GenicamToBgrx(0x32595559, src.data(), src.size(), 2, 2, out.data()));
  EXPECT_FALSE(GenicamToBgrx(mono8, src.data(), 3, 2, 2, out.data()));
  EXPECT_FALSE(GenicamToBgrx(mono8, src.data(), src.size(), 0, 2, out.data()));
  EXPECT_FALSE(GenicamToBgrx(static_cast<uint32_t>(GenicamFormat::Rgb8), src.data(), 11, 2, 2, out.data()));
  EXPECT_EQ(out, std::vector<uint8_t>(16, 0xAA));
  EXPECT_FALSE(IsGenicamFormat(0) || IsGenicamFormat(0x01080000));
  EXPECT_EQ(GenicamFormatName(0x01100005), "Mono12");
}

TEST(SizeRange, CommonSizesThatFitTheStepsThenTheLargest) {
  struct Case {
    SizeRange range;
    std::vector<Size> sizes;
  };
  const Case cases[] = {
      {{1, 2048, 1, 1, 2048, 1}, {{160, 120}, {320, 240}, {640, 480}, {800, 600}, {1024, 768}, {1280, 720},
                                  {1280, 960}, {1280, 1024}, {1600, 1200}, {1920, 1080}, {2048, 2048}}},
      // A step of 16 from 16 drops the sides that are no multiple of 16.
      {{16, 1024, 16, 16, 768, 16}, {{320, 240}, {640, 480}, {1024, 768}}},
      {{700, 700, 0, 500, 500, 0}, {{700, 500}}},
      {{1, 20000, 1, 1, 100, 1}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SizesOfRange(c.range), c.sizes);
}

} // namespace
} // namespace orvane::video
