// The part's identity read from a code printed on it: DataMatrix, QR code or
// Code 128, anywhere in the picture or in a region of it, in any of the four
// right-angle turns (and, for the square codes, at any angle).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// A rectangle of the picture, in image pixels; clipped to the picture.
struct PixelRegion {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// Longest identity kept, in bytes; a longer text is cut at a character's
// boundary.
inline constexpr size_t kMaxPartIdentityBytes = 256;

// The identity as kept: control characters (line breaks, tabs) become '?',
// so it stays one line on the overlay, in the table and in the CSV; cut to
// kMaxPartIdentityBytes.
std::string PartIdentityText(std::string_view text);

struct PartCode {
  std::string text;   // the code's content as UTF-8
  std::string format; // "DataMatrix", "QRCode" or "Code128"
};

// Reads the first code found in a picture of 3 bytes a pixel (B, G, R, rows
// top-down, `stride` bytes a row; `pixels` holds stride * height bytes, the
// caller's), or of 4 (B, G, R and a fourth byte left unread). Nothing when no code is read, the picture is empty or the region
// lies outside it. A content with bytes below 0x20 (other than tab) has them
// replaced by '?', so an identity stays one line wherever it is shown.
std::optional<PartCode> ReadPartCode(const uint8_t* pixels, uint32_t width, uint32_t height,
                                     uint32_t stride, std::optional<PixelRegion> region = {},
                                     uint32_t bytes_per_pixel = 3);

} // namespace orvane
