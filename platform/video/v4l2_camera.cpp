#include "platform/video/v4l2_camera.h"

namespace orvane::video {

SystemCallTable SystemCalls() { return {}; }

namespace {
class EmptyBackend final : public VideoBackend {
 public:
  std::vector<std::string> DeviceNames() override { return {}; }
  std::unique_ptr<VideoDevice> Open(int32_t, OpenError* error) override {
    *error = OpenError::NoDevice;
    return nullptr;
  }
};
} // namespace

std::unique_ptr<VideoBackend> MakeV4l2Backend(SystemCallTable) { return std::make_unique<EmptyBackend>(); }

} // namespace orvane::video
