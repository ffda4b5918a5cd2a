#include "ui/qt/stretch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "station/image_view.h"
#include "view/zoom.h"

namespace orvane::qt {

QImage StretchNearest(const SourcePixels& src, int32_t dest_width, int32_t dest_height) {
  if (src.width <= 0 || src.height <= 0 || dest_width <= 0 || dest_height <= 0) return {};
  std::vector<int32_t> columns(static_cast<size_t>(dest_width));
  for (int32_t x = 0; x < dest_width; ++x) {
    columns[static_cast<size_t>(x)] = StretchSource(x, dest_width, src.width);
  }
  std::vector<int32_t> rows(static_cast<size_t>(dest_height));
  for (int32_t y = 0; y < dest_height; ++y) {
    rows[static_cast<size_t>(y)] = StretchSource(y, dest_height, src.height);
  }
  return SampleNearest(src, columns, rows, 0xFF000000u);
}

QImage SampleNearest(const SourcePixels& src, const std::vector<int32_t>& columns,
                     const std::vector<int32_t>& rows, uint32_t background) {
  if (src.bits == nullptr || columns.empty() || rows.empty()) return {};
  const auto width = static_cast<int32_t>(columns.size());
  const auto height = static_cast<int32_t>(rows.size());
  QImage out(width, height, QImage::Format_RGB32);
  // Columns past the picture's edges lie at the two ends of the table: the
  // run between them samples without a test per pixel.
  std::vector<int32_t> offset(columns.size());
  int32_t first = width, end = 0;
  for (int32_t x = 0; x < width; ++x) {
    const int32_t c = columns[static_cast<size_t>(x)];
    offset[static_cast<size_t>(x)] = c * src.bytes_per_pixel;
    if (c >= 0) {
      first = std::min(first, x);
      end = x + 1;
    }
  }
  first = std::min(first, end);
  int32_t previous_row = -2;
  for (int32_t y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<uint32_t*>(out.scanLine(y));
    const int32_t row = rows[static_cast<size_t>(y)];
    if (row == previous_row) {
      // Zoomed in, rows repeat: copy the one just built.
      std::memcpy(line, out.constScanLine(y - 1), static_cast<size_t>(width) * 4);
      continue;
    }
    previous_row = row;
    if (row < 0) {
      std::fill(line, line + width, background);
      continue;
    }
    const uint8_t* source_row = src.bits + static_cast<ptrdiff_t>(row) * src.stride;
    for (int32_t x = first; x < end; ++x) {
      const uint8_t* p = source_row + offset[static_cast<size_t>(x)];
      line[x] = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
    std::fill(line, line + first, background);
    std::fill(line + end, line + width, background);
  }
  return out;
}

std::vector<int32_t> ZoomTable(double origin, double device_scale, int32_t count, int32_t size) {
  std::vector<int32_t> table(static_cast<size_t>(std::max(count, 0)));
  for (int32_t d = 0; d < count; ++d) {
    const int64_t s = ZoomedPixel(origin, d, device_scale);
    table[static_cast<size_t>(d)] = s >= 0 && s < size ? static_cast<int32_t>(s) : -1;
  }
  return table;
}

int32_t DevicePixels(int32_t logical, double ratio) {
  return static_cast<int32_t>(std::ceil(logical * ratio - 1e-9));
}

} // namespace orvane::qt
