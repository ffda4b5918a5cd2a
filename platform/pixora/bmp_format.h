// The station's BMP files: the read rules and the 24-bit header written.
#ifndef PIXORA_BMP_FORMAT_H
#define PIXORA_BMP_FORMAT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace pixora {

inline constexpr std::size_t kBmpHeaderBytes = 54;
inline constexpr std::int64_t kMaxSide = 8192;
// The longest file the read rules can accept: 32 bits at the largest size.
inline constexpr std::size_t kMaxBmpBytes = kBmpHeaderBytes + kMaxSide * kMaxSide * 4;

// Bytes in one 24-bit row: width * 3 rounded up to a multiple of 4.
inline constexpr std::size_t PaddedRowBytes24(std::size_t width) { return (width * 3 + 3) & ~std::size_t{3}; }

// An accepted BMP file, pointing into the caller's file data.
struct BmpView {
  int width = 0;
  int height = 0;           // always positive
  bool bottom_up = false;   // the header's height was positive
  int bits_per_pixel = 0;   // 24 or 32
  std::size_t row_bytes = 0;
  const std::uint8_t* pixels = nullptr;  // first row as stored in the file
};

// Checks file against the read rules. Returns PIXORA_OK and fills view,
// PIXORA_ERR_FORMAT for a refused file, or PIXORA_ERR_TOO_LARGE when only
// the size is out of range.
int ParseBmp(std::span<const std::uint8_t> file, BmpView& view);

// The 54 header bytes of a 24-bit bottom-up BMP of the given size.
std::array<std::uint8_t, kBmpHeaderBytes> MakeBmpHeader24(int width, int height);

}  // namespace pixora

#endif
