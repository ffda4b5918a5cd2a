#include "platform/video/aravis_camera.h"

#include <arv.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/video/genicam_pixels.h"
#include "platform/video/picture_store.h"
#include "platform/video/size_range.h"

namespace orvane::video {
namespace {

constexpr guint64 kPopTimeoutUs = 100000; // how often the capture thread looks at Stop
constexpr auto kReconnectPeriod = std::chrono::milliseconds(1000);
constexpr auto kStopLook = std::chrono::milliseconds(50);
constexpr auto kFirstPictureWait = std::chrono::milliseconds(2000);
// How long a listing of the cameras is taken again as it was.
constexpr auto kListingKept = std::chrono::milliseconds(2000);
// A stream silent this long makes the thread ask the camera whether it is
// still there (its heartbeat may take longer to notice).
constexpr auto kSilence = std::chrono::milliseconds(1500);
// Half a second of pictures in flight, at least 8 and at most 32 buffers,
// and never more than 512 MiB of them.
constexpr double kBufferedSeconds = 0.5;
constexpr uint32_t kMinBuffers = 8;
constexpr uint32_t kMaxBuffers = 32;
constexpr size_t kMaxBufferBytes = size_t{512} << 20;

constexpr const char* kExposure = "ExposureTime";
constexpr const char* kGain = "Gain";
constexpr const char* kFrameRate = "FrameRate";

// A GError that frees itself; `text` is its message or "".
struct Error {
  GError* error = nullptr;
  Error() = default;
  Error(const Error&) = delete;
  Error& operator=(const Error&) = delete;
  ~Error() { Reset(); }
  GError** out() {
    Reset();
    return &error;
  }
  void Reset() {
    if (error != nullptr) g_error_free(error);
    error = nullptr;
  }
  bool failed() const { return error != nullptr; }
  std::string text() const { return error != nullptr && error->message != nullptr ? error->message : ""; }
};

uint64_t RealTimeNs() { return static_cast<uint64_t>(g_get_real_time()) * 1000u; }

class AravisDevice final : public VideoDevice {
 public:
  AravisDevice(std::string id, ArvCamera* camera) : id_(std::move(id)) { Connect(camera); }
  ~AravisDevice() override {
    Stop();
    std::lock_guard lock(camera_mutex_);
    Disconnect();
  }

  bool Formats(std::vector<VideoFormat>* out) override;
  bool SetFormat(const VideoFormat& format) override;
  uint32_t CurrentWidth() const override { return width_; }
  uint32_t CurrentHeight() const override { return height_; }
  int32_t Start() override;
  void Stop() override;

  bool LatestPicture(Picture* out) override { return store_.Latest(out); }
  bool UseLatestPicture(const std::function<void(const Picture&)>& use) override {
    return store_.UseLatest(use);
  }
  bool Snapshot(std::vector<uint8_t>* out) override {
    return SnapshotPicture([out](const Picture& p) { PictureToSnapshot(p, out); });
  }
  // The next picture, not the newest: one whose reception began after the
  // request, so that the picture shows what was there at the command.
  bool SnapshotPicture(const std::function<void(const Picture&)>& use) override {
    return !lost_ && store_.UseNext(RealTimeNs(), use, kFirstPictureWait);
  }
  void SetPictureListener(std::function<void()> listener) override { store_.SetListener(std::move(listener)); }

  std::string StatusNote() override { return lost_ ? kCameraLostNote : ""; }
  StreamCounts Counts() override { return {frames_.load(), incomplete_.load()}; }
  std::vector<DeviceControl> Controls() override;
  bool SetControl(const std::string& name, double value) override;

 private:
  static void OnControlLost(ArvDevice*, gpointer self) { static_cast<AravisDevice*>(self)->lost_ = true; }

