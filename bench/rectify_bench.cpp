// Rectification's speed at 1920 x 1080: the remap of one picture on one
// thread (fixed-point tables, bilinear), ours beside OpenCV's, building the
// tables, and finding the dot grid and the chessboard.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/video/virtual_camera.h"
#include "rectify/grid_calibration.h"
#include "rectify/remap.h"
#include "tests/support/chessboard_render.h"

namespace {

using namespace orvane;
constexpr uint32_t kW = 1920, kH = 1080;

// A webcam-like model: 53 degrees across, k1 -0.2, the table tilted 10
// degrees; plane units are pixels at the picture's centre.
rectify::LensModel Model() {
  rectify::LensModel m;
  m.width = kW;
  m.height = kH;
  m.fx = m.fy = kW;
  m.cx = (kW - 1) / 2.0;
  m.cy = (kH - 1) / 2.0;
  m.k1 = -0.2;
  const double t = 10.0 * std::numbers::pi / 180.0;
  const double r[9] = {1, 0, 0, 0, std::cos(t), std::sin(t), 0, -std::sin(t), std::cos(t)};
  std::copy(r, r + 9, m.rotation);
  m.translation[2] = kW;
  return m;
}

std::vector<uint8_t> NoisePicture() {
  std::vector<uint8_t> in(size_t{kW} * kH * 4);
  for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i * 2654435761u >> 24);
  return in;
}

