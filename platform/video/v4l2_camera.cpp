#include "platform/video/v4l2_camera.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/video/picture_store.h"
#include "platform/video/size_range.h"

namespace orvane::video {
namespace {

constexpr uint32_t kBufferCount = 4;
constexpr int kPollTimeoutMs = 100; // how often the capture thread looks at Stop
constexpr auto kFirstPictureWait = std::chrono::milliseconds(2000);

// Bit count a pixel format stands for in the format list; 0 when unknown.
uint32_t BitsOf(uint32_t pixelformat) {
  switch (pixelformat) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
    case V4L2_PIX_FMT_YVYU:
    case V4L2_PIX_FMT_RGB565:
      return 16;
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
      return 24;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_NV21:
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_YVU420:
      return 12;
    case V4L2_PIX_FMT_GREY:
      return 8;
    default:
      return 0;
  }
}

uint32_t CompressionOf(uint32_t pixelformat) {
  if (pixelformat == V4L2_PIX_FMT_YUYV) return kCompressionYuy2;
  if (pixelformat == V4L2_PIX_FMT_BGR24 || pixelformat == V4L2_PIX_FMT_RGB24) return kCompressionRgb;
  return pixelformat;
}

bool Convertible(uint32_t pixelformat) {
  return pixelformat == V4L2_PIX_FMT_YUYV || pixelformat == V4L2_PIX_FMT_BGR24 ||
         pixelformat == V4L2_PIX_FMT_RGB24;
}

struct Offered {
  VideoFormat format;
  uint32_t pixelformat;
};

struct Mapping {
  void* start = nullptr;
  size_t length = 0;
};

class V4l2Device final : public VideoDevice {
 public:
  V4l2Device(const SystemCallTable& calls, int fd) : calls_(calls), fd_(fd) {
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(VIDIOC_G_FMT, &f) == 0) TakeFormat(f);
  }
  ~V4l2Device() override {
    Stop();
    calls_.close(fd_);
  }

  bool Formats(std::vector<VideoFormat>* out) override {
    std::vector<Offered> offered;
    bool any = false;
    for (uint32_t i = 0; i < 256; ++i) {
      v4l2_fmtdesc d{};
      d.index = i;
      d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      if (Ioctl(VIDIOC_ENUM_FMT, &d) != 0) break;
      any = true;
      AddSizes(d.pixelformat, &offered);
    }
    if (!any) return false;
    offered_ = offered;
    out->clear();
    for (const Offered& o : offered_) out->push_back(o.format);
    return true;
  }

  bool SetFormat(const VideoFormat& format) override {
    const auto it = std::find_if(offered_.begin(), offered_.end(),
                                 [&](const Offered& o) { return o.format == format; });
    if (it == offered_.end()) return false;
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = format.width;
    f.fmt.pix.height = format.height;
    f.fmt.pix.pixelformat = it->pixelformat;
    f.fmt.pix.field = V4L2_FIELD_ANY;
    if (Ioctl(VIDIOC_S_FMT, &f) != 0) return false;
    // The driver answers with what it set, which need not be what was asked.
    TakeFormat(f);
    return true;
  }

  uint32_t CurrentWidth() const override { return width_; }
  uint32_t CurrentHeight() const override { return height_; }