  void Connect(ArvCamera* camera) {
    camera_ = camera;
    lost_handler_ = g_signal_connect(arv_camera_get_device(camera_), "control-lost", G_CALLBACK(OnControlLost), this);
    ReadRegion();
  }
  void Disconnect() {
    if (camera_ == nullptr) return;
    g_signal_handler_disconnect(arv_camera_get_device(camera_), lost_handler_);
    g_object_unref(camera_);
    camera_ = nullptr;
  }
  void ReadRegion() {
    Error e;
    gint x = 0, y = 0, w = 0, h = 0;
    arv_camera_get_region(camera_, &x, &y, &w, &h, e.out());
    const bool fits = !e.failed() && w > 0 && h > 0 && uint32_t(w) <= kMaxSide && uint32_t(h) <= kMaxSide;
    width_ = fits ? uint32_t(w) : 0;
    height_ = fits ? uint32_t(h) : 0;
    code_ = static_cast<uint32_t>(arv_camera_get_pixel_format(camera_, e.out()));
  }
  std::vector<Size> Sizes();
  bool ApplyFormat(uint32_t code, uint32_t width, uint32_t height);
  bool ApplyControl(const std::string& name, double value);
  uint32_t BufferCount(size_t payload);
  bool OpenStream();
  void CloseStream();
  void Run();
  void Take(ArvBuffer* buffer);
  void AwaitReturn();
  bool Reconnect();
  bool Answers();

