// The V4L2 backend against a device played through its system-call table:
// listing, formats and frame sizes, a driver that grants another size,
// streaming the newest picture, frames flagged as errors, a device that
// vanishes or is busy, and the pixel conversions against colour bars.
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "acquisition/camera_capture.h"
#include "platform/video/picture_store.h"
#include "platform/video/v4l2_camera.h"

namespace orvane::video {
namespace {

using namespace std::chrono_literals;

struct FakeFormat {
  uint32_t pixelformat;
  std::vector<std::array<uint32_t, 2>> sizes; // discrete
  bool stepwise = false;
  v4l2_frmsize_stepwise range{};
};

struct FakeNode {
  std::string path;
  std::string card;
  uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
};

// One scripted capture device behind the system-call table.
class FakeV4l2 {
 public:
  std::vector<FakeNode> nodes = {{"/dev/video0", "Bench camera"}};
  std::vector<FakeFormat> formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}, {320, 240}}}};
  uint32_t grant_width = 0, grant_height = 0; // S_FMT sets this size instead, when not 0
  uint32_t line_padding = 0;                  // bytes after each row
  bool busy = false;
  std::atomic<bool> fail_on_queue{false}; // every queued buffer comes back at once, flagged as an error

  SystemCallTable Table() {
    SystemCallTable t;
    t.list_nodes = [this] {
      std::vector<std::string> paths;
      for (const auto& n : nodes) paths.push_back(n.path);
      return paths;
    };
    t.open = [this](const char* path, int) {
      std::lock_guard lock(m_);
      for (size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].path == path) {
          ++open_files;
          return int(10 + i);
        }
      }
      errno = ENOENT;
      return -1;
    };
    t.close = [this](int) {
      std::lock_guard lock(m_);
      --open_files;
      return 0;
    };
    t.ioctl = [this](int fd, unsigned long request, void* arg) { return Ioctl(fd, request, arg); };
    t.mmap = [this](void*, size_t length, int, int, int, off_t offset) -> void* {
      std::lock_guard lock(m_);
      const size_t i = size_t(offset) / 4096;
      if (i >= buffers_.size() || length != buffers_[i].size()) return MAP_FAILED;
      ++mapped;
      return buffers_[i].data();
    };
    t.munmap = [this](void*, size_t) {
      std::lock_guard lock(m_);
      --mapped;
      return 0;
    };
    t.poll = [this](pollfd* p, unsigned long, int timeout) {
      {
        std::lock_guard lock(m_);
        p->revents = 0;
        if (vanished_) p->revents = POLLERR;
        else if (!done_.empty()) p->revents = POLLIN;
        if (p->revents) return 1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeout, 2)));
      return 0;
    };
    return t;
  }

  // Fills queued buffers with these pictures, all ready at once.
  void Deliver(const std::vector<std::vector<uint8_t>>& pictures, uint32_t flags = 0) {
    std::lock_guard lock(m_);
    for (const auto& picture : pictures) {
      ASSERT_FALSE(queued_.empty());
      const uint32_t i = queued_.front();
      queued_.pop_front();
      std::vector<uint8_t>& b = buffers_[i];
      std::fill(b.begin(), b.end(), 0);
      const size_t row = picture.size() / height_;
      for (uint32_t y = 0; y < height_; ++y) {
        std::memcpy(b.data() + y * line_, picture.data() + y * row, row);
      }
      done_.push_back({i, flags});
    }
  }
  void Vanish() {
    std::lock_guard lock(m_);
    vanished_ = true;
  }
  size_t Queued() {
    std::lock_guard lock(m_);
    return queued_.size();
  }
  uint32_t Width() { return width_; }
  uint32_t Height() { return height_; }

  int open_files = 0;
  int mapped = 0;

 private:
  int Fail(int e) {
    errno = e;
    return -1;
  }

  void Describe(v4l2_format* f) {
    f->fmt.pix.width = width_;
    f->fmt.pix.height = height_;
    f->fmt.pix.pixelformat = pixelformat_;
    f->fmt.pix.bytesperline = line_;
    f->fmt.pix.sizeimage = line_ * height_;
  }

  int Ioctl(int fd, unsigned long request, void* arg) {
    std::lock_guard lock(m_);
    if (vanished_ && request != VIDIOC_STREAMOFF && request != VIDIOC_REQBUFS) return Fail(ENODEV);
    switch (request) {
      case VIDIOC_QUERYCAP: {
        auto* c = static_cast<v4l2_capability*>(arg);
        const FakeNode& n = nodes[size_t(fd - 10)];
        std::snprintf(reinterpret_cast<char*>(c->card), sizeof c->card, "%s", n.card.c_str());
        c->capabilities = n.caps | V4L2_CAP_DEVICE_CAPS;
        c->device_caps = n.caps;
        return 0;
      }
      case VIDIOC_ENUM_FMT: {
        auto* d = static_cast<v4l2_fmtdesc*>(arg);
        if (d->index >= formats.size()) return Fail(EINVAL);
        d->pixelformat = formats[d->index].pixelformat;
        return 0;
      }
      case VIDIOC_ENUM_FRAMESIZES: {
        auto* s = static_cast<v4l2_frmsizeenum*>(arg);
        for (const FakeFormat& f : formats) {
          if (f.pixelformat != s->pixel_format) continue;
          if (f.stepwise) {
            if (s->index > 0) return Fail(EINVAL);
            s->type = V4L2_FRMSIZE_TYPE_STEPWISE;
            s->stepwise = f.range;
            return 0;
          }
          if (s->index >= f.sizes.size()) return Fail(EINVAL);
          s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
          s->discrete.width = f.sizes[s->index][0];
          s->discrete.height = f.sizes[s->index][1];
          return 0;
        }
        return Fail(EINVAL);
      }
      case VIDIOC_G_FMT:
        Describe(static_cast<v4l2_format*>(arg));
        return 0;
      case VIDIOC_S_FMT: {
        auto* f = static_cast<v4l2_format*>(arg);
        if (busy) return Fail(EBUSY);
        width_ = grant_width ? grant_width : f->fmt.pix.width;
        height_ = grant_height ? grant_height : f->fmt.pix.height;
        pixelformat_ = f->fmt.pix.pixelformat;
        line_ = width_ * (pixelformat_ == V4L2_PIX_FMT_YUYV ? 2 : 3) + line_padding;
        Describe(f);
        return 0;
      }
      case VIDIOC_REQBUFS: {
        auto* r = static_cast<v4l2_requestbuffers*>(arg);
        if (busy) return Fail(EBUSY);
        buffers_.assign(r->count, std::vector<uint8_t>(size_t(line_) * height_));
        queued_.clear();
        done_.clear();
        return 0;
      }
      case VIDIOC_QUERYBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (b->index >= buffers_.size()) return Fail(EINVAL);
        b->length = uint32_t(buffers_[b->index].size());
        b->m.offset = b->index * 4096;
        return 0;
      }
      case VIDIOC_QBUF:
        if (fail_on_queue) {
          done_.push_back({static_cast<v4l2_buffer*>(arg)->index, V4L2_BUF_FLAG_ERROR});
        } else {
          queued_.push_back(static_cast<v4l2_buffer*>(arg)->index);
        }
        return 0;
      case VIDIOC_DQBUF: {
        if (done_.empty()) return Fail(EAGAIN);
        auto* b = static_cast<v4l2_buffer*>(arg);
        b->index = done_.front().first;
        b->flags = done_.front().second;
        b->bytesused = uint32_t(buffers_[b->index].size());
        done_.pop_front();
        return 0;
      }
      case VIDIOC_STREAMON:
      case VIDIOC_STREAMOFF:
        return 0;
      default:
        return Fail(ENOTTY);
    }
  }

  std::mutex m_;
  uint32_t width_ = 640, height_ = 480, pixelformat_ = V4L2_PIX_FMT_YUYV, line_ = 1280;
  std::vector<std::vector<uint8_t>> buffers_;
  std::deque<uint32_t> queued_;
  std::deque<std::pair<uint32_t, uint32_t>> done_;
  bool vanished_ = false;
};

