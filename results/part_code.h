// The part's identity read from a code printed on it: DataMatrix, QR code or
// Code 128, anywhere in the picture or in a region of it, in any of the four
// right-angle turns (and, for the square codes, at any angle).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvane {

// A rectangle of the picture, in image pixels; clipped to the picture.
struct PixelRegion {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

struct PartCode {
  std::string text;   // the code's content as UTF-8
  std::string format; // "DataMatrix", "QRCode" or "Code128"
};

// Reads the first code found in a picture of 3 bytes a pixel (B, G, R, rows
// top-down, `stride` bytes a row; `pixels` holds stride * height bytes, the
// caller's). Nothing when no code is read, the picture is empty or the region
// lies outside it. A content with bytes below 0x20 (other than tab) has them
// replaced by '?', so an identity stays one line wherever it is shown.
std::optional<PartCode> ReadPartCode(const uint8_t* pixels, uint32_t width, uint32_t height,
                                     uint32_t stride, std::optional<PixelRegion> region = {});

} // namespace orvane
