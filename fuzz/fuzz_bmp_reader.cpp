// Feeds arbitrary bytes to the still-image BMP reader: the read rules, then
// the decoding into a frame of an accepted file, checked pixel by pixel
// against a plain reading of the file.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "acquisition/bmp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::optional<orvane::BmpLayout> layout = orvane::CheckBmp(data, size);
  orvane::ImageState image;
  orvane::ImageBuffers buffers;
  const bool decoded = orvane::DecodeBmp(data, size, 0, image, buffers);
  if (decoded != layout.has_value()) std::abort();
  if (!decoded) return 0;

  const orvane::BmpLayout& l = *layout;
  if (uint64_t(l.pixel_offset) + l.block_bytes > size) std::abort();
  if (image.size != uint64_t(image.stride) * image.height || image.stride % 4 != 0 ||
      image.stride < image.width * 3 || buffers.frame.size() != image.size ||
      image.frame != buffers.frame.data()) {
    std::abort();
  }
  const uint32_t bytes = l.bit_count / 8;
  const uint32_t row = l.bit_count == 24 ? image.stride : image.width * 4;
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint32_t file_row = l.header_height > 0 ? image.height - 1 - y : y;
    const uint8_t* src = data + l.pixel_offset + size_t(file_row) * row;
    const uint8_t* dst = image.frame + size_t(y) * image.stride;
    for (uint32_t x = 0; x < image.width; ++x) {
      if (std::memcmp(src + size_t(x) * bytes, dst + size_t(x) * 3, 3) != 0) std::abort();
    }
  }

  // A rerun with a colour mode decodes the same file without trouble.
  orvane::ImageState again;
  orvane::ImageBuffers again_buffers;
  if (!orvane::DecodeBmp(data, size, 1 + size % 5, again, again_buffers)) std::abort();
  return 0;
}