  const std::string id_;
  // Guards camera_ and stream_ between the station's thread and the
  // capture thread, which replaces them when the camera comes back.
  std::mutex camera_mutex_;
  ArvCamera* camera_ = nullptr;
  ArvStream* stream_ = nullptr;
  gulong lost_handler_ = 0;
  uint32_t code_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  std::vector<VideoFormat> offered_;
  // What the station set, set again on a camera that comes back.
  uint32_t wanted_code_ = 0, wanted_width_ = 0, wanted_height_ = 0;
  std::vector<std::pair<std::string, double>> wanted_controls_;
  PictureStore store_;
  std::atomic<bool> running_{false};
  std::atomic<bool> lost_{false};
  std::atomic<uint64_t> frames_{0};
  std::atomic<uint64_t> incomplete_{0};
  std::thread thread_;
};

std::vector<Size> AravisDevice::Sizes() {
  Error e;
  gint min_w = 0, max_w = 0, min_h = 0, max_h = 0;
  arv_camera_get_width_bounds(camera_, &min_w, &max_w, e.out());
  if (e.failed()) return {};
  arv_camera_get_height_bounds(camera_, &min_h, &max_h, e.out());
  if (e.failed() || min_w < 0 || min_h < 0 || max_w <= 0 || max_h <= 0) return {};
  const gint step_w = arv_camera_get_width_increment(camera_, e.out());
  const gint step_h = arv_camera_get_height_increment(camera_, e.out());
  const SizeRange range{uint32_t(min_w), uint32_t(max_w), uint32_t(std::max(step_w, 1)),
                        uint32_t(min_h), uint32_t(max_h), uint32_t(std::max(step_h, 1))};
  std::vector<Size> sizes = SizesOfRange(range);
  if (width_ > 0 && std::find(sizes.begin(), sizes.end(), Size{width_, height_}) == sizes.end()) {
    sizes.push_back({width_, height_});
  }
  std::sort(sizes.begin(), sizes.end(), [](const Size& a, const Size& b) {
    return a.width != b.width ? a.width < b.width : a.height < b.height;
  });
  return sizes;
}

bool AravisDevice::Formats(std::vector<VideoFormat>* out) {
  std::lock_guard lock(camera_mutex_);
  if (camera_ == nullptr) return false;
  Error e;
  guint n = 0;
  gint64* codes = arv_camera_dup_available_pixel_formats(camera_, &n, e.out());
  if (codes == nullptr) return false;
  std::vector<uint32_t> taken;
  for (guint i = 0; i < n; ++i) {
    const auto code = static_cast<uint32_t>(codes[i]);
    if (IsGenicamFormat(code) && std::find(taken.begin(), taken.end(), code) == taken.end()) taken.push_back(code);
  }
  g_free(codes);
  const std::vector<Size> sizes = Sizes();
  offered_.clear();
  for (uint32_t code : taken) {
    for (const Size& s : sizes) {
      offered_.push_back(VideoFormat{s.width, s.height, GenicamBits(code), code,
                                     static_cast<uint32_t>(GenicamImageBytes(code, s.width, s.height))});
    }
  }
  *out = offered_;
  return true;
}

bool AravisDevice::ApplyFormat(uint32_t code, uint32_t width, uint32_t height) {
  Error e;
  arv_camera_set_pixel_format(camera_, static_cast<ArvPixelFormat>(code), e.out());
  if (e.failed()) return false;
  arv_camera_set_region(camera_, 0, 0, static_cast<gint>(width), static_cast<gint>(height), e.out());
  const bool ok = !e.failed();
  ReadRegion();
  return ok;
}

bool AravisDevice::SetFormat(const VideoFormat& format) {
  if (std::find(offered_.begin(), offered_.end(), format) == offered_.end()) return false;
  std::lock_guard lock(camera_mutex_);
  if (camera_ == nullptr || !ApplyFormat(format.compression, format.width, format.height)) return false;
  wanted_code_ = format.compression;
  wanted_width_ = format.width;
  wanted_height_ = format.height;
  return true;
}

std::vector<DeviceControl> AravisDevice::Controls() {
  std::lock_guard lock(camera_mutex_);
  std::vector<DeviceControl> out;
  if (camera_ == nullptr) return out;
  Error e;
  DeviceControl c;
  if (arv_camera_is_exposure_time_available(camera_, e.out())) {
    c = {kExposure, 0, 0, 0};
    arv_camera_get_exposure_time_bounds(camera_, &c.minimum, &c.maximum, e.out());
    c.value = arv_camera_get_exposure_time(camera_, e.out());
    if (!e.failed()) out.push_back(c);
  }
  if (arv_camera_is_gain_available(camera_, e.out())) {
    c = {kGain, 0, 0, 0};
    arv_camera_get_gain_bounds(camera_, &c.minimum, &c.maximum, e.out());
    c.value = arv_camera_get_gain(camera_, e.out());
    if (!e.failed()) out.push_back(c);
  }
  if (arv_camera_is_frame_rate_available(camera_, e.out())) {
    c = {kFrameRate, 0, 0, 0};
    arv_camera_get_frame_rate_bounds(camera_, &c.minimum, &c.maximum, e.out());
    c.value = arv_camera_get_frame_rate(camera_, e.out());
    if (!e.failed()) out.push_back(c);
  }
  return out;
}

bool AravisDevice::ApplyControl(const std::string& name, double value) {
  Error e;
  double lo = 0, hi = 0;
  if (name == kExposure) {
    arv_camera_get_exposure_time_bounds(camera_, &lo, &hi, e.out());
    if (!e.failed()) arv_camera_set_exposure_time(camera_, std::clamp(value, lo, hi), e.out());
  } else if (name == kGain) {
    arv_camera_get_gain_bounds(camera_, &lo, &hi, e.out());
    if (!e.failed()) arv_camera_set_gain(camera_, std::clamp(value, lo, hi), e.out());
  } else if (name == kFrameRate) {
    arv_camera_get_frame_rate_bounds(camera_, &lo, &hi, e.out());
    if (!e.failed()) arv_camera_set_frame_rate(camera_, std::clamp(value, lo, hi), e.out());
  } else {
    return false;
  }
  return !e.failed();
}

bool AravisDevice::SetControl(const std::string& name, double value) {
  if (!std::isfinite(value)) return false;
  std::lock_guard lock(camera_mutex_);
  if (camera_ == nullptr || !ApplyControl(name, value)) return false;
  auto it = std::find_if(wanted_controls_.begin(), wanted_controls_.end(),
                         [&](const auto& c) { return c.first == name; });
  if (it == wanted_controls_.end()) {
    wanted_controls_.emplace_back(name, value);
  } else {
    it->second = value;
  }
  return true;
}

uint32_t AravisDevice::BufferCount(size_t payload) {
  Error e;
  double rate = 0.0;
  if (arv_camera_is_frame_rate_available(camera_, e.out())) rate = arv_camera_get_frame_rate(camera_, e.out());
  const double wanted = std::isfinite(rate) ? std::ceil(rate * kBufferedSeconds) : 0.0;
  uint32_t count = static_cast<uint32_t>(std::clamp(wanted, double(kMinBuffers), double(kMaxBuffers)));
  if (payload > 0) count = static_cast<uint32_t>(std::min<size_t>(count, std::max<size_t>(2, kMaxBufferBytes / payload)));
  return count;
}

bool AravisDevice::OpenStream() {
  Error e;
  const bool gv = arv_camera_is_gv_device(camera_);
  // The packet socket delivers no pictures to a program running as root.
  if (gv && geteuid() == 0) arv_camera_gv_set_stream_options(camera_, ARV_GV_STREAM_OPTION_PACKET_SOCKET_DISABLED);
  if (gv) arv_camera_gv_auto_packet_size(camera_, e.out());
  // Live streams continuously: a trigger left on by another program would
  // hold every picture back.
  arv_camera_clear_triggers(camera_, e.out());
  arv_camera_set_acquisition_mode(camera_, ARV_ACQUISITION_MODE_CONTINUOUS, e.out());
  stream_ = arv_camera_create_stream(camera_, nullptr, nullptr, e.out());
  if (stream_ == nullptr) return false;
  if (ARV_IS_GV_STREAM(stream_)) {
    g_object_set(stream_, "packet-resend", ARV_GV_STREAM_PACKET_RESEND_ALWAYS, "socket-buffer",
                 ARV_GV_STREAM_SOCKET_BUFFER_AUTO, nullptr);
  }
  const guint payload = arv_camera_get_payload(camera_, e.out());
  if (e.failed() || payload == 0) {
    CloseStream();
    return false;
  }
  const uint32_t count = BufferCount(payload);
  for (uint32_t i = 0; i < count; ++i) arv_stream_push_buffer(stream_, arv_buffer_new_allocate(payload));
  arv_camera_start_acquisition(camera_, e.out());
  if (e.failed()) {
    CloseStream();
    return false;
  }
  return true;
}

void AravisDevice::CloseStream() {
  if (stream_ == nullptr) return;
  if (camera_ != nullptr) {
    Error e;
    arv_camera_stop_acquisition(camera_, e.out());
  }
  g_object_unref(stream_);
  stream_ = nullptr;
}

int32_t AravisDevice::Start() {
  Stop();
  {
    std::lock_guard lock(camera_mutex_);
    if (camera_ == nullptr) return -ENODEV;
    if (width_ == 0 || height_ == 0 || !IsGenicamFormat(code_)) return -EINVAL;
    if (!OpenStream()) return -EIO;
  }
  store_.Clear();
  store_.SetStreaming(true);
  running_ = true;
  thread_ = std::thread([this] { Run(); });
  return 0;
}

void AravisDevice::Stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
  store_.SetStreaming(false);
  std::lock_guard lock(camera_mutex_);
  CloseStream();
}

void AravisDevice::Take(ArvBuffer* buffer) {
  ++frames_;
  size_t size = 0;
  const void* data = arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS
                         ? arv_buffer_get_image_data(buffer, &size)
                         : nullptr;
  const gint w = data ? arv_buffer_get_image_width(buffer) : 0;
  const gint h = data ? arv_buffer_get_image_height(buffer) : 0;
  bool used = false;
  if (w > 0 && h > 0 && uint32_t(w) <= kMaxSide && uint32_t(h) <= kMaxSide) {
    const auto code = static_cast<uint32_t>(arv_buffer_get_image_pixel_format(buffer));
    Picture& p = store_.Back(uint32_t(w), uint32_t(h));
    used = GenicamToBgrx(code, static_cast<const uint8_t*>(data), size, uint32_t(w), uint32_t(h), p.bgrx.data());
    if (used) {
      p.started_ns = arv_buffer_get_system_timestamp(buffer);
      store_.Publish();
    }
  }
  if (!used) ++incomplete_;
}

void AravisDevice::Run() {
  pthread_setname_np(pthread_self(), kGenicamThreadName);
  auto heard = std::chrono::steady_clock::now();
  while (running_) {
    if (lost_) {
      AwaitReturn();
      heard = std::chrono::steady_clock::now();
      continue;
    }
    ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream_, kPopTimeoutUs);
    const auto now = std::chrono::steady_clock::now();
    if (buffer == nullptr) {
      if (now - heard > kSilence) {
        if (!Answers()) lost_ = true;
        heard = now;
      }
      continue;
    }
    heard = now;
    Take(buffer);
    arv_stream_push_buffer(stream_, buffer);
  }
}

