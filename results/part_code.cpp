#include "results/part_code.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

// text() as UTF-8 (the library's own switch; its default is wide text).
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

namespace orvane {

namespace {

// The search: the picture is looked over in cells for places crossed by many
// edges (a code's modules make several on every line through it, a part's
// outline one), at full, half and quarter resolution so large modules are
// found too; each such place is then read at full resolution with the library's
// harder look, which on a small crop costs little. The library's own search
// of a whole picture follows for what the cells miss (a code of few large
// modules); it finds a DataMatrix only across the middle of what it is given,
// which the crops around each place make sure of.
constexpr int kCell = 16;        // pixels of the looked-over picture
constexpr int kLineStep = 2;     // every other line of a cell is looked along
constexpr int kBusyLines = 5;    // of the cell's 16 lines, those crossing two edges or more
constexpr size_t kMaxPlaces = 12; // the largest places read; the rest are texture

struct Grey {
  int width = 0, height = 0;
  std::vector<uint8_t> px;
  uint8_t at(int x, int y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
};

struct Box {
  int x0, y0, x1, y1;
  int cells;
};

Grey GreyOf(const uint8_t* pixels, uint32_t stride, uint32_t bpp, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  Grey g{int(x1 - x0), int(y1 - y0), {}};
  g.px.resize(size_t(g.width) * size_t(g.height));
  for (int y = 0; y < g.height; ++y) {
    const uint8_t* row = pixels + (y0 + y) * stride + x0 * bpp;
    uint8_t* out = g.px.data() + size_t(y) * size_t(g.width);
    for (int x = 0; x < g.width; ++x, row += bpp) out[x] = uint8_t((117 * row[0] + 601 * row[1] + 306 * row[2]) >> 10);
  }
  return g;
}

Grey Half(const Grey& g) {
  Grey h{g.width / 2, g.height / 2, {}};
  h.px.resize(size_t(h.width) * size_t(h.height));
  for (int y = 0; y < h.height; ++y) {
    for (int x = 0; x < h.width; ++x) {
      const int sum = g.at(2 * x, 2 * y) + g.at(2 * x + 1, 2 * y) + g.at(2 * x, 2 * y + 1) + g.at(2 * x + 1, 2 * y + 1);
      h.px[size_t(y) * size_t(h.width) + size_t(x)] = uint8_t(sum / 4);
    }
  }
  return h;
}

// An edge is a step well above the picture's noise: four times the median
// step between neighbours two pixels apart, and never below 20 grey levels.
int EdgeStep(const Grey& g) {
  std::array<uint32_t, 256> histogram{};
  uint32_t n = 0;
  for (int y = 0; y < g.height; y += 4) {
    for (int x = 1; x + 1 < g.width; x += 3, ++n) ++histogram[std::abs(g.at(x + 1, y) - g.at(x - 1, y))];
  }
  uint32_t seen = 0;
  int median = 0;
  while (median < 255 && (seen += histogram[size_t(median)]) < n / 2) ++median;
  return std::max(20, 4 * median);
}

// For each cell, how many of its lines (rows and columns, every other one)
// cross two edges or more.
std::vector<int> BusyLines(const Grey& g, int cols, int rows) {
  const int step = EdgeStep(g);
  std::vector<int> busy(size_t(cols) * size_t(rows), 0);
  std::vector<uint8_t> prev(size_t(g.width)), count(size_t(g.width));
  for (int cy = 0; cy < rows; ++cy) {
    std::fill(prev.begin(), prev.end(), 0);
    std::fill(count.begin(), count.end(), 0);
    const int top = cy * kCell;
    for (int y = top; y < top + kCell && y < g.height; ++y) {
      const bool along = (y - top) % kLineStep == 0;
      for (int cx = 0; cx < cols; ++cx) {
        int edges = 0;
        bool was = false;
        for (int x = std::max(1, cx * kCell); x < std::min(g.width - 1, (cx + 1) * kCell); ++x) {
          if (along) {
            const bool edge = std::abs(g.at(x + 1, y) - g.at(x - 1, y)) > step;
            edges += edge && !was;
            was = edge;
          }
          // Columns, looked down as the rows go by.
          if (x % kLineStep == 0 && y > 0 && y + 1 < g.height) {
            const bool edge = std::abs(g.at(x, y + 1) - g.at(x, y - 1)) > step;
            count[size_t(x)] += edge && !prev[size_t(x)];
            prev[size_t(x)] = edge;
          }
        }
        busy[size_t(cy) * size_t(cols) + size_t(cx)] += edges >= 2;
      }
    }
    for (int x = 0; x < g.width; x += kLineStep) busy[size_t(cy) * size_t(cols) + size_t(x / kCell)] += count[size_t(x)] >= 2;
  }
  return busy;
}

// The places crossed by many edges: busy cells joined with their neighbours,
// as boxes of the full-resolution picture (`scale` its pixels a pixel of g).
void AddPlaces(const Grey& g, int scale, std::vector<Box>& places) {
  const int cols = (g.width + kCell - 1) / kCell, rows = (g.height + kCell - 1) / kCell;
  if (cols == 0 || rows == 0) return;
  std::vector<int> busy = BusyLines(g, cols, rows);
  std::vector<size_t> stack;
  for (size_t start = 0; start < busy.size(); ++start) {
    if (busy[start] < kBusyLines) continue;
    Box box{int(start % size_t(cols)), int(start / size_t(cols)), 0, 0, 0};
    box.x1 = box.x0;
    box.y1 = box.y0;
    busy[start] = -1;
    stack.assign(1, start);
    while (!stack.empty()) {
      const int cx = int(stack.back() % size_t(cols)), cy = int(stack.back() / size_t(cols));
      stack.pop_back();
      ++box.cells;
      box.x0 = std::min(box.x0, cx), box.x1 = std::max(box.x1, cx);
      box.y0 = std::min(box.y0, cy), box.y1 = std::max(box.y1, cy);
      for (int ny = std::max(0, cy - 1); ny <= std::min(rows - 1, cy + 1); ++ny) {
        for (int nx = std::max(0, cx - 1); nx <= std::min(cols - 1, cx + 1); ++nx) {
          const size_t i = size_t(ny) * size_t(cols) + size_t(nx);
          if (busy[i] >= kBusyLines) busy[i] = -1, stack.push_back(i);
        }
      }
    }
    // A lone cell is texture, not a code of at least 10 x 10 modules.
    if (box.cells < 2) continue;
    const int size = std::max(box.x1 - box.x0, box.y1 - box.y0) + 1;
    // The quiet zone around the code (ten modules beside a linear code's bars).
    const int margin = scale * kCell * (2 + size / 8);
    places.push_back(Box{box.x0 * kCell * scale - margin, box.y0 * kCell * scale - margin,
                         (box.x1 + 1) * kCell * scale + margin, (box.y1 + 1) * kCell * scale + margin, box.cells * scale * scale});
  }
}

std::optional<PartCode> ReadIn(const Grey& g, int x0, int y0, int x1, int y1, bool harder) {
  x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, g.width), y1 = std::min(y1, g.height);
  if (x1 <= x0 || y1 <= y0) return std::nullopt;
  const ZXing::ImageView view(g.px.data() + size_t(y0) * size_t(g.width) + size_t(x0), x1 - x0, y1 - y0,
                              ZXing::ImageFormat::Lum, g.width);
  ZXing::DecodeHints hints;
  hints.setFormats(ZXing::BarcodeFormat::DataMatrix | ZXing::BarcodeFormat::QRCode | ZXing::BarcodeFormat::Code128);
  hints.setTryHarder(harder);
  hints.setTryRotate(harder);
  hints.setTryDownscale(!harder);
  const ZXing::Result result = ZXing::ReadBarcode(view, hints);
  if (!result.isValid()) return std::nullopt;
  PartCode code;
  code.text = result.text();
  for (char& c : code.text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = '?';
  }
  code.format = ZXing::ToString(result.format());
  return code;
}

} // namespace

std::string PartIdentityText(std::string_view text) {
  std::string out(text.substr(0, kMaxPartIdentityBytes));
  // Never end inside a UTF-8 sequence: drop continuation bytes and the lead
  // byte they follow when the cut fell there.
  if (text.size() > kMaxPartIdentityBytes) {
    size_t end = out.size();
    while (end > 0 && (static_cast<unsigned char>(out[end - 1]) & 0xC0) == 0x80) --end;
    if (end > 0 && static_cast<unsigned char>(out[end - 1]) >= 0xC0) out.resize(end - 1);
  }
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return out;
}

std::optional<PartCode> ReadPartCode(const uint8_t* pixels, uint32_t width, uint32_t height,
                                     uint32_t stride, std::optional<PixelRegion> region, uint32_t bpp) {
  if (pixels == nullptr || width == 0 || height == 0 || (bpp != 3 && bpp != 4) || stride / bpp < width) {
    return std::nullopt;
  }
  int64_t x0 = 0, y0 = 0, x1 = width, y1 = height;
  if (region) {
    x0 = std::clamp<int64_t>(region->x, 0, width);
    y0 = std::clamp<int64_t>(region->y, 0, height);
    x1 = std::clamp<int64_t>(int64_t{region->x} + region->width, 0, width);
    y1 = std::clamp<int64_t>(int64_t{region->y} + region->height, 0, height);
    if (x1 <= x0 || y1 <= y0) return std::nullopt;
  }
  const Grey grey = GreyOf(pixels, stride, bpp, x0, y0, x1, y1);
  std::vector<Box> places;
  AddPlaces(grey, 1, places);
  const Grey half = Half(grey);
  AddPlaces(half, 2, places);
  AddPlaces(Half(half), 4, places);
  std::stable_sort(places.begin(), places.end(), [](const Box& a, const Box& b) { return a.cells > b.cells; });
  if (places.size() > kMaxPlaces) places.resize(kMaxPlaces);
  for (const Box& b : places) {
    if (std::optional<PartCode> code = ReadIn(grey, b.x0, b.y0, b.x1, b.y1, true)) return code;
  }
  return ReadIn(grey, 0, 0, grey.width, grey.height, false);
}

} // namespace orvane
