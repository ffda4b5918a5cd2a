// A V4L2 capture device played through the video layer's system-call table,
// every answer taken from the input: capabilities, the current format, the
// format list, frame sizes (discrete and stepwise), the granted format with
// bytesperline and sizeimage smaller or larger than the image needs, buffer
// counts and lengths, frames with any index, any bytesused and the error
// flag, polls that fail, devices that vanish. The backend lists, opens,
// takes a format, streams and hands over its newest picture. Nothing is read
// or written outside a buffer (AddressSanitizer), and a picture is only ever
// published from a frame that holds its whole announced format.
//
// First byte: the format picked (low bits); with bit 0x80 set the device is
// the camera of a station instead, which starts it, takes snapshots into its
// frame, reads the live picture and changes the resolution.
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "acquisition/camera_capture.h"
#include "fuzz/check.h"
#include "platform/video/v4l2_camera.h"
#include "station/station.h"
#include "ui/commands.h"

namespace {

using namespace orvane::video;

constexpr size_t kMaxMapping = 8u << 20; // larger buffers are refused, as memory runs out
constexpr uint32_t kPixelFormats[] = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_BGR24, V4L2_PIX_FMT_RGB24,
                                      V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_NV12, V4L2_PIX_FMT_GREY};

uint32_t BytesPerPixel(uint32_t pixelformat) { return pixelformat == V4L2_PIX_FMT_YUYV ? 2 : 3; }