// One read of the camera's registers: a camera that has gone fails it.
bool AravisDevice::Answers() {
  std::lock_guard lock(camera_mutex_);
  if (camera_ == nullptr) return false;
  // Address 0 of the bootstrap registers (the protocol's version): read from
  // the camera every time, never from a cache.
  Error e;
  guint32 value = 0;
  arv_device_read_register(arv_camera_get_device(camera_), 0, &value, e.out());
  return !e.failed();
}

// The camera is gone: let go of it, then try its id again every period
// until it answers or the device stops.
void AravisDevice::AwaitReturn() {
  {
    std::lock_guard lock(camera_mutex_);
    CloseStream();
    Disconnect();
  }
  store_.MarkLost();
  store_.Notify();
  while (running_) {
    const auto next = std::chrono::steady_clock::now() + kReconnectPeriod;
    while (running_ && std::chrono::steady_clock::now() < next) std::this_thread::sleep_for(kStopLook);
    if (running_ && Reconnect()) {
      store_.Notify();
      return;
    }
  }
}

bool AravisDevice::Reconnect() {
  Error e;
  ArvCamera* camera = arv_camera_new(id_.c_str(), e.out());
  if (camera == nullptr) return false;
  std::lock_guard lock(camera_mutex_);
  lost_ = false;
  Connect(camera);
  if (wanted_width_ > 0) ApplyFormat(wanted_code_, wanted_width_, wanted_height_);
  for (const auto& [name, value] : wanted_controls_) ApplyControl(name, value);
  if (!OpenStream()) {
    Disconnect();
    lost_ = true;
    return false;
  }
  store_.SetStreaming(true);
  return true;
}