constexpr uint32_t kYuy2 = 0x32595559;

// Colour bars at 100 %: Y, U, V of BT.601 limited range, and the R, G, B
// each stands for.
struct Bar {
  uint8_t y, u, v;
  uint8_t r, g, b;
};
constexpr Bar kBars[] = {{235, 128, 128, 255, 255, 255}, {210, 16, 146, 255, 255, 0},
                         {170, 166, 16, 0, 255, 255},    {145, 54, 34, 0, 255, 0},
                         {106, 202, 222, 255, 0, 255},   {81, 90, 240, 255, 0, 0},
                         {41, 240, 110, 0, 0, 255},      {16, 128, 128, 0, 0, 0}};

// Width w (a multiple of 16), height h: eight vertical bars, Y0 U Y1 V.
std::vector<uint8_t> YuyvBars(uint32_t w, uint32_t h) {
  std::vector<uint8_t> out;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; x += 2) {
      const Bar& bar = kBars[x * 8 / w];
      out.insert(out.end(), {bar.y, bar.u, bar.y, bar.v});
    }
  }
  return out;
}

// Bars as 24-bit pixels, in B, G, R or R, G, B byte order.
std::vector<uint8_t> Bars24(uint32_t w, uint32_t h, bool bgr) {
  std::vector<uint8_t> out;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const Bar& bar = kBars[(x * 8 / w + y) % 8]; // shifted per row: rows differ
      if (bgr) out.insert(out.end(), {bar.b, bar.g, bar.r});
      else out.insert(out.end(), {bar.r, bar.g, bar.b});
    }
  }
  return out;
}

