// BMP files as the station reads and writes them: uncompressed 24-bit or
// 32-bit pixels behind the 14-byte file header and the 40-byte information
// header, and nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "station/image_state.h"

namespace orvane {

inline constexpr uint32_t kBmpHeaderBytes = 54;
inline constexpr uint32_t kBmpMaxSide = 8192;
// The longest file the read rules accept: 8192 x 8192 pixels of 4 bytes.
inline constexpr uint64_t kBmpMaxFileBytes =
    kBmpHeaderBytes + uint64_t(kBmpMaxSide) * kBmpMaxSide * 4;

// What an accepted BMP file says about its pixels.
struct BmpLayout {
  uint32_t width = 0;         // |header width|, 1..8192
  uint32_t height = 0;        // |header height|, 1..8192
  int32_t header_height = 0;  // as stored: positive rows bottom-up, negative top-down
  uint32_t bit_count = 0;     // 24 or 32
  uint32_t pixel_offset = 0;  // where the pixel block starts in the file
  uint32_t block_bytes = 0;   // rows x row length in the file
};

// Checks `length` bytes of a whole file against the read rules: "BM", width
// and height of 1 to 8192 in absolute value, 24 or 32 bits per pixel, no
// compression, a length of exactly 54 + the pixel block, and a pixel offset
// that leaves the whole block inside the data. Anything else (palettes,
// compression, larger headers, trailing bytes) gives nothing.
std::optional<BmpLayout> CheckBmp(const uint8_t* data, size_t length);

// Sets the image's geometry for a file of this layout: 24 bits shown, rows of
// width x 3 bytes rounded up to a multiple of 4. The buffers are untouched.
void SetFileGeometry(ImageState& image, const BmpLayout& layout);

// Decodes an accepted file into `buffers`, which are allocated for the
// geometry SetFileGeometry gives `image`; image's buffer pointers then point
// into them and the frame holds the picture with the colour mode applied.
// False, with image and buffers untouched, when the data does not pass
// CheckBmp.
bool DecodeBmp(const uint8_t* data, size_t length, uint32_t colour_mode, ImageState& image,
               ImageBuffers& buffers);

// The 54 header bytes of a file holding `block_bytes` bytes of 24-bit pixels
// for a width x height image with rows bottom-up.
void BuildBmpHeader(uint8_t header[kBmpHeaderBytes], uint32_t width, uint32_t height,
                    uint32_t block_bytes);

// Writes a 24-bit bottom-up BMP file of the image's width and height with
// the n bytes of `block` as its pixels, replacing any file of that name
// (through a temporary file, so a failed write leaves the old one as it
// was). Returns n, the bytes of the pixel block written; 0, writing nothing,
// when n is 0 or the file cannot be written (the reason then in *error, as
// WriteWholeFile gives it, when the file was tried).
uint32_t WriteBmpFile(const std::filesystem::path& path, const uint8_t* block, uint32_t n,
                      const ImageState& image, int* error = nullptr);

} // namespace orvane