class AravisBackend final : public VideoBackend {
 public:
  explicit AravisBackend(const AravisOptions& options) {
    if (options.fake_interface) arv_enable_interface("Fake");
  }

  // Start-up lists the devices and opens one at once: a listing of the last
  // moments is taken again rather than searching the network a second time.
  std::vector<std::string> DeviceNames() override {
    const auto now = std::chrono::steady_clock::now();
    if (listed_ && now - listed_at_ < kListingKept) return ids_;
    listed_at_ = now;
    arv_update_device_list();
    ids_.clear();
    const unsigned n = arv_get_n_devices();
    for (unsigned i = 0; i < n; ++i) {
      if (const char* id = arv_get_device_id(i); id != nullptr && *id != '\0') ids_.emplace_back(id);
    }
    listed_ = true;
    return ids_;
  }

  std::unique_ptr<VideoDevice> Open(int32_t index, OpenError* error) override {
    problem_.clear();
    if (!listed_) DeviceNames();
    if (index < 0 || static_cast<size_t>(index) >= ids_.size()) {
      *error = OpenError::NoDevice;
      return nullptr;
    }
    Error e;
    ArvCamera* camera = arv_camera_new(ids_[index].c_str(), e.out());
    if (camera == nullptr) {
      problem_ = "The camera " + ids_[index] + " is visible but cannot be opened" +
                 (e.text().empty() ? std::string() : ": " + e.text()) +
                 ". A USB3 Vision camera needs the access the package's udev rule gives.";
      *error = OpenError::Failed;
      return nullptr;
    }
    *error = OpenError::None;
    return std::make_unique<AravisDevice>(ids_[index], camera);
  }

  std::string OpenProblem() override { return problem_; }

 private:
  std::vector<std::string> ids_;
  bool listed_ = false;
  std::chrono::steady_clock::time_point listed_at_;
  std::string problem_;
};

} // namespace

std::unique_ptr<VideoBackend> MakeAravisBackend(AravisOptions options) {
  return std::make_unique<AravisBackend>(options);
}

} // namespace orvane::video
