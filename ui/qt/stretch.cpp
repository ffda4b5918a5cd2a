#include "ui/qt/stretch.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "station/image_view.h"

namespace orvane::qt {

QImage StretchNearest(const SourcePixels& src, int32_t dest_width, int32_t dest_height) {
  if (src.bits == nullptr || src.width <= 0 || src.height <= 0 || dest_width <= 0 ||
      dest_height <= 0) {
    return {};
  }
  QImage out(dest_width, dest_height, QImage::Format_RGB32);
  std::vector<int32_t> column_offset(static_cast<size_t>(dest_width));
  for (int32_t x = 0; x < dest_width; ++x) {
    column_offset[static_cast<size_t>(x)] =
        StretchSource(x, dest_width, src.width) * src.bytes_per_pixel;
  }
  int32_t previous_row = -1;
  for (int32_t y = 0; y < dest_height; ++y) {
    auto* line = reinterpret_cast<uint32_t*>(out.scanLine(y));
    const int32_t row = StretchSource(y, dest_height, src.height);
    if (row == previous_row) {
      // A repeated row: copy the one just built.
      std::memcpy(line, out.constScanLine(y - 1), static_cast<size_t>(dest_width) * 4);
      continue;
    }
    previous_row = row;
    const uint8_t* source_row = src.bits + static_cast<ptrdiff_t>(row) * src.stride;
    for (int32_t x = 0; x < dest_width; ++x) {
      const uint8_t* p = source_row + column_offset[static_cast<size_t>(x)];
      line[x] = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
  }
  return out;
}

int32_t DevicePixels(int32_t logical, double ratio) {
  return static_cast<int32_t>(std::ceil(logical * ratio - 1e-9));
}

} // namespace orvane::qt