void ExpectBars(const Picture& p, bool shifted, int tolerance) {
  ASSERT_EQ(p.bgrx.size(), size_t(p.width) * p.height * 4);
  for (uint32_t y = 0; y < p.height; ++y) {
    for (uint32_t x = 0; x < p.width; ++x) {
      const Bar& bar = kBars[(x * 8 / p.width + (shifted ? y : 0)) % 8];
      const uint8_t* px = &p.bgrx[(size_t(y) * p.width + x) * 4];
      ASSERT_NEAR(px[0], bar.b, tolerance) << x << "," << y;
      ASSERT_NEAR(px[1], bar.g, tolerance) << x << "," << y;
      ASSERT_NEAR(px[2], bar.r, tolerance) << x << "," << y;
    }
  }
}

bool WaitForPicture(VideoDevice& d, uint64_t sequence, Picture* p) {
  for (int i = 0; i < 500; ++i) {
    if (d.LatestPicture(p) && p->sequence >= sequence) return true;
    std::this_thread::sleep_for(2ms);
  }
  return false;
}

std::unique_ptr<VideoDevice> OpenFirst(VideoBackend& backend) {
  OpenError error = OpenError::Failed;
  auto device = backend.Open(0, &error);
  EXPECT_EQ(error, OpenError::None);
  return device;
}

TEST(V4l2Backend, ListsCaptureNodesAndTheirFormatsAndSizes) {
  FakeV4l2 fake;
  fake.nodes = {{"/dev/video0", "Left camera"},
                {"/dev/video1", "Left camera metadata", V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING},
                {"/dev/video2", "Right camera"}};
  v4l2_frmsize_stepwise range{16, 1920, 16, 16, 1080, 8};
  fake.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}, {320, 240}}},
                  {V4L2_PIX_FMT_MJPEG, {{1280, 720}}},
                  {V4L2_PIX_FMT_BGR24, {}, true, range}};
  auto backend = MakeV4l2Backend(fake.Table());
  EXPECT_EQ(backend->DeviceNames(), (std::vector<std::string>{"Left camera", "Right camera"}));
  EXPECT_EQ(fake.open_files, 0);
  {
    auto device = OpenFirst(*backend);
    ASSERT_TRUE(device);
    std::vector<VideoFormat> formats;
    ASSERT_TRUE(device->Formats(&formats));
    const uint32_t mjpg = FourCc('M', 'J', 'P', 'G');
    // The range offers the common sizes on its steps (1600 x 1200 exceeds
    // its height, 2592 and 3840 its width) and its largest.
    const std::vector<VideoFormat> expected = {
        {640, 480, 16, kYuy2, 614400},    {320, 240, 16, kYuy2, 153600},
        {1280, 720, 24, mjpg, 2764800},   {160, 120, 24, 0, 57600},
        {320, 240, 24, 0, 230400},        {640, 480, 24, 0, 921600},
        {800, 600, 24, 0, 1440000},       {1024, 768, 24, 0, 2359296},
        {1280, 720, 24, 0, 2764800},      {1280, 960, 24, 0, 3686400},
        {1280, 1024, 24, 0, 3932160},     {1920, 1080, 24, 0, 6220800}};
    EXPECT_EQ(formats, expected);
    // The second listed device is the third node.
    OpenError error;
    EXPECT_TRUE(backend->Open(1, &error));
    EXPECT_FALSE(backend->Open(2, &error));
    EXPECT_EQ(error, OpenError::NoDevice);
  }
  EXPECT_EQ(fake.open_files, 0);
}