  int32_t Start() override {
    Stop();
    if (!Convertible(pixelformat_) || width_ == 0 || height_ == 0) return -EINVAL;
    v4l2_requestbuffers req{};
    req.count = kBufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (Ioctl(VIDIOC_REQBUFS, &req) != 0) return Fail();
    if (req.count == 0) return Fail(ENOMEM);
    for (uint32_t i = 0; i < req.count; ++i) {
      v4l2_buffer b{};
      b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      b.memory = V4L2_MEMORY_MMAP;
      b.index = i;
      if (Ioctl(VIDIOC_QUERYBUF, &b) != 0) return Fail();
      void* p = calls_.mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, b.m.offset);
      if (p == MAP_FAILED) return Fail();
      maps_.push_back({p, b.length});
      if (Ioctl(VIDIOC_QBUF, &b) != 0) return Fail();
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(VIDIOC_STREAMON, &type) != 0) return Fail();
    streaming_ = true;
    store_.Clear();
    store_.SetStreaming(true);
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return 0;
  }

  void Stop() override {
    running_ = false;
    if (thread_.joinable()) thread_.join();
    store_.SetStreaming(false);
    if (streaming_) {
      int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      Ioctl(VIDIOC_STREAMOFF, &type);
      streaming_ = false;
    }
    ReleaseBuffers();
  }

  bool LatestPicture(Picture* out) override { return store_.Latest(out); }
  bool UseLatestPicture(const std::function<void(const Picture&)>& use) override {
    return store_.UseLatest(use);
  }
  bool Snapshot(std::vector<uint8_t>* out) override {
    return !Vanished() && store_.Snapshot(out, kFirstPictureWait);
  }
  bool SnapshotPicture(const std::function<void(const Picture&)>& use) override {
    return !Vanished() && store_.UseNewest(use, kFirstPictureWait);
  }
  void SetPictureListener(std::function<void()> listener) override {
    store_.SetListener(std::move(listener));
  }

 private:
  // Asks the driver once before a snapshot: an unplugged camera fails the
  // snapshot at once, even before the capture thread has noticed.
  bool Vanished() {
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (streaming_ && Ioctl(VIDIOC_G_FMT, &f) != 0 && (errno == ENODEV || errno == EIO)) {
      store_.MarkLost();
      return true;
    }
    return false;
  }

  int Ioctl(unsigned long request, void* arg) {
    int r;
    do {
      r = calls_.ioctl(fd_, request, arg);
    } while (r == -1 && errno == EINTR);
    return r;
  }

  int32_t Fail(int error = 0) {
    const int e = error ? error : (errno ? errno : EIO);
    ReleaseBuffers();
    return -e;
  }

  void ReleaseBuffers() {
    for (const Mapping& m : maps_) calls_.munmap(m.start, m.length);
    if (!maps_.empty()) {
      v4l2_requestbuffers req{};
      req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      req.memory = V4L2_MEMORY_MMAP;
      Ioctl(VIDIOC_REQBUFS, &req);
    }
    maps_.clear();
  }

  void TakeFormat(const v4l2_format& f) {
    width_ = f.fmt.pix.width;
    height_ = f.fmt.pix.height;
    pixelformat_ = f.fmt.pix.pixelformat;
    const uint32_t min_line = width_ * (pixelformat_ == V4L2_PIX_FMT_YUYV ? 2 : 3);
    bytes_per_line_ = std::max(f.fmt.pix.bytesperline, min_line);
    if (width_ > kMaxSide || height_ > kMaxSide) width_ = height_ = 0;
  }

  void AddSize(uint32_t pixelformat, uint32_t w, uint32_t h, std::vector<Offered>* out) {
    const uint32_t bits = BitsOf(pixelformat);
    out->push_back({VideoFormat{w, h, bits, CompressionOf(pixelformat), w * h * bits / 8}, pixelformat});
  }

  void AddSizes(uint32_t pixelformat, std::vector<Offered>* out) {
    for (uint32_t i = 0; i < 1024; ++i) {
      v4l2_frmsizeenum s{};
      s.index = i;
      s.pixel_format = pixelformat;
      if (Ioctl(VIDIOC_ENUM_FRAMESIZES, &s) != 0) {
        if (i == 0 && pixelformat == pixelformat_ && width_ > 0) AddSize(pixelformat, width_, height_, out);
        return;
      }
      if (s.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
        if (s.discrete.width > 0 && s.discrete.width <= kMaxSide && s.discrete.height > 0 &&
            s.discrete.height <= kMaxSide) {
          AddSize(pixelformat, s.discrete.width, s.discrete.height, out);
        }
        continue;
      }
      // Stepwise and continuous ranges come as one entry: offer the common
      // sizes that fit the range and its steps, and its largest size.
      const v4l2_frmsize_stepwise& r = s.stepwise;
      const SizeRange range{r.min_width, r.max_width, r.step_width, r.min_height, r.max_height, r.step_height};
      for (const Size& size : SizesOfRange(range)) AddSize(pixelformat, size.width, size.height, out);
      return;
    }
  }

  void Requeue(v4l2_buffer& b) { Ioctl(VIDIOC_QBUF, &b); }

  // Converts buffer `b` into the back picture; false when it is short.
  bool Convert(const v4l2_buffer& b) {
    if (b.index >= maps_.size()) return false;
    const Mapping& m = maps_[b.index];
    const size_t used = b.bytesused ? std::min<size_t>(b.bytesused, m.length) : m.length;
    const size_t line = bytes_per_line_;
    const size_t row_bytes = size_t{width_} * (pixelformat_ == V4L2_PIX_FMT_YUYV ? 2 : 3);
    if (height_ == 0 || used < line * (height_ - 1) + row_bytes) return false;
    Picture& p = store_.Back(width_, height_);
    const uint8_t* src = static_cast<const uint8_t*>(m.start);
    for (uint32_t y = 0; y < height_; ++y) {
      uint8_t* dst = p.bgrx.data() + size_t{width_} * 4 * y;
      const uint8_t* row = src + line * y;
      if (pixelformat_ == V4L2_PIX_FMT_YUYV) {
        YuyvToBgrx(row, dst, width_);
        if (width_ % 2) std::memset(dst + size_t{width_ - 1} * 4, 0, 4);
      } else if (pixelformat_ == V4L2_PIX_FMT_BGR24) {
        Bgr24ToBgrx(row, dst, width_);
      } else {
        Rgb24ToBgrx(row, dst, width_);
      }
    }
    return true;
  }

  void Run() {
    while (running_) {
      pollfd p{};
      p.fd = fd_;
      p.events = POLLIN;
      const int ready = calls_.poll(&p, 1, kPollTimeoutMs);
      if (ready < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (ready == 0) continue;
      // Take every buffer that is ready and keep only the newest good one, so
      // that a picture never waits in the queue behind a newer one. No more
      // buffers than were mapped can be ready at once: a driver that hands
      // every buffer back the moment it is queued must not hold the thread
      // here past Stop.
      v4l2_buffer newest{};
      bool have = false;
      bool lost = false;
      for (size_t taken = 0; taken < maps_.size(); ++taken) {
        v4l2_buffer b{};
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        if (Ioctl(VIDIOC_DQBUF, &b) != 0) {
          if (errno != EAGAIN) lost = true;
          break;
        }
        if (b.flags & V4L2_BUF_FLAG_ERROR) {
          Requeue(b);
          continue;
        }
        if (have) Requeue(newest);
        newest = b;
        have = true;
      }
      if (have) {
        if (Convert(newest)) store_.Publish();
        Requeue(newest);
      }
      if (lost || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) {
        if (lost || !have) break;
      }
    }
    if (running_) store_.MarkLost();
  }

  SystemCallTable calls_; // a copy: the device may outlive its backend
  int fd_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  uint32_t pixelformat_ = 0;
  uint32_t bytes_per_line_ = 0;
  std::vector<Offered> offered_;
  std::vector<Mapping> maps_;
  bool streaming_ = false;
  PictureStore store_;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

class V4l2Backend final : public VideoBackend {
 public:
  explicit V4l2Backend(SystemCallTable calls) : calls_(std::move(calls)) {}

  std::vector<std::string> DeviceNames() override {
    nodes_.clear();
    std::vector<std::string> names;
    for (const std::string& node : calls_.list_nodes()) {
      const int fd = calls_.open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
      if (fd < 0) continue;
      std::string name;
      if (CanCapture(fd, &name)) {
        nodes_.push_back(node);
        names.push_back(name);
      }
      calls_.close(fd);
    }
    return names;
  }

  std::unique_ptr<VideoDevice> Open(int32_t index, OpenError* error) override {
    if (nodes_.empty()) DeviceNames();
    if (index < 0 || static_cast<size_t>(index) >= nodes_.size()) {
      *error = OpenError::NoDevice;
      return nullptr;
    }
    const int fd = calls_.open(nodes_[index].c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      *error = errno == EBUSY ? OpenError::Busy : errno == ENOENT || errno == ENODEV ? OpenError::NoDevice
                                                                                      : OpenError::Failed;
      return nullptr;
    }
    std::string name;
    if (!CanCapture(fd, &name)) {
      calls_.close(fd);
      *error = OpenError::NoDevice;
      return nullptr;
    }
    // Another program that streams from the device owns its buffer queue:
    // asking for no buffers tells without disturbing it.
    v4l2_requestbuffers req{};
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (calls_.ioctl(fd, VIDIOC_REQBUFS, &req) != 0 && errno == EBUSY) {
      calls_.close(fd);
      *error = OpenError::Busy;
      return nullptr;
    }
    *error = OpenError::None;
    return std::make_unique<V4l2Device>(calls_, fd);
  }

 private:
  bool CanCapture(int fd, std::string* name) {
    v4l2_capability cap{};
    if (calls_.ioctl(fd, VIDIOC_QUERYCAP, &cap) != 0) return false;
    const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) return false;
    const char* card = reinterpret_cast<const char*>(cap.card);
    *name = std::string(card, strnlen(card, sizeof cap.card));
    return true;
  }

  SystemCallTable calls_;
  std::vector<std::string> nodes_;
};

} // namespace

SystemCallTable SystemCalls() {
  SystemCallTable t;
  t.list_nodes = [] {
    std::vector<std::pair<int, std::string>> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("video", 0) != 0 || name.size() == 5) continue;
      const std::string digits = name.substr(5);
      if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
      if (digits.size() > 6) continue;
      found.emplace_back(std::stoi(digits), entry.path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> nodes;
    for (auto& f : found) nodes.push_back(std::move(f.second));
    return nodes;
  };
  t.open = [](const char* path, int flags) { return ::open(path, flags); };
  t.close = [](int fd) { return ::close(fd); };
  t.ioctl = [](int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); };
  t.mmap = [](void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    return ::mmap(addr, length, prot, flags, fd, offset);
  };
  t.munmap = [](void* addr, size_t length) { return ::munmap(addr, length); };
  t.poll = [](pollfd* fds, unsigned long n, int timeout_ms) { return ::poll(fds, n, timeout_ms); };
  return t;
}

std::unique_ptr<VideoBackend> MakeV4l2Backend(SystemCallTable calls) {
  return std::make_unique<V4l2Backend>(std::move(calls));
}

} // namespace orvane::video
