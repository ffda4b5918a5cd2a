// cvtJPEGTOBMP: a JPEG file to a 24-bit bottom-up BMP file.
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "bmp_format.h"
#include "file_io.h"
#include "pixora.h"
#include "turbojpeg_handle.h"

namespace pixora {
namespace {

// No JPEG of the largest accepted size comes near this length; anything
// longer is refused before it is read into memory.
constexpr std::size_t kMaxJpegBytes = std::size_t{512} << 20;

// Adobe-convention (inverted) CMYK to B, G, R: a stored value of 255 means
// no ink, so each colour is its plane times the black plane.
void CmykRowsToBgr(const std::uint8_t* cmyk, int width, int height, std::uint8_t* bgr, std::size_t bgr_row_bytes) {
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = cmyk + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
    std::uint8_t* out = bgr + static_cast<std::size_t>(y) * bgr_row_bytes;
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
      const unsigned k = in[3];
      out[0] = static_cast<std::uint8_t>((in[2] * k + 127) / 255);
      out[1] = static_cast<std::uint8_t>((in[1] * k + 127) / 255);
      out[2] = static_cast<std::uint8_t>((in[0] * k + 127) / 255);
    }
  }
}

struct FrameHeader {
  int width = 0;
  int height = 0;
  int components = 0;
};

// The size and component count from the first frame header (SOFn), found by
// walking the marker segments that precede it.
std::optional<FrameHeader> ReadFrameHeader(std::span<const std::uint8_t> jpeg) {
  std::size_t i = 2;
  while (i + 4 <= jpeg.size()) {
    if (jpeg[i] != 0xFF) return std::nullopt;
    const std::uint8_t marker = jpeg[i + 1];
    if (marker == 0xFF) {  // fill byte before a marker
      ++i;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // markers without a segment
      i += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // end or scan before any frame
    const std::size_t length = static_cast<std::size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3];
    if (length < 2 || i + 2 + length > jpeg.size()) return std::nullopt;
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 8) return std::nullopt;
      return FrameHeader{jpeg[i + 7] << 8 | jpeg[i + 8], jpeg[i + 5] << 8 | jpeg[i + 6], jpeg[i + 9]};
    }
    i += 2 + length;
  }
  return std::nullopt;
}

int ConvertJpegToBmp(const char* source, const char* destination) {
  std::vector<std::uint8_t> jpeg;
  if (const int read = ReadWholeFile(source, kMaxJpegBytes, jpeg); read != PIXORA_OK) return read;
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return PIXORA_ERR_FORMAT;

  TjHandle decoder(tjInitDecompress());
  if (!decoder) return PIXORA_ERR_MEMORY;

  // Only the header is parsed here; the size limit is applied before any
  // pixel memory exists.
  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  if (tjDecompressHeader3(decoder.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), &width, &height,
                          &subsampling, &colourspace) != 0) {
    // TurboJPEG's header reader refuses sampling layouts it has no name for
    // (3x1, 4x2 and the like) although its decoder handles them; the frame
    // header alone gives what is needed here, and the decoder checks the rest.
    const auto frame = ReadFrameHeader(jpeg);
    if (!frame || (frame->components != 1 && frame->components != 3 && frame->components != 4))
      return PIXORA_ERR_FORMAT;
    width = frame->width;
    height = frame->height;
    colourspace = frame->components == 4 ? TJCS_CMYK : TJCS_YCbCr;
  }
  if (width < 1 || height < 1) return PIXORA_ERR_FORMAT;
  if (width > kMaxSide || height > kMaxSide) return PIXORA_ERR_TOO_LARGE;

  const std::size_t row_bytes = PaddedRowBytes24(static_cast<std::size_t>(width));
  // Zero-filled, so the row padding is written as zeros.
  std::vector<std::uint8_t> pixels(row_bytes * static_cast<std::size_t>(height));
  const int flags = kDecodeFlags | TJFLAG_BOTTOMUP;

  if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
    // libjpeg does not convert CMYK to RGB itself.
    std::vector<std::uint8_t> cmyk(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    if (tjDecompress2(decoder.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), cmyk.data(), width,
                      width * 4, height, TJPF_CMYK, flags) != 0)
      return PIXORA_ERR_FORMAT;
    CmykRowsToBgr(cmyk.data(), width, height, pixels.data(), row_bytes);
  } else {
    if (tjDecompress2(decoder.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), pixels.data(), width,
                      static_cast<int>(row_bytes), height, TJPF_BGR, flags) != 0)
      return PIXORA_ERR_FORMAT;
  }
  decoder.reset();
  jpeg = {};

  const auto header = MakeBmpHeader24(width, height);
  const std::span<const std::uint8_t> parts[] = {header, pixels};
  return WriteFileAtomically(destination, parts);
}

}  // namespace
}  // namespace pixora

extern "C" PIXORA_API int cvtJPEGTOBMP(const char* option, const char* source, const char* destination) {
  if (option == nullptr || source == nullptr || destination == nullptr) return PIXORA_ERR_ARGUMENT;
  if (std::strcmp(option, "-bmp") != 0 || *source == '\0' || *destination == '\0') return PIXORA_ERR_ARGUMENT;
  return pixora::RunGuarded([&] { return pixora::ConvertJpegToBmp(source, destination); });
}
