// Feeds arbitrary bytes to the two readers of what a GenICam camera brings:
// its picture buffers (first bytes: format, width, height; the rest the
// buffer) must convert exactly as the plain reference does, or be refused by
// both without a byte written; the camera settings file is either refused
// with a reason or read back to the same settings from the text written.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/camera_settings.h"
#include "fuzz/check.h"
#include "platform/video/genicam_pixels.h"

namespace {

constexpr uint32_t kCodes[] = {0x01080001, 0x01100003, 0x01100005, 0x01100007, 0x01080008,
                               0x01080009, 0x0108000A, 0x0108000B, 0x02180014, 0x02180015, 0x32595559};

void Pixels(const uint8_t* data, size_t size) {
  if (size < 3) return;
  const uint32_t code = kCodes[data[0] % (sizeof kCodes / sizeof kCodes[0])];
  const uint32_t w = data[1] % 40, h = data[2] % 40;
  const size_t bytes = size - 3;
  std::vector<uint8_t> fast(size_t{w} * h * 4 + 1, 0x5A), plain(fast.size(), 0x5A);
  const bool a = orvane::video::GenicamToBgrx(code, data + 3, bytes, w, h, fast.data());
  const bool b = orvane::video::GenicamToBgrxReference(code, data + 3, bytes, w, h, plain.data());
  CHECK(a == b);
  CHECK(fast == plain);
  CHECK(fast.back() == 0x5A);
}

void Settings(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto settings = orvane::ParseCameraSettings(text, &error);
  if (!settings) {
    CHECK(!error.empty());
    return;
  }
  const std::string written = orvane::FormatCameraSettings("fuzz", *settings);
  const auto back = orvane::ParseCameraSettings(written, &error);
  CHECK(back.has_value() && *back == *settings);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Pixels(data, size);
  Settings(data, size);
  return 0;
}
