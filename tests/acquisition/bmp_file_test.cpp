#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "acquisition/bmp_file.h"
#include "acquisition/pixels.h"
#include "acquisition/still_test_images.h"
#include "support/station_fixture.h"

namespace orvane {
namespace {

using Bytes = std::vector<uint8_t>;

using testing::MakeBmp;
using testing::PatternB;
using testing::PatternG;
using testing::PatternR;
using testing::Put16;
using testing::Put32;

bool Accepted(const Bytes& b) { return CheckBmp(b.data(), b.size()).has_value(); }

struct Decoded {
  ImageState image;
  ImageBuffers buffers;
};

Decoded Decode(const Bytes& file, uint32_t colour_mode = 0) {
  Decoded d;
  EXPECT_TRUE(DecodeBmp(file.data(), file.size(), colour_mode, d.image, d.buffers));
  return d;
}

void ExpectPattern(const ImageState& im) {
  for (uint32_t y = 0; y < im.height; ++y) {
    for (uint32_t x = 0; x < im.width; ++x) {
      const uint8_t* p = im.frame + size_t(y) * im.stride + x * 3;
      ASSERT_EQ(p[0], PatternB(x, y)) << x << "," << y;
      ASSERT_EQ(p[1], PatternG(x, y)) << x << "," << y;
      ASSERT_EQ(p[2], PatternR(x, y)) << x << "," << y;
    }
  }
}

TEST(BmpRead, ExactLengthOnly) {
  Bytes file = MakeBmp(3, 2, 24);
  ASSERT_EQ(file.size(), 78u);
  EXPECT_TRUE(Accepted(file));
  Bytes longer = file;
  longer.push_back(0);
  EXPECT_FALSE(Accepted(longer));
  Bytes shorter(file.begin(), file.end() - 1);
  EXPECT_FALSE(Accepted(shorter));
  EXPECT_FALSE(Accepted(Bytes(file.begin(), file.begin() + 53)));
  EXPECT_FALSE(CheckBmp(nullptr, 0).has_value());

  Bytes file32 = MakeBmp(3, 2, 32);
  EXPECT_EQ(file32.size(), 54u + 24u);
  EXPECT_TRUE(Accepted(file32));
}

TEST(BmpRead, SidesFromOneTo8192) {
  EXPECT_TRUE(Accepted(MakeBmp(8192, 1, 24)));
  EXPECT_FALSE(Accepted(MakeBmp(8193, 1, 24)));
  EXPECT_TRUE(Accepted(MakeBmp(1, 8192, 32)));
  EXPECT_FALSE(Accepted(MakeBmp(1, 8193, 32)));
  EXPECT_TRUE(Accepted(MakeBmp(1, 1, 24)));

  Decoded wide = Decode(MakeBmp(8192, 1, 24));
  EXPECT_EQ(wide.image.width, 8192u);
  EXPECT_EQ(wide.image.stride, 8192u * 3);
  ExpectPattern(wide.image);

  Bytes zero_width = MakeBmp(1, 1, 24);
  Put32(zero_width, 18, 0);
  EXPECT_FALSE(Accepted(zero_width));
  Bytes zero_height = MakeBmp(1, 1, 24);
  Put32(zero_height, 22, 0);
  EXPECT_FALSE(Accepted(zero_height));
  // |INT32_MIN| does not fit an i32; it must not wrap into a small side.
  for (size_t at : {18u, 22u}) {
    Bytes b = MakeBmp(1, 1, 24);
    Put32(b, at, 0x80000000u);
    EXPECT_FALSE(Accepted(b)) << at;
  }
}

TEST(BmpRead, RefusesOtherKinds) {
  Bytes sig = MakeBmp(3, 2, 24);
  sig[1] = 'A';
  EXPECT_FALSE(Accepted(sig));

  // An 8-bit palette file of 2 x 2: 54 + 1024 palette bytes + 2 rows of 4.
  Bytes palette(54 + 1024 + 8, 0);
  palette[0] = 'B';
  palette[1] = 'M';
  Put32(palette, 10, 54 + 1024);
  Put32(palette, 14, 40);
  Put32(palette, 18, 2);
  Put32(palette, 22, 2);
  Put16(palette, 28, 8);
  EXPECT_FALSE(Accepted(palette));

  for (uint16_t bits : {1, 4, 8, 16, 48}) {
    Bytes b = MakeBmp(4, 2, 24);
    Put16(b, 28, bits);
    EXPECT_FALSE(Accepted(b)) << bits;
  }
  Bytes fields = MakeBmp(2, 2, 32);
  Put32(fields, 30, 3); // bit fields
  EXPECT_FALSE(Accepted(fields));

  // A 124-byte header pushes the pixels 84 bytes further.
  Bytes v5 = MakeBmp(3, 2, 24);
  Put32(v5, 14, 124);
  Put32(v5, 10, 138);
  v5.insert(v5.begin() + 54, 84, 0);
  EXPECT_FALSE(Accepted(v5));
}

TEST(BmpRead, PixelOffsetMustLeaveTheBlockInsideTheFile) {
  Bytes b = MakeBmp(3, 2, 24);
  Put32(b, 10, 55);
  EXPECT_FALSE(Accepted(b));
  Put32(b, 10, 0xFFFFFFFFu);
  EXPECT_FALSE(Accepted(b));
  Put32(b, 10, 0xFFFFFFFFu - 23);  // offset + block wraps in 32 bits
  EXPECT_FALSE(Accepted(b));
  Put32(b, 10, 54);
  EXPECT_TRUE(Accepted(b));
  // An offset inside the header stays inside the data: the pixels are read
  // from there, as the header says.
  Put32(b, 10, 30);
  std::optional<BmpLayout> layout = CheckBmp(b.data(), b.size());
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->pixel_offset, 30u);
  Decoded d = Decode(b);
  EXPECT_EQ(0, std::memcmp(d.image.frame, b.data() + 30 + 12, 12)) << "file row 1 is frame row 0";
}

TEST(BmpDecode, BottomUpTopDownAndBothDepths) {
  for (uint16_t bits : {24, 32}) {
    for (int32_t height : {5, -5}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, height " << height);
      Decoded d = Decode(MakeBmp(3, height, bits));
      EXPECT_EQ(d.image.width, 3u);
      EXPECT_EQ(d.image.height, 5u);
      EXPECT_EQ(d.image.stride, 12u);
      EXPECT_EQ(d.image.size, 60u);
      EXPECT_EQ(d.image.bits_per_pixel, 24u);
      EXPECT_EQ(d.image.frame, d.buffers.frame.data());
      EXPECT_EQ(d.image.overlay, d.buffers.overlay.data());
      EXPECT_EQ(d.image.display, d.buffers.display.data());
      ExpectPattern(d.image);
      for (uint32_t y = 0; y < 5; ++y) {
        // 24-bit rows bring their padding along; 32-bit rows leave it clear.
        const uint8_t pad = bits == 24 ? 0xAB : 0x00;
        for (uint32_t i = 9; i < 12; ++i) EXPECT_EQ(d.image.frame[y * 12 + i], pad);
      }
    }
  }
}

TEST(BmpDecode, AppliesTheColourModeButNotToPadding) {
  Decoded d = Decode(MakeBmp(3, 2, 24), 1);
  for (uint32_t y = 0; y < 2; ++y) {
    for (uint32_t x = 0; x < 3; ++x) {
      const uint8_t* p = d.image.frame + y * 12 + x * 3;
      EXPECT_EQ(p[0], PatternR(x, y));
      EXPECT_EQ(p[1], PatternR(x, y));
      EXPECT_EQ(p[2], PatternR(x, y));
    }
    for (uint32_t i = 9; i < 12; ++i) EXPECT_EQ(d.image.frame[y * 12 + i], 0xAB);
  }
}

TEST(BmpDecode, RefusedDataLeavesTheImageAlone) {
  ImageState im;
  ImageBuffers buffers;
  Bytes b = MakeBmp(3, 2, 24);
  b.push_back(0);
  EXPECT_FALSE(DecodeBmp(b.data(), b.size(), 0, im, buffers));
  EXPECT_EQ(im.width, 320u);
  EXPECT_EQ(im.frame, nullptr);
  EXPECT_TRUE(buffers.empty());
}

// The 3 x 2 frame of the golden file: pixel (x, y) = B 10x + y + 1,
// G 20 + x, R 30 + y, rows of 12 bytes with zero padding.
ImageState GoldenFrame(std::vector<uint8_t>& frame) {
  ImageState im;
  im.width = 3;
  im.height = 2;
  im.stride = 12;
  im.size = 24;
  frame.assign(24, 0);
  for (uint32_t y = 0; y < 2; ++y) {
    for (uint32_t x = 0; x < 3; ++x) {
      frame[y * 12 + x * 3 + 0] = uint8_t(10 * x + y + 1);
      frame[y * 12 + x * 3 + 1] = uint8_t(20 + x);
      frame[y * 12 + x * 3 + 2] = uint8_t(30 + y);
    }
  }
  im.frame = frame.data();
  return im;
}

TEST(BmpWrite, MatchesTheGoldenFile) {
  testing::TempDir dir;
  std::vector<uint8_t> frame;
  const ImageState im = GoldenFrame(frame);
  const std::vector<uint8_t> block = FrameToBmpRows(im, false);
  const auto path = dir.path() / "out.bmp";
  EXPECT_EQ(WriteBmpFile(path, block.data(), uint32_t(block.size()), im), 24u);
  const Bytes expected = testing::ReadBytes(std::filesystem::path(ORVANE_FIXTURES) /
                                            "still_bmp_writer" / "expected.bmp");
  ASSERT_EQ(expected.size(), 78u) << "golden file missing";
  EXPECT_EQ(testing::ReadBytes(path), expected);

  // What the writer writes, the reader takes back unchanged.
  const Bytes written = testing::ReadBytes(path);
  Decoded d = Decode(written);
  EXPECT_EQ(Bytes(d.image.frame, d.image.frame + 24), frame);
}

TEST(BmpWrite, NothingForAnEmptyBlockOrAnUnwritablePath) {
  testing::TempDir dir;
  std::vector<uint8_t> frame;
  const ImageState im = GoldenFrame(frame);
  const auto path = dir.path() / "out.bmp";
  EXPECT_EQ(WriteBmpFile(path, frame.data(), 0, im), 0u);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(WriteBmpFile(dir.path() / "missing" / "out.bmp", frame.data(), 24, im), 0u);
}

} // namespace
} // namespace orvane
