// Frame-buffer passes at camera sizes: composing the overlay over a frame
// against a plain memcpy of the same buffer, colour mode 4, and the snapshot
// conversions.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "acquisition/pixels.h"

namespace {

struct Frame {
  uint32_t w, h;
  std::vector<uint8_t> frame, overlay, display;
  Frame(uint32_t width, uint32_t height) : w(width), h(height) {
    const size_t size = size_t(w) * h * 3;
    frame.resize(size);
    overlay.assign(size, 0);
    display.resize(size);
    std::mt19937 rng(1);
    for (auto& b : frame) b = uint8_t(rng());
    // A sparse overlay, as marks and texts are: one pixel in 50.
    for (size_t i = 0; i < size; i += 150) overlay[i] = overlay[i + 1] = overlay[i + 2] = 200;
  }
  size_t size() const { return frame.size(); }
};

void SetBytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_Memcpy(benchmark::State& state) {
  Frame f(uint32_t(state.range(0)), uint32_t(state.range(1)));
  for (auto _ : state) {
    std::memcpy(f.display.data(), f.frame.data(), f.size());
    benchmark::DoNotOptimize(f.display.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, f.size());
}

void BM_ComposeDisplay(benchmark::State& state) {
  Frame f(uint32_t(state.range(0)), uint32_t(state.range(1)));
  for (auto _ : state) {
    orvane::ComposeBytes(f.frame.data(), f.overlay.data(), f.display.data(), f.size());
    benchmark::DoNotOptimize(f.display.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, f.size());
}

template <orvane::ComposeKernel kKernel>
void BM_ComposeWith(benchmark::State& state) {
  Frame f(uint32_t(state.range(0)), uint32_t(state.range(1)));
  if (!orvane::HaveComposeKernel(kKernel)) state.SkipWithError("no such kernel here");
  for (auto _ : state) {
    orvane::ComposeBytes(f.frame.data(), f.overlay.data(), f.display.data(), f.size(), kKernel);
    benchmark::DoNotOptimize(f.display.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, f.size());
}

// The same passes with the buffers out of the cache, as after the station
// has done other work: 64 MiB of other bytes are read and written between
// the timed passes.
void Evict(benchmark::State& state) {
  static std::vector<uint8_t> other(size_t{64} << 20);
  state.PauseTiming();
  for (size_t i = 0; i < other.size(); i += 64) other[i] = uint8_t(other[i] + 1);
  benchmark::ClobberMemory();
  state.ResumeTiming();
}

void BM_MemcpyEvicted(benchmark::State& state) {
  Frame f(uint32_t(state.range(0)), uint32_t(state.range(1)));
  for (auto _ : state) {
    Evict(state);
    std::memcpy(f.display.data(), f.frame.data(), f.size());
    benchmark::DoNotOptimize(f.display.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, f.size());
}

template <orvane::ComposeKernel kKernel>
void BM_ComposeEvicted(benchmark::State& state) {
  Frame f(uint32_t(state.range(0)), uint32_t(state.range(1)));
  if (!orvane::HaveComposeKernel(kKernel)) state.SkipWithError("no such kernel here");
  for (auto _ : state) {
    Evict(state);
    orvane::ComposeBytes(f.frame.data(), f.overlay.data(), f.display.data(), f.size(), kKernel);
    benchmark::DoNotOptimize(f.display.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, f.size());
}

void BM_ColourModeAverage(benchmark::State& state) {
  Frame f(uint32_t(state.range(0)), uint32_t(state.range(1)));
  for (auto _ : state) {
    orvane::ApplyColourMode(f.frame.data(), size_t(f.w) * f.h, 4);
    benchmark::ClobberMemory();
  }
  SetBytes(state, f.size());
}

void BM_SnapshotToFrame(benchmark::State& state) {
  Frame f(uint32_t(state.range(0)), uint32_t(state.range(1)));
  const uint32_t n = f.w * f.h * 4;
  std::vector<uint8_t> snapshot(40 + size_t(n), 90);
  std::memset(snapshot.data(), 0, 40);
  snapshot[0] = 40;
  std::memcpy(&snapshot[4], &f.w, 4);
  std::memcpy(&snapshot[8], &f.h, 4);
  snapshot[14] = 32;
  std::memcpy(&snapshot[20], &n, 4);
  orvane::ImageState im;
  im.width = f.w;
  im.height = f.h;
  im.stride = f.w * 3;
  im.size = uint32_t(f.size());
  for (auto _ : state) {
    orvane::SnapshotToFrame(snapshot.data(), snapshot.size(), im, 0, f.frame.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, f.size());
}

// A camera picture (B, G, R, x, top-down) into the frame row by row, as a
// snapshot does it, by each way of dropping the fourth bytes.
template <orvane::DropFourthKernel kKernel>
void BM_PictureRowsToFrame(benchmark::State& state) {
  Frame f(uint32_t(state.range(0)), uint32_t(state.range(1)));
  std::vector<uint8_t> picture(size_t(f.w) * f.h * 4);
  std::mt19937 rng(2);
  for (auto& b : picture) b = uint8_t(rng());
  if (!orvane::HaveDropFourthKernel(kKernel)) state.SkipWithError("no such kernel here");
  for (auto _ : state) {
    orvane::CopyDropFourthRows(picture.data(), f.w * 4, f.frame.data(), f.w * 3, f.w, f.h, kKernel);
    benchmark::ClobberMemory();
  }
  SetBytes(state, f.size());
}

#define SIZES Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_Memcpy)->SIZES;
BENCHMARK(BM_ComposeDisplay)->SIZES;
BENCHMARK(BM_ComposeWith<orvane::ComposeKernel::Sse2>)->SIZES;
BENCHMARK(BM_ComposeWith<orvane::ComposeKernel::Avx2>)->SIZES;
BENCHMARK(BM_ComposeWith<orvane::ComposeKernel::Avx2Streaming>)->SIZES;
#define EVICTED_SIZES Args({1920, 1080})->Iterations(100)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_MemcpyEvicted)->EVICTED_SIZES;
BENCHMARK(BM_ComposeEvicted<orvane::ComposeKernel::Avx2>)->EVICTED_SIZES;
BENCHMARK(BM_ComposeEvicted<orvane::ComposeKernel::Avx2Streaming>)->EVICTED_SIZES;
BENCHMARK(BM_ColourModeAverage)->SIZES;
BENCHMARK(BM_SnapshotToFrame)->SIZES;
BENCHMARK(BM_PictureRowsToFrame<orvane::DropFourthKernel::Ssse3>)->SIZES;
BENCHMARK(BM_PictureRowsToFrame<orvane::DropFourthKernel::Avx2Step8>)->SIZES;
BENCHMARK(BM_PictureRowsToFrame<orvane::DropFourthKernel::Avx2Step32>)->SIZES;


} // namespace
