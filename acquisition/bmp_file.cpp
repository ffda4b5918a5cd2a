#include "acquisition/bmp_file.h"

#include <cstring>
#include <vector>

#include "acquisition/pixels.h"
#include "workspace/files.h"

namespace orvane {
namespace {

uint32_t U16At(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

uint32_t U32At(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// |v| for every i32, INT32_MIN included.
uint64_t Magnitude(uint32_t raw) {
  const int64_t v = static_cast<int32_t>(raw);
  return static_cast<uint64_t>(v < 0 ? -v : v);
}

uint32_t Row24(uint32_t width) { return (width * 3 + 3) & ~3u; }

} // namespace

std::optional<BmpLayout> CheckBmp(const uint8_t* data, size_t length) {
  if (data == nullptr || length < kBmpHeaderBytes) return std::nullopt;
  if (data[0] != 'B' || data[1] != 'M') return std::nullopt;
  const uint64_t w = Magnitude(U32At(data + 18));
  const uint64_t h = Magnitude(U32At(data + 22));
  if (w < 1 || w > kBmpMaxSide || h < 1 || h > kBmpMaxSide) return std::nullopt;
  const uint32_t bits = U16At(data + 28);
  if (bits != 24 && bits != 32) return std::nullopt;
  if (U32At(data + 30) != 0) return std::nullopt;
  const uint64_t row = bits == 24 ? Row24(static_cast<uint32_t>(w)) : w * 4;
  const uint64_t block = row * h;
  if (uint64_t(length) != kBmpHeaderBytes + block) return std::nullopt;
  // The block is read from the stored offset, so it must fit behind it.
  const uint64_t offset = U32At(data + 10);
  if (offset + block > length) return std::nullopt;

  BmpLayout layout;
  layout.width = static_cast<uint32_t>(w);
  layout.height = static_cast<uint32_t>(h);
  layout.header_height = static_cast<int32_t>(U32At(data + 22));
  layout.bit_count = bits;
  layout.pixel_offset = static_cast<uint32_t>(offset);
  layout.block_bytes = static_cast<uint32_t>(block);
  return layout;
}

void SetFileGeometry(ImageState& image, const BmpLayout& layout) {
  image.width = layout.width;
  image.height = layout.height;
  image.bits_per_pixel = 24;
  image.bytes_per_pixel = 3;
  image.stride = Row24(layout.width);
  image.size = image.stride * layout.height;
}

bool DecodeBmp(const uint8_t* data, size_t length, uint32_t colour_mode, ImageState& image,
               ImageBuffers& buffers) {
  const std::optional<BmpLayout> layout = CheckBmp(data, length);
  if (!layout) return false;
  SetFileGeometry(image, *layout);
  buffers.Allocate(image.size);
  image.frame = buffers.frame.data();
  image.overlay = buffers.overlay.data();
  image.display = buffers.display.data();
  BmpToFrame(data + layout->pixel_offset, layout->bit_count, layout->header_height, image,
             colour_mode);
  return true;
}

void BuildBmpHeader(uint8_t header[kBmpHeaderBytes], uint32_t width, uint32_t height,
                    uint32_t block_bytes) {
  std::memset(header, 0, kBmpHeaderBytes);
  header[0] = 'B';
  header[1] = 'M';
  PutU32(header + 2, block_bytes + kBmpHeaderBytes);
  PutU32(header + 10, kBmpHeaderBytes);
  PutU32(header + 14, 40);
  PutU32(header + 18, width);
  PutU32(header + 22, height);
  PutU16(header + 26, 1);
  PutU16(header + 28, 24);
}

uint32_t WriteBmpFile(const std::filesystem::path& path, const uint8_t* block, uint32_t n,
                      const ImageState& image, int* error) {
  if (n == 0 || block == nullptr || n > UINT32_MAX - kBmpHeaderBytes) return 0;
  std::vector<uint8_t> file(size_t(kBmpHeaderBytes) + n);
  BuildBmpHeader(file.data(), image.width, image.height, n);
  std::memcpy(file.data() + kBmpHeaderBytes, block, n);
  if (WriteWholeFile(path, file.data(), static_cast<uint32_t>(file.size()), error) == 0) return 0;
  return n;
}

} // namespace orvane
