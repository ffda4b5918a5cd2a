// Reading a part's identity from a code in a 1920 x 1080 picture: a miss (a
// picture with no code: plain, and with a part's outline on it) and a hit
// for each symbology, the code small (modules of 2 or 3 px) and away from
// the middle of the picture (Google Benchmark, one thread).
//
// Protocol: pictures from tests/results/code_picture.h (grey 200 with noise
// of +-6, code modules 30 and 225), drawn once before timing; each
// iteration is one ReadPartCode over the whole picture. Run:
//   build/bench/part_code_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include "results/part_code.h"
#include "tests/results/code_picture.h"

namespace {

using orvane::test::CodePicture;
using orvane::test::DrawCode;
using ZXing::BarcodeFormat;

constexpr uint32_t kWidth = 1920, kHeight = 1080;

void Read(benchmark::State& state, const CodePicture& p, bool expect_code) {
  for (auto _ : state) {
    const auto code = orvane::ReadPartCode(p.bgr.data(), p.width, p.height, p.width * 3);
    if (code.has_value() != expect_code) state.SkipWithError("read result differs from the picture");
    benchmark::DoNotOptimize(code);
  }
}

void BM_MissPlain(benchmark::State& state) {
  static const CodePicture p = DrawCode(BarcodeFormat::QRCode, "x", 3, 0, -5000, -5000, kWidth, kHeight);
  Read(state, p, false);
}
BENCHMARK(BM_MissPlain)->Unit(benchmark::kMillisecond);

void BM_MissPartOutline(benchmark::State& state) {
  static const CodePicture p = [] {
    CodePicture q = DrawCode(BarcodeFormat::QRCode, "x", 3, 0, -5000, -5000, kWidth, kHeight);
    orvane::test::DrawPartOutline(q, 900, 450, 260);
    return q;
  }();
  Read(state, p, false);
}
BENCHMARK(BM_MissPartOutline)->Unit(benchmark::kMillisecond);

void BM_HitDataMatrix(benchmark::State& state) {
  static const CodePicture p = [] {
    CodePicture q = DrawCode(BarcodeFormat::DataMatrix, "SN-2026-0042", 2, 33, 1500, 820, kWidth, kHeight);
    orvane::test::DrawPartOutline(q, 700, 450, 260);
    return q;
  }();
  Read(state, p, true);
}
BENCHMARK(BM_HitDataMatrix)->Unit(benchmark::kMillisecond);

void BM_HitQRCode(benchmark::State& state) {
  static const CodePicture p = DrawCode(BarcodeFormat::QRCode, "SN-2026-0042", 3, 20, 300, 900, kWidth, kHeight);
  Read(state, p, true);
}
BENCHMARK(BM_HitQRCode)->Unit(benchmark::kMillisecond);

void BM_HitCode128Turned(benchmark::State& state) {
  static const CodePicture p = DrawCode(BarcodeFormat::Code128, "SN-2026-0042", 2, 90, 1700, 300, kWidth, kHeight);
  Read(state, p, true);
}
BENCHMARK(BM_HitCode128Turned)->Unit(benchmark::kMillisecond);

} // namespace