TEST(V4l2Backend, BusyDeviceIsReportedAtOpen) {
  FakeV4l2 fake;
  fake.busy = true;
  auto backend = MakeV4l2Backend(fake.Table());
  OpenError error = OpenError::None;
  EXPECT_FALSE(backend->Open(0, &error));
  EXPECT_EQ(error, OpenError::Busy);
  EXPECT_EQ(fake.open_files, 0);
}

TEST(V4l2Backend, StreamsTheNewestPictureAndSkipsFramesFlaggedAsErrors) {
  FakeV4l2 fake;
  fake.line_padding = 64; // rows longer than their pixels
  auto backend = MakeV4l2Backend(fake.Table());
  auto device = OpenFirst(*backend);
  std::vector<VideoFormat> formats;
  ASSERT_TRUE(device->Formats(&formats));
  ASSERT_TRUE(device->SetFormat(formats[1])); // 320 x 240 YUYV
  ASSERT_EQ(device->Start(), 0);
  EXPECT_EQ(fake.Queued(), 4u);

  // Three pictures ready at once: only the last one is shown.
  std::vector<uint8_t> grey(320 * 240 * 2, 128), dark = grey;
  for (size_t i = 0; i < grey.size(); i += 2) dark[i] = 16;
  fake.Deliver({grey, dark, YuyvBars(320, 240)});
  Picture p;
  ASSERT_TRUE(WaitForPicture(*device, 1, &p));
  EXPECT_EQ(p.sequence, 1u);
  EXPECT_EQ(p.width, 320u);
  ExpectBars(p, false, 2);

  // A picture the driver flags as broken never replaces the good one.
  fake.Deliver({grey}, V4L2_BUF_FLAG_ERROR);
  for (int i = 0; i < 500 && fake.Queued() < 4; ++i) std::this_thread::sleep_for(2ms);
  EXPECT_EQ(fake.Queued(), 4u);
  ASSERT_TRUE(device->LatestPicture(&p));
  EXPECT_EQ(p.sequence, 1u);

  // The snapshot is the picture bottom-up behind a 32-bit header.
  std::vector<uint8_t> snap;
  ASSERT_TRUE(device->Snapshot(&snap));
  ASSERT_EQ(snap.size(), 40u + 320 * 240 * 4);
  EXPECT_EQ(snap[14], 32);
  EXPECT_EQ(0, std::memcmp(&snap[40], &p.bgrx[size_t(239) * 320 * 4], 320 * 4));
  device->Stop();
  EXPECT_EQ(fake.mapped, 0);
}

// The hand-over: a reader that already holds the newest picture gets no
// copy (its own bytes stay as they are); a new picture, or the same
// sequence number in a restarted stream, is copied. The listener runs once
// per picture and a snapshot reader sees the newest picture itself.
TEST(PictureStore, CopiesOnlyAPictureTheReaderDoesNotHold) {
  PictureStore store;
  int arrivals = 0;
  store.SetListener([&] { ++arrivals; });
  store.SetStreaming(true);
  auto publish = [&](uint8_t value) {
    Picture& back = store.Back(4, 2);
    std::fill(back.bgrx.begin(), back.bgrx.end(), value);
    store.Publish();
  };
  Picture reader;
  EXPECT_FALSE(store.Latest(&reader));
  publish(1);
  ASSERT_TRUE(store.Latest(&reader));
  EXPECT_EQ(reader.bgrx, std::vector<uint8_t>(32, 1));
  reader.bgrx[0] = 99; // marks the reader's copy: an unchanged picture keeps it
  ASSERT_TRUE(store.Latest(&reader));
  EXPECT_EQ(reader.bgrx[0], 99);
  publish(2);
  ASSERT_TRUE(store.Latest(&reader));
  EXPECT_EQ(reader.bgrx, std::vector<uint8_t>(32, 2));
  EXPECT_EQ(reader.sequence, 2u);

  const uint64_t old_stream = reader.stream;
  store.Clear();
  publish(3);
  publish(4);
  ASSERT_TRUE(store.Latest(&reader));
  EXPECT_EQ(reader.sequence, 2u);
  EXPECT_NE(reader.stream, old_stream);
  EXPECT_EQ(reader.bgrx, std::vector<uint8_t>(32, 4));
  EXPECT_EQ(arrivals, 4);

  uint8_t seen = 0;
  EXPECT_TRUE(store.UseNewest([&](const Picture& p) { seen = p.bgrx[0]; }, 0ms));
  EXPECT_EQ(seen, 4);
  store.MarkLost();
  EXPECT_FALSE(store.UseNewest([&](const Picture&) { seen = 0; }, 0ms));
  EXPECT_EQ(seen, 4);
}

