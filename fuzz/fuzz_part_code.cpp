// Arbitrary bytes as a picture (and a region of it) for the part-code
// reader: it reads a code or says none, never crashes and never reads
// outside the picture; what it reads holds no control character.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/check.h"
#include "results/part_code.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  // Up to 96 x 96 pixels, a stride of up to 7 bytes beyond the row.
  const uint32_t width = 1 + data[0] % 96, height = 1 + data[1] % 96, pad = data[2] % 8;
  const bool region = data[3] & 1;
  const int32_t rx = int8_t(data[4]), ry = int8_t(data[5]);
  data += 6;
  size -= 6;
  const uint32_t stride = width * 3 + pad;
  // Exactly the picture's bytes, so the sanitizer sees any read past it.
  std::vector<uint8_t> pixels(size_t{stride} * height);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = size > 0 ? data[i % size] : 0;
  std::optional<orvane::PixelRegion> r;
  if (region) r = orvane::PixelRegion{rx, ry, int32_t(width) - rx / 2, int32_t(height) + ry};
  if (const std::optional<orvane::PartCode> code = orvane::ReadPartCode(pixels.data(), width, height, stride, r)) {
    for (char c : code->text) CHECK(static_cast<unsigned char>(c) >= 0x20 || c == '\t');
  }
  return 0;
}
