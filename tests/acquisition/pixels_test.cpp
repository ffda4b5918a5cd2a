#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "acquisition/pixels.h"
#include "platform/video/video.h"

namespace orvane {
namespace {

struct Px {
  uint8_t b, g, r;
  bool operator==(const Px&) const = default;
};

Px ModeOf(Px p, uint32_t mode) {
  uint8_t buf[3] = {p.b, p.g, p.r};
  ApplyColourMode(buf, 1, mode);
  return {buf[0], buf[1], buf[2]};
}

TEST(ColourMode, PerPixelArithmetic) {
  EXPECT_EQ(ModeOf({1, 1, 2}, 4), (Px{1, 1, 1}));
  EXPECT_EQ(ModeOf({255, 255, 255}, 4), (Px{255, 255, 255}));
  EXPECT_EQ(ModeOf({0, 0, 2}, 4), (Px{0, 0, 0}));
  EXPECT_EQ(ModeOf({10, 20, 30}, 1), (Px{30, 30, 30}));
  EXPECT_EQ(ModeOf({10, 20, 30}, 2), (Px{20, 20, 20}));
  EXPECT_EQ(ModeOf({10, 20, 30}, 3), (Px{10, 10, 10}));
  EXPECT_EQ(ModeOf({10, 20, 30}, 0), (Px{10, 20, 30}));
  EXPECT_EQ(ModeOf({10, 20, 30}, 5), (Px{10, 20, 30}));
  for (int s = 0; s < 3 * 256; s += 7) {
    uint8_t b = uint8_t(std::min(s, 255)), g = uint8_t(std::min(std::max(s - 255, 0), 255)),
            r = uint8_t(std::max(s - 510, 0));
    uint8_t avg = uint8_t((b + g + r) / 3);
    EXPECT_EQ(ModeOf({b, g, r}, 4), (Px{avg, avg, avg}));
  }
}

TEST(Compose, NonZeroOverlayBytesWinByteByByte) {
  const uint8_t frame[6] = {10, 20, 30, 40, 50, 60};
  const uint8_t overlay[6] = {0, 0, 255, 0, 0, 0};
  uint8_t display[6];
  ComposeBytes(frame, overlay, display, 6);
  const uint8_t want[6] = {10, 20, 255, 40, 50, 60};
  EXPECT_EQ(0, std::memcmp(display, want, 6));

  std::mt19937 rng(7);
  std::vector<uint8_t> f(1001), o(1001), d(1001);
  for (size_t i = 0; i < f.size(); ++i) {
    f[i] = uint8_t(rng());
    o[i] = (rng() % 3 == 0) ? uint8_t(rng()) : 0;
  }
  ComposeBytes(f.data(), o.data(), d.data(), f.size());
  for (size_t i = 0; i < f.size(); ++i) ASSERT_EQ(d[i], o[i] ? o[i] : f[i]) << i;
}

// Every way of composing against the plain rule, at lengths around the
// switch to streaming and with the display starting off its 16-byte grid.
TEST(Compose, LargeDisplaysAtEveryAlignmentGiveThePlainRulesBytes) {
  std::mt19937 rng(11);
  const size_t big = (size_t{1} << 20) + 37;
  std::vector<uint8_t> f(big + 16), o(big + 16), d(big + 16);
  for (size_t i = 0; i < f.size(); ++i) {
    f[i] = uint8_t(rng());
    o[i] = (rng() % 4 == 0) ? uint8_t(rng()) : 0;
  }
  const auto compose_with = [](ComposeKernel k) {
    return [k](const uint8_t* fr, const uint8_t* ov, uint8_t* di, size_t n) { ComposeBytes(fr, ov, di, n, k); };
  };
  const std::vector<std::function<void(const uint8_t*, const uint8_t*, uint8_t*, size_t)>> ways = {
      [](const uint8_t* fr, const uint8_t* ov, uint8_t* di, size_t n) { ComposeBytes(fr, ov, di, n); },
      compose_with(ComposeKernel::Sse2), compose_with(ComposeKernel::Avx2),
      compose_with(ComposeKernel::Avx2Streaming)};
  for (size_t way = 0; way < ways.size(); ++way) {
    for (const size_t size : {size_t{63}, (size_t{1} << 20) - 1, size_t{1} << 20, big}) {
      for (size_t shift = 0; shift < 4; ++shift) {
        std::fill(d.begin(), d.end(), uint8_t{0xA5});
        ways[way](f.data() + 1, o.data() + 2, d.data() + shift, size);
        for (size_t i = 0; i < size; ++i) {
          ASSERT_EQ(d[shift + i], o[2 + i] ? o[2 + i] : f[1 + i]) << way << " " << size << " " << shift << " " << i;
        }
        EXPECT_EQ(d[shift + size], 0xA5) << "written past the display";
      }
    }
  }
}

// A 32-bit bottom-up snapshot of w x h whose pixel (x, y) of the upright
// picture has B = x, G = y, R = 7.
std::vector<uint8_t> Snapshot(uint32_t w, uint32_t h, uint32_t claimed_size, uint16_t bits = 32) {
  std::vector<uint8_t> s(40 + size_t(w) * h * 4, 0);
  s[0] = 40;
  std::memcpy(&s[4], &w, 4);
  std::memcpy(&s[8], &h, 4);
  s[12] = 1;
  std::memcpy(&s[14], &bits, 2);
  std::memcpy(&s[20], &claimed_size, 4);
  for (uint32_t row = 0; row < h; ++row) {   // file row 0 is the bottom row
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = &s[40 + (size_t(row) * w + x) * 4];
      p[0] = uint8_t(x);
      p[1] = uint8_t(h - 1 - row);
      p[2] = 7;
      p[3] = 0xEE;
    }
  }
  return s;
}

ImageState Image(uint32_t w, uint32_t h, uint32_t stride) {
  ImageState im;
  im.width = w;
  im.height = h;
  im.stride = stride;
  im.size = stride * h;
  return im;
}

TEST(Snapshot, OddWidthComesOutUprightWithMiddleColumnInPlace) {
  auto snap = Snapshot(5, 3, 5 * 3 * 4);
  ImageState im = Image(5, 3, 15);
  std::vector<uint8_t> frame(im.size, 0xCC);
  SnapshotToFrame(snap.data(), snap.size(), im, 0, frame.data());
  for (uint32_t y = 0; y < 3; ++y) {
    for (uint32_t x = 0; x < 5; ++x) {
      const uint8_t* p = &frame[y * 15 + x * 3];
      EXPECT_EQ(p[0], x);
      EXPECT_EQ(p[1], y);
      EXPECT_EQ(p[2], 7);
    }
  }
}

TEST(Snapshot, OtherDepthsLeaveTheFrameUnchanged) {
  auto snap = Snapshot(4, 2, 32, 24);
  ImageState im = Image(4, 2, 12);
  std::vector<uint8_t> frame(im.size, 0xCC);
  SnapshotToFrame(snap.data(), snap.size(), im, 0, frame.data());
  EXPECT_EQ(frame, std::vector<uint8_t>(im.size, 0xCC));
}

TEST(Snapshot, ClaimedSizeNeverWritesPastTheFrame) {
  // The header claims four times the frame; only the frame's pixels are taken.
  auto snap = Snapshot(4, 4, 4 * 4 * 4 * 4);
  ImageState im = Image(4, 2, 12);
  std::vector<uint8_t> frame(im.size + 16, 0xCC);
  SnapshotToFrame(snap.data(), snap.size(), im, 0, frame.data());
  for (size_t i = im.size; i < frame.size(); ++i) ASSERT_EQ(frame[i], 0xCC);
  // A header claiming more than the snapshot holds reads only what is there.
  auto small = Snapshot(2, 1, 1000);
  ImageState big = Image(8, 8, 24);
  std::vector<uint8_t> frame2(big.size, 0xCC);
  SnapshotToFrame(small.data(), small.size(), big, 0, frame2.data());
  EXPECT_EQ(frame2[6], 0xCC); // pixel 2 onwards untouched
  EXPECT_EQ(frame2[big.size - 1], 0xCC);
}

// Source pixel k belongs at frame pixel n - 1 - k, so of a snapshot larger
// than the frame the frame shows the last W x H pixels: the picture's top
// rows, upright. Writes that would read past the snapshot are the only ones
// dropped when the header claims more than it holds.
TEST(Snapshot, LargerSnapshotGivesItsLastPixels) {
  auto snap = Snapshot(4, 4, 4 * 4 * 4);  // rows 3 (top) .. 0 carry G = 0 .. 3
  ImageState im = Image(4, 2, 12);
  std::vector<uint8_t> frame(im.size, 0xCC);
  SnapshotToFrame(snap.data(), snap.size(), im, 0, frame.data());
  for (uint32_t y = 0; y < 2; ++y) {
    for (uint32_t x = 0; x < 4; ++x) {
      const uint8_t* p = &frame[y * 12 + x * 3];
      EXPECT_EQ(p[0], x) << x << "," << y;
      EXPECT_EQ(p[1], y) << x << "," << y;
      EXPECT_EQ(p[2], 7);
    }
  }
  // The header claims 16 pixels but 12 are there: source pixels 8 .. 11
  // (G = 1) fill frame row 1; row 0 would need pixels 12 .. 15.
  snap.resize(40 + 12 * 4);
  std::vector<uint8_t> partial(im.size, 0xCC);
  SnapshotToFrame(snap.data(), snap.size(), im, 0, partial.data());
  for (uint32_t x = 0; x < 4; ++x) {
    EXPECT_EQ(partial[12 + x * 3], x);  // upright: the row is mirrored back
    EXPECT_EQ(partial[12 + x * 3 + 1], 1);
  }
  EXPECT_EQ(std::vector<uint8_t>(partial.begin(), partial.begin() + 12),
            std::vector<uint8_t>(12, 0xCC));
}

TEST(Snapshot, ColourModeAppliesToEveryPixel) {
  auto snap = Snapshot(3, 2, 3 * 2 * 4);
  ImageState im = Image(3, 2, 9);
  std::vector<uint8_t> frame(im.size, 0);
  SnapshotToFrame(snap.data(), snap.size(), im, 1, frame.data());
  for (size_t i = 0; i < frame.size(); ++i) ASSERT_EQ(frame[i], 7);
}

// The one-pass conversion of a camera picture gives the bytes of the
// snapshot bitmap's path, for widths around the 16-pixel blocks and every
// colour mode, and writes nothing past the frame.
TEST(Snapshot, PictureStraightIntoTheFrameEqualsTheBitmapPath) {
  std::mt19937 rng(5);
  for (const uint32_t w : {1u, 2u, 15u, 16u, 17u, 31u, 33u, 642u}) {
    for (const uint32_t h : {1u, 3u}) {
      video::Picture picture{w, h, 1, std::vector<uint8_t>(size_t{w} * h * 4)};
      for (auto& b : picture.bgrx) b = uint8_t(rng());
      std::vector<uint8_t> bitmap;
      video::PictureToSnapshot(picture, &bitmap);
      const ImageState im = Image(w, h, w * 3);
      for (uint32_t mode = 0; mode <= 5; ++mode) {
        std::vector<uint8_t> want(im.size + 8, 0x5A), got(im.size + 8, 0x5A);
        SnapshotToFrame(bitmap.data(), bitmap.size(), im, mode, want.data());
        PictureToFrame(picture.bgrx.data(), im, mode, got.data());
        ASSERT_EQ(got, want) << w << " x " << h << " mode " << mode;
      }
    }
  }
}

// Every way of dropping the fourth bytes writes exactly the plain rule's
// bytes and nothing else: widths around each kernel's step (8, 16, 32
// pixels) and its tails, destinations at several offsets within a cache
// line, several rows with gaps between them.
TEST(Snapshot, EveryDropFourthKernelGivesThePlainRulesBytes) {
  std::mt19937 rng(11);
  std::vector<uint32_t> widths;
  for (uint32_t w = 0; w <= 70; ++w) widths.push_back(w);
  for (const uint32_t w : {95u, 96u, 97u, 127u, 128u, 129u, 191u, 642u, 1920u}) widths.push_back(w);
  for (const DropFourthKernel kernel : {DropFourthKernel::Ssse3, DropFourthKernel::Avx2Step8,
                                        DropFourthKernel::Avx2Step32}) {
    if (!HaveDropFourthKernel(kernel)) continue;
    for (const uint32_t w : widths) {
      for (const size_t offset : {0, 1, 5, 16, 31, 48, 63}) {
        const size_t rows = 3, src_stride = size_t{w} * 4 + 4, dst_stride = size_t{w} * 3 + 7;
        std::vector<uint8_t> src(src_stride * rows);
        for (auto& b : src) b = uint8_t(rng());
        // A 64-byte aligned block, so `offset` is dst's place in its line.
        // Each destination `offset` bytes into a 64-byte aligned window.
        const size_t window = dst_stride * rows + 128;
        std::vector<uint8_t> want_block(window + 64, 0xA5), got_block(want_block);
        const auto aligned = [](std::vector<uint8_t>& v) {
          return v.data() + (64 - reinterpret_cast<uintptr_t>(v.data()) % 64) % 64;
        };
        uint8_t* want = aligned(want_block);
        uint8_t* got = aligned(got_block);
        CopyDropFourthRows(src.data(), src_stride, want + offset, dst_stride, w, rows, DropFourthKernel::Plain);
        CopyDropFourthRows(src.data(), src_stride, got + offset, dst_stride, w, rows, kernel);
        ASSERT_EQ(std::vector<uint8_t>(got, got + window), std::vector<uint8_t>(want, want + window))
            << "kernel " << int(kernel) << " width " << w << " offset " << offset;
        for (size_t i = 0; i < size_t{w} * 3; ++i) {
          ASSERT_EQ(want[offset + dst_stride * 2 + i], src[src_stride * 2 + i / 3 * 4 + i % 3]);
        }
      }
    }
  }
}

TEST(BmpPixels, TwentyFourBitWidthThreeKeepsPaddingUntouchedByColourMode) {
  // Width 3: rows of 9 pixel bytes and 3 padding bytes (stride 12).
  ImageState im = Image(3, 2, 12);
  std::vector<uint8_t> frame(im.size, 0);
  im.frame = frame.data();
  std::vector<uint8_t> file = {
      1, 2, 3, 4, 5, 6, 7, 8, 9, 0xA1, 0xA2, 0xA3,   // bottom row
      11, 12, 13, 14, 15, 16, 17, 18, 19, 0xB1, 0xB2, 0xB3}; // top row
  BmpToFrame(file.data(), 24, 2, im, 3);
  const std::vector<uint8_t> want = {11, 11, 11, 14, 14, 14, 17, 17, 17, 0xB1, 0xB2, 0xB3,
                                     1,  1,  1,  4,  4,  4,  7,  7,  7,  0xA1, 0xA2, 0xA3};
  EXPECT_EQ(frame, want);
  // Top-down (height <= 0): one block copy.
  BmpToFrame(file.data(), 24, -2, im, 0);
  EXPECT_EQ(frame, file);
}

TEST(BmpPixels, ThirtyTwoBitDropsFourthByteAndLeavesPadding) {
  ImageState im = Image(3, 2, 12);
  std::vector<uint8_t> frame(im.size, 0xEE);
  im.frame = frame.data();
  std::vector<uint8_t> file;
  for (int row = 0; row < 2; ++row)
    for (int x = 0; x < 3; ++x) file.insert(file.end(), {uint8_t(x), uint8_t(row), 9, 0x77});
  BmpToFrame(file.data(), 32, 2, im, 0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(frame[y * 12 + x * 3 + 0], x);
      EXPECT_EQ(frame[y * 12 + x * 3 + 1], 1 - y); // bottom-up
      EXPECT_EQ(frame[y * 12 + x * 3 + 2], 9);
    }
    EXPECT_EQ(frame[y * 12 + 9], 0xEE);
    EXPECT_EQ(frame[y * 12 + 11], 0xEE);
  }
}

TEST(BmpRows, BottomUpWithAndWithoutOverlay) {
  ImageState im = Image(2, 2, 8);
  std::vector<uint8_t> frame = {1, 2, 3, 4, 5, 6, 0x51, 0x52, 7, 8, 9, 10, 11, 12, 0x53, 0x54};
  std::vector<uint8_t> overlay(im.size, 0);
  overlay[2] = 200; // top-left pixel, red byte
  overlay[6] = 99;  // padding: never taken from the overlay
  im.frame = frame.data();
  im.overlay = overlay.data();
  auto plain = FrameToBmpRows(im, false);
  const std::vector<uint8_t> want = {7, 8, 9, 10, 11, 12, 0x53, 0x54, 1, 2, 3, 4, 5, 6, 0x51, 0x52};
  EXPECT_EQ(plain, want);
  auto with = FrameToBmpRows(im, true);
  std::vector<uint8_t> want2 = want;
  want2[8 + 2] = 200;
  EXPECT_EQ(with, want2);
}

} // namespace
} // namespace orvane