// The device: answers from the input bytes, under one lock, for the caller's
// thread and the capture thread alike. When the input runs out every call
// fails as an unplugged device's would.
class FuzzDevice {
 public:
  FuzzDevice(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  SystemCallTable Table() {
    SystemCallTable t;
    t.list_nodes = [] { return std::vector<std::string>{"/dev/video0"}; };
    t.open = [this](const char*, int) {
      std::lock_guard lock(m_);
      if (Byte() == 0xFF) return Fail(EBUSY);
      return 3;
    };
    t.close = [](int) { return 0; };
    t.ioctl = [this](int, unsigned long request, void* arg) {
      std::lock_guard lock(m_);
      return Ioctl(request, arg);
    };
    t.mmap = [this](void*, size_t length, int, int, int, off_t offset) -> void* {
      std::lock_guard lock(m_);
      if (length == 0 || length > kMaxMapping || Byte() == 0xFF) {
        errno = ENOMEM;
        return MAP_FAILED;
      }
      auto buffer = std::make_unique<std::vector<uint8_t>>(length, Byte());
      void* p = buffer->data();
      maps_[p] = {std::move(buffer), static_cast<uint32_t>(offset / 4096)};
      return p;
    };
    t.munmap = [this](void* addr, size_t length) {
      std::lock_guard lock(m_);
      auto it = maps_.find(addr);
      CHECK(it != maps_.end() && it->second.bytes->size() == length);
      maps_.erase(it);
      return 0;
    };
    t.poll = [this](pollfd* p, unsigned long, int) {
      {
        std::lock_guard lock(m_);
        if (!Exhausted()) {
          const uint8_t b = Byte();
          p->revents = b < 0x10 ? 0 : b < 0x18 ? POLLERR : b < 0x1C ? POLLHUP : POLLIN;
          if (p->revents != 0) return 1;
          if (b == 0) return Fail(EINTR);
        }
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      return 0;
    };
    return t;
  }

  bool Exhausted() const { return at_ >= size_; }
  bool ExhaustedLocked() {
    std::lock_guard lock(m_);
    return Exhausted();
  }
  // Whether a frame that holds its whole announced format was ever dequeued.
  bool DeliveredAFittingFrame() {
    std::lock_guard lock(m_);
    return fitting_frames_ > 0;
  }
  uint32_t AnnouncedWidth() {
    std::lock_guard lock(m_);
    return format_.width;
  }
  uint32_t AnnouncedHeight() {
    std::lock_guard lock(m_);
    return format_.height;
  }

 private:
  struct Mapped {
    std::unique_ptr<std::vector<uint8_t>> bytes;
    uint32_t index;
  };

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{Byte()} << (8 * i);
    return v;
  }
  // A size: mostly small and plausible, sometimes anything.
  uint32_t Side() {
    const uint8_t kind = Byte();
    if (kind < 0xC0) return kind % 64 + 1;
    if (kind < 0xF0) return uint32_t{Byte()} * 8;
    return U32();
  }
  uint32_t PixelFormat() {
    const uint8_t b = Byte();
    return b < 0xF0 ? kPixelFormats[b % std::size(kPixelFormats)] : U32();
  }
  int Fail(int e) {
    errno = e;
    return -1;
  }

  // bytesperline or sizeimage as a driver might state it: exact, smaller,
  // larger, zero or anything.
  uint32_t Stated(uint32_t exact) {
    switch (Byte() % 5) {
      case 0: return exact;
      case 1: return exact > 0 ? exact - 1 - Byte() % exact : 0;
      case 2: return exact + Byte() + 1;
      case 3: return 0;
      default: return U32();
    }
  }

  void Describe(v4l2_format* f) {
    v4l2_pix_format& p = f->fmt.pix;
    p.width = format_.width;
    p.height = format_.height;
    p.pixelformat = format_.pixelformat;
    p.bytesperline = format_.bytesperline;
    p.sizeimage = format_.sizeimage;
  }

  void Announce(uint32_t width, uint32_t height, uint32_t pixelformat) {
    format_.width = width;
    format_.height = height;
    format_.pixelformat = pixelformat;
    const uint64_t row = uint64_t{width} * BytesPerPixel(pixelformat);
    format_.bytesperline = Stated(static_cast<uint32_t>(std::min<uint64_t>(row, UINT32_MAX)));
    format_.sizeimage = Stated(static_cast<uint32_t>(std::min<uint64_t>(row * height, UINT32_MAX)));
  }

  // Whether `bytes` valid bytes hold the announced picture, rows
  // bytesperline apart (never closer than a row of pixels).
  bool Fits(uint64_t bytes) const {
    const uint64_t row = uint64_t{format_.width} * BytesPerPixel(format_.pixelformat);
    const uint64_t line = std::max<uint64_t>(format_.bytesperline, row);
    return format_.height > 0 && bytes >= line * (format_.height - 1) + row;
  }

  int Ioctl(unsigned long request, void* arg) {
    if (Exhausted()) return Fail(ENODEV);
    switch (request) {
      case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        const uint8_t kind = Byte();
        if (kind == 0xFF) return Fail(EINVAL);
        std::memset(cap->card, 'c', sizeof cap->card); // no terminating zero
        cap->capabilities = kind < 0xF0 ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING : U32();
        cap->device_caps = kind < 0xE0 ? cap->capabilities : U32();
        if (kind >= 0xE0) cap->capabilities |= V4L2_CAP_DEVICE_CAPS;
        return 0;
      }
      case VIDIOC_G_FMT:
        if (Byte() == 0xFF) return Fail(Byte() & 1 ? EIO : EINVAL);
        if (format_.width == 0) Announce(Side(), Side(), PixelFormat());
        Describe(static_cast<v4l2_format*>(arg));
        return 0;
      case VIDIOC_S_FMT: {
        auto* f = static_cast<v4l2_format*>(arg);
        const uint8_t kind = Byte();
        if (kind == 0xFF) return Fail(EBUSY);
        if (kind < 0x80) {
          Announce(f->fmt.pix.width, f->fmt.pix.height, f->fmt.pix.pixelformat);
        } else {
          Announce(Side(), Side(), kind < 0xC0 ? f->fmt.pix.pixelformat : PixelFormat());
        }
        Describe(f);
        return 0;
      }
      case VIDIOC_ENUM_FMT: {
        auto* d = static_cast<v4l2_fmtdesc*>(arg);
        if (Byte() >= 0xC0) return Fail(EINVAL);
        d->pixelformat = PixelFormat();
        return 0;
      }
      case VIDIOC_ENUM_FRAMESIZES: {
        auto* s = static_cast<v4l2_frmsizeenum*>(arg);
        const uint8_t kind = Byte();
        if (kind >= 0xC0) return Fail(EINVAL);
        if (kind < 0x90) {
          s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
          s->discrete.width = Side();
          s->discrete.height = Side();
        } else {
          s->type = kind < 0xA8 ? V4L2_FRMSIZE_TYPE_STEPWISE : V4L2_FRMSIZE_TYPE_CONTINUOUS;
          s->stepwise.min_width = Side();
          s->stepwise.max_width = Side() * 64;
          s->stepwise.step_width = Byte();
          s->stepwise.min_height = Side();
          s->stepwise.max_height = Side() * 64;
          s->stepwise.step_height = Byte();
        }
        return 0;
      }
      case VIDIOC_REQBUFS: {
        auto* r = static_cast<v4l2_requestbuffers*>(arg);
        const uint8_t kind = Byte();
        if (kind == 0xFF) return Fail(EBUSY);
        if (r->count != 0) r->count = kind % 7;
        buffers_ = r->count;
        return 0;
      }
      case VIDIOC_QUERYBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (Byte() == 0xFF) return Fail(EINVAL);
        b->length = Stated(format_.sizeimage);
        b->m.offset = b->index * 4096;
        return 0;
      }
      case VIDIOC_QBUF:
        return Byte() == 0xFF ? Fail(EINVAL) : 0;
      case VIDIOC_DQBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        const uint8_t kind = Byte();
        if (kind < 0x20) return Fail(EAGAIN);
        if (kind < 0x24) return Fail(ENODEV);
        b->index = Byte() % (buffers_ + 2); // now and then a buffer that is not there
        b->flags = kind < 0x40 ? V4L2_BUF_FLAG_ERROR : 0;
        const uint8_t used = Byte();
        const size_t length = LengthOf(b->index);
        b->bytesused = used < 0x40 ? 0 : used < 0x80 ? static_cast<uint32_t>(length) : Stated(static_cast<uint32_t>(length));
        b->length = static_cast<uint32_t>(length);
        const uint64_t valid = b->bytesused ? std::min<uint64_t>(b->bytesused, length) : length;
        if (!(b->flags & V4L2_BUF_FLAG_ERROR) && b->index < buffers_ && length > 0 && Fits(valid)) {
          ++fitting_frames_;
        }
        return 0;
      }
      case VIDIOC_STREAMON:
      case VIDIOC_STREAMOFF:
        return Byte() == 0xFF ? Fail(EIO) : 0;
      default:
        return Fail(ENOTTY);
    }
  }

  size_t LengthOf(uint32_t index) const {
    for (const auto& [p, m] : maps_) {
      if (m.index == index) return m.bytes->size();
    }
    return 0;
  }

  std::mutex m_;
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  struct {
    uint32_t width = 0, height = 0, pixelformat = 0, bytesperline = 0, sizeimage = 0;
  } format_;
  uint32_t buffers_ = 0;
  uint32_t fitting_frames_ = 0;
  std::map<void*, Mapped> maps_;
};