// Our remap with each kernel (0 plain, 1 SSE2, 2 AVX2); the same bytes.
void BM_RectifyRemap1080pOneThread(benchmark::State& state) {
  const auto kernel = static_cast<rectify::RemapKernel>(state.range(0));
  if (!rectify::HaveRemapKernel(kernel)) {
    state.SkipWithError("this processor lacks the kernel");
    return;
  }
  rectify::RemapTables tables;
  tables.Build(Model());
  const std::vector<uint8_t> in = NoisePicture();
  std::vector<uint8_t> out(in.size());
  for (auto _ : state) {
    tables.Apply(in.data(), out.data(), kernel);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_RectifyRemap1080pOneThread)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The same remap by OpenCV from the same positions (what rectification used
// before), on one thread.
void BM_OpenCvRemap1080pOneThread(benchmark::State& state) {
  cv::setNumThreads(1);
  rectify::CameraMap map;
  rectify::MapOfModel(Model(), &map);
  const cv::Mat mx(kH, kW, CV_32FC1, map.x.data()), my(kH, kW, CV_32FC1, map.y.data());
  cv::Mat whole, fraction;
  cv::convertMaps(mx, my, whole, fraction, CV_16SC2, false);
  std::vector<uint8_t> in = NoisePicture(), out(in.size());
  const cv::Mat src(kH, kW, CV_8UC4, in.data());
  cv::Mat dst(kH, kW, CV_8UC4, out.data());
  for (auto _ : state) {
    cv::remap(src, dst, whole, fraction, cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar::all(0));
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_OpenCvRemap1080pOneThread)->Unit(benchmark::kMillisecond);

void BM_BuildTables1080p(benchmark::State& state) {
  cv::setNumThreads(1);
  for (auto _ : state) {
    rectify::RemapTables tables;
    benchmark::DoNotOptimize(tables.Build(Model()));
  }
}
BENCHMARK(BM_BuildTables1080p)->Unit(benchmark::kMillisecond);

void BM_DetectDotGrid1080p(benchmark::State& state) {
  cv::setNumThreads(1);
  video::VirtualLens lens;
  video::ParseVirtualLens("k1=-0.2,tilt=10", &lens);
  video::Picture picture;
  video::DrawSyntheticScene(video::kVirtualGridSource, lens, kW, kH, &picture);
  const rectify::GridSpec spec{rectify::GridKind::Dots, video::kGridRows, video::kGridCols, 1.0};
  std::vector<rectify::Point2> points;
  for (auto _ : state) {
    if (!rectify::DetectGrid(picture.bgrx.data(), kW, kH, kW * 4, spec, &points)) state.SkipWithError("not found");
  }
}
BENCHMARK(BM_DetectDotGrid1080p)->Unit(benchmark::kMillisecond);

void BM_DetectChessboard1080p(benchmark::State& state) {
  cv::setNumThreads(1);
  // 16 x 9 squares of 100 pixels: 15 x 8 inner corners.
  std::vector<uint8_t> picture(size_t{kW} * kH * 4, 200);
  for (uint32_t y = 90; y < 990; ++y) {
    for (uint32_t x = 160; x < 1760; ++x) {
      if (((x - 160) / 100 + (y - 90) / 100) % 2 == 0) std::fill_n(picture.begin() + (size_t{y} * kW + x) * 4, 3, 20);
    }
  }
  const rectify::GridSpec spec{rectify::GridKind::Chessboard, 8, 15, 1.0};
  std::vector<rectify::Point2> points;
  for (auto _ : state) {
    if (!rectify::DetectGrid(picture.data(), kW, kH, kW * 4, spec, &points)) state.SkipWithError("not found");
  }
}
BENCHMARK(BM_DetectChessboard1080p)->Unit(benchmark::kMillisecond);

// The chessboard search on pictures that hold none: the camera's usual view
// (the ring target, kind 0) and the dot grid (1), with sensor noise, at
// 1280 x 720 and 1920 x 1080; a board of another size than the one looked
// for (2); noise alone (3). Once each: a search that runs away takes minutes.
void BM_ChessboardAbsent(benchmark::State& state) {
  cv::setNumThreads(1);
  const auto w = static_cast<uint32_t>(state.range(0)), h = static_cast<uint32_t>(state.range(1));
  const int64_t kind = state.range(2);
  video::VirtualLens lens;
  video::Picture picture;
  if (kind < 2) {
    video::DrawSyntheticScene(kind == 1 ? video::kVirtualGridSource : video::kVirtualSceneSource, lens, w, h, &picture);
  } else {
    // A board of 10 x 12 inner corners where 7 x 9 are looked for.
    picture.bgrx = testing::RenderChessboard(w, h, 10, 12, h / 16.0, w / 2.0, h / 2.0, 3.0).bgrx;
  }
  uint32_t seed = 12345;
  const int amplitude = kind == 3 ? 255 : 8; // sensor noise, or noise alone
  for (size_t i = 0; i < picture.bgrx.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    const int noise = int((seed >> 16) % uint32_t(amplitude + 1)) - amplitude / 2;
    picture.bgrx[i] = static_cast<uint8_t>(std::clamp((kind == 3 ? 128 : picture.bgrx[i]) + noise, 0, 255));
  }
  const rectify::GridSpec spec{rectify::GridKind::Chessboard, 7, 9, 1.0};
  std::vector<rectify::Point2> points;
  for (auto _ : state) {
    if (rectify::DetectGrid(picture.bgrx.data(), w, h, size_t{w} * 4, spec, &points)) state.SkipWithError("found");
  }
}
BENCHMARK(BM_ChessboardAbsent)
    ->Args({1280, 720, 0})
    ->Args({1920, 1080, 0})
    ->Args({1280, 720, 1})
    ->Args({1920, 1080, 1})
    ->Args({1920, 1080, 2})
    ->Args({1920, 1080, 3})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// A turned board of 60-pixel squares, rendered with exact area sampling: the
// time to find it, and how far the corners found lie from the true ones
// (counters: the largest and the RMS error in pixels).
void BM_ChessboardRendered1080p(benchmark::State& state) {
  cv::setNumThreads(1);
  const testing::RenderedBoard board = testing::RenderChessboard(kW, kH, 9, 13, 60.0, 961.3, 538.7, 7.0);
  const rectify::GridSpec spec{rectify::GridKind::Chessboard, 9, 13, 1.0};
  std::vector<rectify::Point2> points;
  for (auto _ : state) {
    if (!rectify::DetectGrid(board.bgrx.data(), kW, kH, kW * 4, spec, &points)) state.SkipWithError("not found");
  }
  double largest = 0.0, sum2 = 0.0;
  for (const rectify::Point2& p : points) {
    double best = INFINITY;
    for (size_t i = 0; i < board.corner_x.size(); ++i) {
      best = std::min(best, std::hypot(p.x - board.corner_x[i], p.y - board.corner_y[i]));
    }
    largest = std::max(largest, best);
    sum2 += best * best;
  }
  state.counters["largest_px"] = largest;
  state.counters["rms_px"] = points.empty() ? 0.0 : std::sqrt(sum2 / points.size());
}
BENCHMARK(BM_ChessboardRendered1080p)->Unit(benchmark::kMillisecond);

} // namespace
