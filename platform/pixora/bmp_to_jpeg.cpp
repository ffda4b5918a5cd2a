// cvtBMPTOJPEG: a station BMP file to a baseline JPEG file.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "bmp_format.h"
#include "file_io.h"
#include "pixora.h"
#include "turbojpeg_handle.h"

namespace pixora {
namespace {

// "1" to "100", decimal digits only; returns 0 for anything else.
int ParseQuality(const char* text) {
  const std::size_t length = std::strlen(text);
  if (length == 0 || length > 3) return 0;
  int value = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    value = value * 10 + (text[i] - '0');
  }
  return value >= 1 && value <= 100 ? value : 0;
}

int ConvertBmpToJpeg(int quality, const char* source, const char* destination) {
  std::vector<std::uint8_t> file;
  if (const int read = ReadWholeFile(source, kMaxBmpBytes, file); read != PIXORA_OK) return read;
  BmpView bmp;
  if (const int parsed = ParseBmp(file, bmp); parsed != PIXORA_OK) return parsed;

  TjHandle encoder(tjInitCompress());
  if (!encoder) return PIXORA_ERR_MEMORY;

  // Full-resolution colour at the highest quality keeps the colour edges of
  // measurement images; below it the usual halved colour planes are smaller.
  const int subsampling = quality >= 100 ? TJSAMP_444 : TJSAMP_420;
  const int pixel_format = bmp.bits_per_pixel == 24 ? TJPF_BGR : TJPF_BGRX;
  const int flags = TJFLAG_ACCURATEDCT | (bmp.bottom_up ? TJFLAG_BOTTOMUP : 0);

  unsigned char* jpeg_data = nullptr;
  unsigned long jpeg_size = 0;
  const int result = tjCompress2(encoder.get(), bmp.pixels, bmp.width, static_cast<int>(bmp.row_bytes), bmp.height,
                                 pixel_format, &jpeg_data, &jpeg_size, subsampling, quality, flags);
  const TjBuffer jpeg(jpeg_data);
  if (result != 0 || jpeg_data == nullptr || jpeg_size == 0) return PIXORA_ERR_ENCODE;
  encoder.reset();
  file = {};

  const std::span<const std::uint8_t> parts[] = {std::span<const std::uint8_t>(jpeg.get(), jpeg_size)};
  return WriteFileAtomically(destination, parts);
}

}  // namespace
}  // namespace pixora

extern "C" PIXORA_API int cvtBMPTOJPEG(const char* option, const char* value, const char* source,
                                       const char* destination) {
  if (option == nullptr || value == nullptr || source == nullptr || destination == nullptr) return PIXORA_ERR_ARGUMENT;
  if (std::strcmp(option, "-quality") != 0 || *source == '\0' || *destination == '\0') return PIXORA_ERR_ARGUMENT;
  const int quality = pixora::ParseQuality(value);
  if (quality == 0) return PIXORA_ERR_ARGUMENT;
  return pixora::RunGuarded([&] { return pixora::ConvertBmpToJpeg(quality, source, destination); });
}
