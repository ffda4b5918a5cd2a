#include "results/part_code.h"

#include <algorithm>

// text() as UTF-8 (the library's own switch; its default is wide text).
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

namespace orvane {

namespace {

// The windows of the search: large enough for a code of about 100 pixels,
// their middles close enough that every code lies near one.
constexpr int64_t kWindow = 160;
constexpr int64_t kWindowStep = 24;

std::optional<PartCode> ReadIn(const uint8_t* pixels, uint32_t stride, int64_t x0, int64_t y0, int64_t x1,
                               int64_t y1, ZXing::BarcodeFormats formats) {
  const ZXing::ImageView view(pixels + y0 * stride + x0 * 3, int(x1 - x0), int(y1 - y0),
                              ZXing::ImageFormat::BGR, int(stride));
  ZXing::DecodeHints hints;
  hints.setFormats(formats);
  // The windows of the search are small and many: no harder look in each.
  const bool window = formats == ZXing::BarcodeFormats(ZXing::BarcodeFormat::DataMatrix);
  hints.setTryHarder(!window);
  hints.setTryRotate(true);
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

std::optional<PartCode> ReadPartCode(const uint8_t* pixels, uint32_t width, uint32_t height,
                                     uint32_t stride, std::optional<PixelRegion> region) {
  if (pixels == nullptr || width == 0 || height == 0 || stride < width * 3) return std::nullopt;
  int64_t x0 = 0, y0 = 0, x1 = width, y1 = height;
  if (region) {
    x0 = std::clamp<int64_t>(region->x, 0, width);
    y0 = std::clamp<int64_t>(region->y, 0, height);
    x1 = std::clamp<int64_t>(int64_t{region->x} + region->width, 0, width);
    y1 = std::clamp<int64_t>(int64_t{region->y} + region->height, 0, height);
    if (x1 <= x0 || y1 <= y0) return std::nullopt;
  }
  const ZXing::BarcodeFormats all =
      ZXing::BarcodeFormat::DataMatrix | ZXing::BarcodeFormat::QRCode | ZXing::BarcodeFormat::Code128;
  if (std::optional<PartCode> code = ReadIn(pixels, stride, x0, y0, x1, y1, all)) return code;
  // The library's DataMatrix detector looks outwards from the middle of the
  // picture and misses a small code more than a few modules off it: search
  // windows whose middles lie a step apart, so every code lies near one
  // (the other codes are found anywhere at once).
  // Windows are centred on a grid over the whole region, clipped to it, so a
  // code at the region's edge lies near the middle of a clipped one.
  if (x1 - x0 > kWindow || y1 - y0 > kWindow) {
    for (int64_t cy = y0; cy < y1 + kWindowStep; cy += kWindowStep) {
      const int64_t top = std::max(y0, cy - kWindow / 2), bottom = std::min(y1, cy + kWindow / 2);
      for (int64_t cx = x0; cx < x1 + kWindowStep; cx += kWindowStep) {
        const int64_t left = std::max(x0, cx - kWindow / 2), right = std::min(x1, cx + kWindow / 2);
        if (right - left < kWindow / 4 || bottom - top < kWindow / 4) continue;
        if (std::optional<PartCode> code =
                ReadIn(pixels, stride, left, top, right, bottom, ZXing::BarcodeFormat::DataMatrix)) {
          return code;
        }
      }
    }
  }
  return std::nullopt;
}

} // namespace orvane