// The live area's copy is made outside the lock: the capture thread,
// publishing as fast as it can, must never fill a buffer a reader is still
// copying. Every picture is one value throughout, so a torn copy shows.
// Both readers use the picture outside the lock: the live area's copy and
// the snapshot's use of the newest picture itself.
TEST(PictureStore, ReaderCopyingOutsideTheLockNeverSeesATornPicture) {
  for (const bool snapshot : {false, true}) {
    PictureStore store;
    store.SetStreaming(true);
    std::atomic<int> reads{0};
    std::atomic<bool> done{false};
    std::thread writer([&] {
      for (uint32_t i = 1; reads < 3000; ++i) {
        Picture& back = store.Back(64, 64);
        std::fill(back.bgrx.begin(), back.bgrx.end(), static_cast<uint8_t>(i));
        store.Publish();
      }
      done = true;
    });
    Picture reader;
    int torn = 0;
    const auto check = [&](const Picture& p) {
      const uint8_t value = static_cast<uint8_t>(p.sequence);
      torn += std::any_of(p.bgrx.begin(), p.bgrx.end(), [&](uint8_t b) { return b != value; });
    };
    while (!done) {
      if (snapshot ? !store.UseNewest(check, std::chrono::milliseconds(100)) : !store.Latest(&reader)) continue;
      if (!snapshot) check(reader);
      ++reads;
    }
    writer.join();
    EXPECT_EQ(torn, 0) << (snapshot ? "snapshot" : "copy");
  }
}

TEST(V4l2Backend, DriverFailingEveryBufferAtOnceStillStops) {
  FakeV4l2 fake;
  auto backend = MakeV4l2Backend(fake.Table());
  auto device = OpenFirst(*backend);
  std::vector<VideoFormat> formats;
  ASSERT_TRUE(device->Formats(&formats));
  ASSERT_TRUE(device->SetFormat(formats[0]));
  fake.fail_on_queue = true;
  ASSERT_EQ(device->Start(), 0);
  std::this_thread::sleep_for(20ms);
  auto stopped = std::async(std::launch::async, [&] { device->Stop(); });
  const bool in_time = stopped.wait_for(3s) == std::future_status::ready;
  fake.fail_on_queue = false; // lets a capture thread that never stopped go
  stopped.wait();
  EXPECT_TRUE(in_time);
  Picture p;
  EXPECT_FALSE(device->LatestPicture(&p));
  EXPECT_EQ(fake.mapped, 0);
}

TEST(V4l2Backend, ConvertsBgr24AndRgb24ByteOrders) {
  for (const uint32_t pixelformat : {V4L2_PIX_FMT_BGR24, V4L2_PIX_FMT_RGB24}) {
    FakeV4l2 fake;
    fake.formats = {{pixelformat, {{64, 16}}}};
    auto backend = MakeV4l2Backend(fake.Table());
    auto device = OpenFirst(*backend);
    std::vector<VideoFormat> formats;
    ASSERT_TRUE(device->Formats(&formats));
    ASSERT_TRUE(device->SetFormat(formats[0]));
    ASSERT_EQ(device->Start(), 0);
    fake.Deliver({Bars24(64, 16, pixelformat == V4L2_PIX_FMT_BGR24)});
    Picture p;
    ASSERT_TRUE(WaitForPicture(*device, 1, &p));
    ExpectBars(p, true, 0);
  }
}

TEST(V4l2Backend, YuyvConversionMatchesTheBars) {
  const std::vector<uint8_t> yuyv = YuyvBars(64, 2);
  Picture p{64, 2, 0, std::vector<uint8_t>(64 * 2 * 4)};
  YuyvToBgrx(yuyv.data(), p.bgrx.data(), 128);
  ExpectBars(p, false, 2);
  std::vector<uint8_t> bgr(64 * 2 * 3);
  YuyvToBgr(yuyv.data(), bgr.data(), 128);
  for (size_t i = 0; i < 128; ++i) ASSERT_EQ(0, std::memcmp(&bgr[i * 3], &p.bgrx[i * 4], 3)) << i;
}

