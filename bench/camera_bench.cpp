// The camera's pixel work: YUYV to B, G, R of a 1920 x 1080 picture against
// OpenCV on one thread, and a snapshot of the virtual camera into the frame
// against a plain copy of the same bytes, and the virtual camera's sensor
// noise.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "acquisition/camera_capture.h"
#include "acquisition/pixels.h"
#include "platform/video/v4l2_camera.h"
#include "rectify/remap.h"
#include "platform/video/virtual_camera.h"

#if ORVANE_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr uint32_t kW = 1920, kH = 1080;

std::vector<uint8_t> YuyvPicture() {
  std::vector<uint8_t> v(size_t(kW) * kH * 2);
  uint32_t s = 12345;
  for (auto& b : v) {
    s = s * 1103515245u + 12345u;
    b = uint8_t(s >> 16);
  }
  return v;
}

void BM_YuyvToBgr(benchmark::State& state) {
  const auto in = YuyvPicture();
  std::vector<uint8_t> out(size_t(kW) * kH * 3);
  for (auto _ : state) {
    orvane::video::YuyvToBgr(in.data(), out.data(), size_t(kW) * kH);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}
BENCHMARK(BM_YuyvToBgr)->Unit(benchmark::kMillisecond);

#if ORVANE_HAVE_OPENCV
void BM_OpenCvYuyvToBgr(benchmark::State& state) {
  cv::setNumThreads(1);
  auto in = YuyvPicture();
  cv::Mat src(int(kH), int(kW), CV_8UC2, in.data());
  cv::Mat dst(int(kH), int(kW), CV_8UC3);
  for (auto _ : state) {
    cv::cvtColor(src, dst, cv::COLOR_YUV2BGR_YUYV);
    benchmark::DoNotOptimize(dst.data);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}
BENCHMARK(BM_OpenCvYuyvToBgr)->Unit(benchmark::kMillisecond);
#endif

// A station in a folder of its own with the virtual camera running at
// 1920 x 1080, its first picture there.
class VirtualStation {
 public:
  VirtualStation() : folder_(std::filesystem::temp_directory_path() / "orvane-camera-bench") {
    std::filesystem::create_directories(folder_);
    station_ = std::make_unique<orvane::Station>(folder_);
    orvane::video::VirtualCameraConfig config;
    config.formats = {orvane::video::MakeVirtualFormat(kW, kH, 0)};
    orvane::UseVideoBackend(*station_, orvane::video::MakeVirtualBackend(config));
    orvane::OpenCamera(*station_, 0, kW, kH);
    std::vector<uint8_t> first;
    orvane::CaptureOf(*station_).device->Snapshot(&first);
  }
  ~VirtualStation() {
    orvane::CloseCamera(*station_);
    station_.reset();
    std::filesystem::remove_all(folder_);
  }
  orvane::Station& operator*() { return *station_; }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<orvane::Station> station_;
};

void BM_TakeSnapshotVirtual(benchmark::State& state) {
  VirtualStation st;
  uint32_t bytes = 0;
  for (auto _ : state) {
    bytes = orvane::TakeSnapshot(*st);
    benchmark::DoNotOptimize((*st).image.frame);
  }
  if (bytes != kW * kH * 3) state.SkipWithError("no snapshot");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_TakeSnapshotVirtual)->Unit(benchmark::kMillisecond);

// The earlier way, side by side: the snapshot bitmap built under the lock,
// then converted into the frame.
void BM_SnapshotThroughBitmapVirtual(benchmark::State& state) {
  VirtualStation st;
  std::vector<uint8_t> bitmap;
  for (auto _ : state) {
    if (!orvane::CaptureOf(*st).device->Snapshot(&bitmap)) state.SkipWithError("no snapshot");
    orvane::SnapshotToFrame(bitmap.data(), bitmap.size(), (*st).image, 0, (*st).image.frame);
    benchmark::DoNotOptimize((*st).image.frame);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kW) * kH * 3);
}
BENCHMARK(BM_SnapshotThroughBitmapVirtual)->Unit(benchmark::kMillisecond);

// The live area's hand-over of a picture it does not hold yet, on the
// window's thread (the paint not included): the copy LatestPicture makes,
// and what ShowLatestPicture does without rectification (the device's own
// picture, read here by one byte a row as a stand-in for the paint).
void BM_LivePictureCopied(benchmark::State& state) {
  VirtualStation st;
  orvane::LivePicture held;
  for (auto _ : state) {
    held.stream = 0; // never the newest: copied every time
    if (!orvane::LatestPicture(*st, &held)) state.SkipWithError("no picture");
    benchmark::DoNotOptimize(held.bgrx.data());
  }
}
BENCHMARK(BM_LivePictureCopied)->Unit(benchmark::kMillisecond);

// ShowLatestPicture as if `held` named no picture, the paint stood in by
// one byte a row added to `sum`.
bool ShowAsNew(orvane::Station& st, orvane::LivePicture* held, uint32_t* sum) {
  held->stream = 0;
  return orvane::ShowLatestPicture(st, held, [sum](const uint8_t* bgrx, uint32_t width, uint32_t height) {
    for (uint32_t y = 0; y < height; ++y) *sum += bgrx[size_t{y} * width * 4];
  });
}

void BM_LivePictureHandedOver(benchmark::State& state) {
  VirtualStation st;
  orvane::LivePicture held;
  uint32_t sum = 0;
  for (auto _ : state) {
    if (!ShowAsNew(*st, &held, &sum)) state.SkipWithError("no picture");
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_LivePictureHandedOver)->Unit(benchmark::kMillisecond);

// The same with rectification on (a lens of k1 = 0.3): the earlier way, a
// copy of the picture rectified (what LatestPicture still does), against
// ShowLatestPicture's rectification from the device's picture straight into
// the area's buffer.
void UseRectification(orvane::Station& st) {
  orvane::rectify::LensModel lens;
  lens.width = kW;
  lens.height = kH;
  lens.fx = lens.fy = kW;
  lens.cx = (kW - 1) / 2.0;
  lens.cy = (kH - 1) / 2.0;
  lens.k1 = 0.3;
  orvane::CaptureOf(st).rectification.tables.Build(lens);
}

void BM_LiveRectifiedCopyFirst(benchmark::State& state) {
  VirtualStation st;
  UseRectification(*st);
  orvane::LivePicture held;
  for (auto _ : state) {
    held.stream = 0;
    if (!orvane::LatestPicture(*st, &held)) state.SkipWithError("no picture");
    benchmark::DoNotOptimize(held.bgrx.data());
  }
}
BENCHMARK(BM_LiveRectifiedCopyFirst)->Unit(benchmark::kMillisecond);

void BM_LiveRectifiedHandedOver(benchmark::State& state) {
  VirtualStation st;
  UseRectification(*st);
  orvane::LivePicture held;
  uint32_t sum = 0;
  for (auto _ : state) {
    if (!ShowAsNew(*st, &held, &sum)) state.SkipWithError("no picture");
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_LiveRectifiedHandedOver)->Unit(benchmark::kMillisecond);

// The virtual camera's drawing thread, per 1080p picture: the sensor noise
// over the scene as it is drawn, and by the plain byte-by-byte rule.
template <void (*Noise)(const orvane::video::Picture&, uint64_t, orvane::video::Picture*)>
void VirtualNoise(benchmark::State& state) {
  orvane::video::Picture scene, out;
  orvane::video::DrawScene(kW, kH, &scene);
  out = scene;
  uint64_t sequence = 0;
  for (auto _ : state) {
    Noise(scene, sequence++, &out);
    benchmark::DoNotOptimize(out.bgrx.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(scene.bgrx.size()));
}
void BM_VirtualNoise(benchmark::State& state) { VirtualNoise<orvane::video::AddSensorNoise>(state); }
void BM_VirtualNoiseByteByByte(benchmark::State& state) {
  VirtualNoise<orvane::video::AddSensorNoiseByteByByte>(state);
}
BENCHMARK(BM_VirtualNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VirtualNoiseByteByByte)->Unit(benchmark::kMillisecond);

void BM_MemcpyFrame(benchmark::State& state) {
  std::vector<uint8_t> a(size_t(kW) * kH * 3, 7), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::DoNotOptimize(b.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.size()));
}
BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMillisecond);

} // namespace
