// Nearest-neighbour stretching of the station's pixel buffers into a Qt image
// of the painted size, so the view and the live area never blend pixels
// whatever the screen's scale factor: rows and columns are repeated or
// dropped by the same rule the image view's paint uses.
#pragma once

#include <cstdint>
#include <vector>

#include <QImage>

namespace orvane::qt {

// A source picture: `bytes_per_pixel` 3 (B, G, R) or 4 (B, G, R, x), rows
// top-down, `stride` bytes a row.
struct SourcePixels {
  const uint8_t* bits = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  int32_t bytes_per_pixel = 3;
};

// The source stretched to dest_width x dest_height device pixels (RGB32); a
// null image when either side is empty.
QImage StretchNearest(const SourcePixels& source, int32_t dest_width, int32_t dest_height);

// A picture sampled by tables: device pixel (x, y) shows source pixel
// (columns[x], rows[y]), or `background` where either is -1 (past the
// picture's edge; such columns only at the ends of the table, as a zoom or a
// stretch gives them). RGB32; a null image when a table is empty.
QImage SampleNearest(const SourcePixels& source, const std::vector<int32_t>& columns,
                     const std::vector<int32_t>& rows, uint32_t background);

// The tables of a zoomed view: for each of `count` device pixels the source
// pixel under its centre, -1 outside 0 .. size - 1.
std::vector<int32_t> ZoomTable(double origin, double device_scale, int32_t count, int32_t size);

// The device-pixel size a widget of `logical` pixels covers at `ratio`.
int32_t DevicePixels(int32_t logical, double ratio);

} // namespace orvane::qt