// The fast paths give the bytes of the plain formula on every input, for
// lengths that end inside and past their blocks.
TEST(V4l2Backend, YuyvConversionEqualsThePlainFormulaOnRandomBytes) {
  std::vector<uint8_t> yuyv(2 * 203);
  uint32_t s = 7;
  for (auto& b : yuyv) {
    s = s * 1664525u + 1013904223u;
    b = uint8_t(s >> 24);
  }
  auto clamp = [](int v) { return uint8_t(std::clamp(v, 0, 255)); };
  for (size_t pixels : {size_t(0), size_t(7), size_t(8), size_t(16), size_t(23), size_t(202)}) {
    std::vector<uint8_t> bgr(pixels * 3 + 16, 0xAB), bgrx(pixels * 4 + 16, 0xAB);
    YuyvToBgr(yuyv.data(), bgr.data(), pixels);
    YuyvToBgrx(yuyv.data(), bgrx.data(), pixels);
    for (size_t i = 0; i < pixels / 2 * 2; ++i) {
      const uint8_t* p = &yuyv[(i / 2) * 4];
      const int c = 298 * ((i % 2 ? p[2] : p[0]) - 16), d = p[1] - 128, e = p[3] - 128;
      const uint8_t want[3] = {clamp((c + 516 * d + 128) >> 8), clamp((c - 100 * d - 208 * e + 128) >> 8),
                               clamp((c + 409 * e + 128) >> 8)};
      ASSERT_EQ(0, std::memcmp(&bgr[i * 3], want, 3)) << pixels << " " << i;
      ASSERT_EQ(0, std::memcmp(&bgrx[i * 4], want, 3)) << pixels << " " << i;
    }
    // Nothing is written past the last pixel pair.
    EXPECT_EQ(bgr[pixels / 2 * 6], 0xAB);
    EXPECT_EQ(bgrx[pixels / 2 * 8], 0xAB);
  }
}

// The station on a scripted device: the granted size becomes the image size,
// and a device that vanishes leaves the frame as it was, without hanging.
TEST(V4l2Station, GrantedSizeAndVanishingDevice) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("orvane-v4l2-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  {
    FakeV4l2 fake;
    fake.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}}}};
    fake.grant_width = 352;
    fake.grant_height = 288;
    Station st(folder);
    UseVideoBackend(st, MakeV4l2Backend(fake.Table()));
    ASSERT_TRUE(StartCamera(st, 0));
    EXPECT_EQ(st.camera->native_width, 352u);
    EXPECT_EQ(st.image.width, 352u);
    EXPECT_EQ(st.image.height, 288u);
    EXPECT_EQ(st.image.size, 352u * 288 * 3);
    EXPECT_EQ(st.camera_buffers.frame.size(), st.image.size);

    fake.Deliver({YuyvBars(352, 288)});
    LivePicture live;
    for (int i = 0; i < 500 && !LatestPicture(st, &live); ++i) std::this_thread::sleep_for(2ms);
    EXPECT_EQ(TakeSnapshot(st), 352u * 288 * 3);
    const std::vector<uint8_t> frame = st.camera_buffers.frame;

    fake.Vanish();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(TakeSnapshot(st), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(st.camera_buffers.frame, frame);
    EXPECT_TRUE(LatestPicture(st, &live)); // the live area keeps the last picture
    CloseCamera(st);
    EXPECT_EQ(fake.open_files, 0);
  }
  std::filesystem::remove_all(folder);
}

TEST(V4l2Station, BusyDeviceStartsInFileMode) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("orvane-v4l2-busy-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  {
    FakeV4l2 fake;
    fake.busy = true;
    Station st(folder);
    UseVideoBackend(st, MakeV4l2Backend(fake.Table()));
    EXPECT_FALSE(StartCamera(st, 0));
    EXPECT_EQ(st.image.no_camera, 1u);
    EXPECT_EQ(st.image.file_mode, 1u);
  }
  std::filesystem::remove_all(folder);
}

TEST(V4l2Backend, MachineWithoutVideoNodesHasNoDevice) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/dev", ec)) {
    if (e.path().filename().string().rfind("video", 0) == 0) GTEST_SKIP() << "this machine has " << e.path();
  }
  EXPECT_TRUE(MakeV4l2Backend(SystemCalls())->DeviceNames().empty());
}

} // namespace
} // namespace orvane::video
