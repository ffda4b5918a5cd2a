#include "bmp_format.h"

#include "pixora.h"

namespace pixora {
namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

int ParseBmp(std::span<const std::uint8_t> file, BmpView& view) {
  if (file.size() < kBmpHeaderBytes) return PIXORA_ERR_FORMAT;
  const std::uint8_t* h = file.data();
  if (h[0] != 'B' || h[1] != 'M') return PIXORA_ERR_FORMAT;
  // The length rule leaves room for exactly 54 header bytes, so pixels that
  // start anywhere else would run past the end of the file or into the header.
  if (ReadU32(h + 10) != kBmpHeaderBytes) return PIXORA_ERR_FORMAT;
  const auto raw_width = static_cast<std::int32_t>(ReadU32(h + 18));
  const auto raw_height = static_cast<std::int32_t>(ReadU32(h + 22));
  const std::uint16_t bits = ReadU16(h + 28);
  if (bits != 24 && bits != 32) return PIXORA_ERR_FORMAT;
  if (ReadU32(h + 30) != 0) return PIXORA_ERR_FORMAT;

  // 64-bit so that the magnitude of INT32_MIN does not overflow.
  const std::int64_t width = raw_width < 0 ? -std::int64_t{raw_width} : raw_width;
  const std::int64_t height = raw_height < 0 ? -std::int64_t{raw_height} : raw_height;
  if (width < 1 || height < 1) return PIXORA_ERR_FORMAT;
  if (width > kMaxSide || height > kMaxSide) return PIXORA_ERR_TOO_LARGE;

  const std::size_t row_bytes = bits == 24 ? PaddedRowBytes24(static_cast<std::size_t>(width))
                                           : static_cast<std::size_t>(width) * 4;
  if (file.size() != kBmpHeaderBytes + row_bytes * static_cast<std::size_t>(height)) return PIXORA_ERR_FORMAT;

  view.width = static_cast<int>(width);
  view.height = static_cast<int>(height);
  view.bottom_up = raw_height > 0;
  view.bits_per_pixel = bits;
  view.row_bytes = row_bytes;
  view.pixels = h + kBmpHeaderBytes;
  return PIXORA_OK;
}

std::array<std::uint8_t, kBmpHeaderBytes> MakeBmpHeader24(int width, int height) {
  std::array<std::uint8_t, kBmpHeaderBytes> header{};
  const auto pixel_bytes =
      static_cast<std::uint32_t>(PaddedRowBytes24(static_cast<std::size_t>(width)) * static_cast<std::size_t>(height));
  std::uint8_t* p = header.data();
  p[0] = 'B';
  p[1] = 'M';
  PutU32(p + 2, pixel_bytes + kBmpHeaderBytes);
  PutU32(p + 10, kBmpHeaderBytes);
  PutU32(p + 14, 40);
  PutU32(p + 18, static_cast<std::uint32_t>(width));
  PutU32(p + 22, static_cast<std::uint32_t>(height));
  PutU16(p + 26, 1);
  PutU16(p + 28, 24);
  // Compression 0; the image size is given although 0 would be allowed, as
  // other readers size their buffers from it. Resolutions and colour counts 0.
  PutU32(p + 34, pixel_bytes);
  return header;
}

}  // namespace pixora
