#include "platform/video/video.h"

#include <cstdlib>
#include <cstring>

#include "platform/video/v4l2_camera.h"
#include "platform/video/virtual_camera.h"

namespace orvane::video {
namespace {

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

void PutU16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

} // namespace

void BitmapHeaderOf(const VideoFormat& f, uint8_t out[kBitmapHeaderSize]) {
  std::memset(out, 0, kBitmapHeaderSize);
  PutU32(out + 0, kBitmapHeaderSize);
  PutU32(out + 4, f.width);
  PutU32(out + 8, f.height);
  PutU16(out + 12, 1);
  PutU16(out + 14, static_cast<uint16_t>(f.bit_count));
  PutU32(out + 16, f.compression);
  PutU32(out + 20, f.image_size);
}

void PictureToSnapshot(const Picture& picture, std::vector<uint8_t>* out) {
  const size_t row = size_t{picture.width} * 4;
  const size_t bytes = row * picture.height;
  out->resize(kBitmapHeaderSize + bytes);
  VideoFormat f{picture.width, picture.height, 32, kCompressionRgb, static_cast<uint32_t>(bytes)};
  BitmapHeaderOf(f, out->data());
  if (picture.bgrx.size() < bytes) return;
  uint8_t* dest = out->data() + kBitmapHeaderSize;
  for (uint32_t y = 0; y < picture.height; ++y) {
    std::memcpy(dest + row * (picture.height - 1 - y), picture.bgrx.data() + row * y, row);
  }
}

std::unique_ptr<VideoBackend> SystemVideoBackend() {
  if (const char* source = std::getenv(kVirtualCameraVariable); source && *source) {
    VirtualCameraConfig config;
    config.source = source;
    const char* formats = std::getenv(kVirtualFormatsVariable);
    if (formats == nullptr || !ParseFormatList(formats, &config.formats)) {
      config.formats = DefaultVirtualFormats();
    }
    // A lens that does not parse is no lens: the scene stays as drawn.
    if (const char* lens = std::getenv(kVirtualLensVariable); lens != nullptr) {
      ParseVirtualLens(lens, &config.lens);
    }
    return MakeVirtualBackend(std::move(config));
  }
  return MakeV4l2Backend(SystemCalls());
}

} // namespace orvane::video
