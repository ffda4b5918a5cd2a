// The stillness watch of the automatic runs in Live (inspect/rest_watch.h):
// what one live picture costs it, against a plain copy of the same picture
// (the least a live area's paint does with it).
//
// Protocol: pictures of 640 x 480 and 1920 x 1080, 4 bytes a pixel (as the
// camera hands them over), random bytes; two pictures fed in turn, so that
// every Feed builds its cell grid and compares it with the last (the
// reference is compared too whenever the pictures differ, which random
// pictures always do: the watch's most expensive case). Bytes per second
// are the picture's.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "inspect/rest_watch.h"

namespace {

std::vector<uint8_t> RandomPicture(size_t bytes, uint32_t seed) {
  std::vector<uint8_t> p(bytes);
  std::mt19937 rng(seed);
  for (auto& b : p) b = uint8_t(rng());
  return p;
}

void BM_RestWatchFeed(benchmark::State& state) {
  const auto w = static_cast<uint32_t>(state.range(0)), h = static_cast<uint32_t>(state.range(1));
  const std::vector<uint8_t> pictures[2] = {RandomPicture(size_t{w} * h * 4, 1), RandomPicture(size_t{w} * h * 4, 2)};
  orvane::RestWatch watch;
  double seconds = 0.0;
  size_t k = 0;
  for (auto _ : state) {
    const std::vector<uint8_t>& p = pictures[k++ % 2];
    benchmark::DoNotOptimize(watch.Feed({p.data(), w, h, w * 4, 4}, seconds += 1.0 / 30));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 4);
}
BENCHMARK(BM_RestWatchFeed)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

void BM_PictureCopy(benchmark::State& state) {
  const auto w = static_cast<uint32_t>(state.range(0)), h = static_cast<uint32_t>(state.range(1));
  const std::vector<uint8_t> picture = RandomPicture(size_t{w} * h * 4, 1);
  std::vector<uint8_t> copy(picture.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), picture.data(), picture.size());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * w * h * 4);
}
BENCHMARK(BM_PictureCopy)->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

} // namespace