// Lets the capture thread play the rest of the input; the device then
// answers as an unplugged one.
void LetTheDevicePlay(FuzzDevice& device) {
  for (int i = 0; i < 400 && !device.ExhaustedLocked(); ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(250));
  }
}

// The device as the station's camera: start-up, snapshots into the frame,
// the live picture, a resolution change, the end.
void RunStation(FuzzDevice& device, uint8_t knobs) {
  // A folder that does not exist: whatever the station tries to write fails.
  orvane::Station st("/nonexistent/orvane-fuzz");
  st.image.width = 16u << (knobs & 3);
  st.image.height = 12u << ((knobs >> 2) & 3);
  orvane::UseVideoBackend(st, MakeV4l2Backend(device.Table()));
  if (orvane::StartCamera(st, 0)) {
    LetTheDevicePlay(device);
    const orvane::ImageState& im = st.image;
    orvane::LivePicture live;
    // A snapshot waits up to two seconds for a first picture: only taken
    // once there is one.
    if (orvane::LatestPicture(st, &live)) {
      CHECK(live.bgrx.size() == size_t{live.width} * live.height * 4);
      // The live area's picture without a copy: every byte it is told of is
      // there to read.
      orvane::LivePicture held;
      orvane::ShowLatestPicture(st, &held, [](const uint8_t* bgrx, uint32_t width, uint32_t height) {
        CHECK(width > 0 && height > 0);
        volatile uint8_t last = bgrx[size_t{width} * height * 4 - 1];
        (void)last;
      });
      if (orvane::TakeSnapshot(st) != 0 && im.file_mode == 0) {
        CHECK(im.frame != nullptr && st.camera_buffers.frame.size() >= size_t{im.stride} * im.height);
      }
    }
    orvane::ChangeCameraResolution(st, knobs >> 4);
  }
  orvane::CloseCamera(st);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzDevice device(data + 1, size - 1);
  if (data[0] & 0x80) {
    RunStation(device, data[0]);
    return 0;
  }
  std::unique_ptr<VideoBackend> backend = MakeV4l2Backend(device.Table());
  backend->DeviceNames();
  OpenError error = OpenError::None;
  std::unique_ptr<VideoDevice> camera = backend->Open(0, &error);
  if (!camera) return 0;
  std::vector<VideoFormat> formats;
  if (camera->Formats(&formats) && !formats.empty()) {
    camera->SetFormat(formats[data[0] % formats.size()]);
  }
  if (camera->Start() == 0) {
    LetTheDevicePlay(device);
    Picture picture;
    if (camera->LatestPicture(&picture)) {
      CHECK(device.DeliveredAFittingFrame());
      CHECK(picture.width == camera->CurrentWidth() && picture.height == camera->CurrentHeight());
      CHECK(picture.bgrx.size() == size_t{picture.width} * picture.height * 4);
      std::vector<uint8_t> snapshot;
      if (camera->Snapshot(&snapshot)) CHECK(snapshot.size() == kBitmapHeaderSize + picture.bgrx.size());
    }
    camera->Stop();
  }
  return 0;
}
