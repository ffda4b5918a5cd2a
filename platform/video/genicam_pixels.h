// The pixel formats a GenICam camera may send that the station takes, by
// their standard 32-bit codes (the code says bits a pixel in bits 16..23),
// and their conversion into the live area's B, G, R, x pictures. Nothing here
// needs the camera library, so the conversions are built and tested without
// it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace orvane::video {

enum class GenicamFormat : uint32_t {
  Mono8 = 0x01080001,
  Mono10 = 0x01100003,
  Mono12 = 0x01100005,
  Mono16 = 0x01100007,
  BayerGR8 = 0x01080008,
  BayerRG8 = 0x01080009,
  BayerGB8 = 0x0108000A,
  BayerBG8 = 0x0108000B,
  Rgb8 = 0x02180014,
  Bgr8 = 0x02180015,
};

// Whether `code` is one of the formats above.
bool IsGenicamFormat(uint32_t code);
// Bits one pixel takes in the camera's buffer (8, 16 or 24); 0 for a code
// that is not taken.
uint32_t GenicamBits(uint32_t code);
// "Mono8", "BayerRG8", ...; empty for a code that is not taken.
std::string_view GenicamFormatName(uint32_t code);
// Bytes of a width x height picture in `code` (0 for a code not taken).
size_t GenicamImageBytes(uint32_t code, uint32_t width, uint32_t height);

// Converts one picture of `code` into `bgrx` (width x height x 4 bytes, the
// fourth byte 0). Mono10/12/16 arrive as 16-bit little-endian words and keep
// their 8 highest bits; Bayer patterns are demosaiced bilinearly (each
// missing colour is the rounded mean of that colour's pixels in the 3 x 3
// neighbourhood inside the picture, 0 when a picture one pixel wide or high
// has none of it). False, and nothing written, when the code
// is not taken or `bytes` is shorter than the picture.
bool GenicamToBgrx(uint32_t code, const uint8_t* src, size_t bytes, uint32_t width, uint32_t height,
                   uint8_t* bgrx);

// The same result pixel by pixel from the definitions above: the slow and
// plainly correct reference of GenicamToBgrx.
bool GenicamToBgrxReference(uint32_t code, const uint8_t* src, size_t bytes, uint32_t width,
                            uint32_t height, uint8_t* bgrx);

} // namespace orvane::video
