#include "platform/video/video.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/video/v4l2_camera.h"
#ifdef ORVANE_HAVE_ARAVIS
#include "platform/video/aravis_camera.h"
#endif
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

class CombinedBackend final : public VideoBackend {
 public:
  explicit CombinedBackend(std::vector<std::unique_ptr<VideoBackend>> parts) : parts_(std::move(parts)) {}

  std::vector<std::string> DeviceNames() override {
    std::vector<std::string> names;
    counts_.clear();
    for (const auto& part : parts_) {
      std::vector<std::string> own = part->DeviceNames();
      counts_.push_back(own.size());
      names.insert(names.end(), own.begin(), own.end());
    }
    return names;
  }

  std::unique_ptr<VideoDevice> Open(int32_t index, OpenError* error) override {
    problem_ = nullptr;
    if (counts_.size() != parts_.size()) DeviceNames();
    if (index >= 0) {
      size_t rest = static_cast<size_t>(index);
      for (size_t i = 0; i < parts_.size(); ++i) {
        if (rest < counts_[i]) {
          problem_ = parts_[i].get();
          return parts_[i]->Open(static_cast<int32_t>(rest), error);
        }
        rest -= counts_[i];
      }
    }
    *error = OpenError::NoDevice;
    return nullptr;
  }

  std::string OpenProblem() override { return problem_ ? problem_->OpenProblem() : std::string(); }

 private:
  std::vector<std::unique_ptr<VideoBackend>> parts_;
  std::vector<size_t> counts_; // devices of each part at the last listing
  VideoBackend* problem_ = nullptr; // the part the last Open went to
};

} // namespace

std::unique_ptr<VideoBackend> CombineBackends(std::vector<std::unique_ptr<VideoBackend>> parts) {
  return std::make_unique<CombinedBackend>(std::move(parts));
}

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
  std::vector<std::unique_ptr<VideoBackend>> parts;
  parts.push_back(MakeV4l2Backend(SystemCalls()));
#ifdef ORVANE_HAVE_ARAVIS
  const char* genicam = std::getenv(kGenicamVariable);
  if (genicam == nullptr || std::string_view(genicam) != "off") parts.push_back(MakeAravisBackend());
#endif
  if (parts.size() == 1) return std::move(parts.front());
  return CombineBackends(std::move(parts));
}

} // namespace orvane::video
