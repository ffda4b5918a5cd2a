// Comparing a picture with its drawing: the fit and the compare of a 1080p
// picture with about 5,000 nominal points (Google Benchmark, one thread).
//
// Protocol: the test plate of tests/cad/plate.h (220 x 120 units, a notch,
// three holes) drawn 5 px a unit (1100 x 600 px, 4,868 nominal points at
// 1 px) dark 40 on light 220 in a 1920 x 1080
// exact-area render, blur sigma 1 px, noise sigma 2, turned 0.3 rad. The
// fit starts 1.5 px and 0.3 degrees off the truth (as the coarse placing
// leaves it): three rounds of 1,500 points, then the compare measures every
// point. The coarse placing is timed apart; so are the fit's other kinds
// (1: min-max, 2: fixed on the two larger holes), fit and compare alike.
// A program's profile step is timed whole as each run takes it: the
// nominal points built at the run's scale, the sides, the fit and the
// compare, from the same start (the part's pose carrying it).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

#include "cadfit/fit.h"
#include "cadfile/dxf_read.h"
#include "inspect/profile.h"
#include "tests/cad/plate.h"

namespace {

constexpr double kScale = 5.0;

struct Scene {
  gauge_render::Picture8 picture;
  orvane::cad::Nominal nominal;
  orvane::cad::Placement truth;
  qgImage image() const { return {picture.px.data(), picture.w, picture.h, picture.w, 1}; }
};

// The plate's DXF drawn kScale px a unit: the drawing read and scaled.
const Scene& TheScene() {
  static const Scene scene = [] {
    Scene s;
    std::string error;
    orvane::cadfile::Drawing d = *orvane::cadfile::ReadDxf(cad_test::PlateDxf(), {}, &error);
    s.nominal = orvane::cad::BuildNominal(d, 1.0 / kScale, 5.0 / kScale, 100000);
    s.truth = {kScale, 960.3, 540.7, 0.3};
    // The render draws in picture pixels: a plate kScale times the drawing.
    cad_test::PlateRender r;
    r.cx = s.truth.px;
    r.cy = s.truth.py;
    r.angle = s.truth.angle;
    r.size = kScale;
    std::mt19937_64 rng(1);
    s.picture = cad_test::RenderPlate(1920, 1080, r, rng);
    return s;
  }();
  return scene;
}

void BM_FitAndCompare(benchmark::State& state) {
  const Scene& s = TheScene();
  orvane::cad::Placement start = s.truth;
  start.px += 1.2;
  start.py -= 0.9;
  start.angle += 0.3 * 3.14159265358979 / 180;
  const orvane::cad::MeasureSettings ms;
  size_t points = 0;
  double rms = 0;
  for (auto _ : state) {
    const orvane::cad::FitResult fit = orvane::cad::FitPlacement(s.image(), s.nominal, start, ms, {});
    const orvane::cad::Comparison c = orvane::cad::Compare(s.image(), s.nominal, fit.placement, ms);
    points = c.points.size();
    rms = c.all.rms;
    benchmark::DoNotOptimize(c);
  }
  state.counters["points"] = static_cast<double>(points);
  state.counters["rms_px"] = rms;
}
BENCHMARK(BM_FitAndCompare)->Unit(benchmark::kMillisecond);

void BM_FitKinds(benchmark::State& state) {
  const Scene& s = TheScene();
  orvane::cad::Placement start = s.truth;
  start.px += 1.2;
  start.py -= 0.9;
  orvane::cad::FitSettings f;
  f.minmax = state.range(0) == 1;
  if (state.range(0) == 2) f.datum = {{1, -1}, {2, -1}};
  const orvane::cad::MeasureSettings ms;
  double largest = 0;
  for (auto _ : state) {
    const orvane::cad::FitResult fit = orvane::cad::FitPlacement(s.image(), s.nominal, start, ms, f);
    const orvane::cad::Comparison c = orvane::cad::Compare(s.image(), s.nominal, fit.placement, ms);
    largest = std::max(c.all.max, -c.all.min);
    benchmark::DoNotOptimize(c);
  }
  state.counters["largest_px"] = largest;
}
BENCHMARK(BM_FitKinds)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ProfileStep(benchmark::State& state) {
  const Scene& s = TheScene();
  orvane::ProfileDrawing drawing;
  std::string error;
  drawing.drawing = orvane::cadfile::ReadDxf(cad_test::PlateDxf(), {}, &error);
  const orvane::ProfileSource source{"plate.dxf", 4, {}, 0.0, false};
  const orvane::PartPose pose{s.truth.px + 1.2, s.truth.py - 0.9, (s.truth.angle + 0.3 * 3.14159265358979 / 180) * 57.29577951308232};
  double worst = 0;
  for (auto _ : state) {
    const orvane::ProfileRun r = orvane::MeasureProfile(s.image(), drawing, source, {0, 0}, pose, kScale, 0.05);
    worst = std::max(r.comparison.all.max, -r.comparison.all.min);
    benchmark::DoNotOptimize(r);
  }
  state.counters["worst_px"] = worst;
}
BENCHMARK(BM_ProfileStep)->Unit(benchmark::kMillisecond);

void BM_CoarsePlace(benchmark::State& state) {
  const Scene& s = TheScene();
  orvane::cad::Nominal n = s.nominal;
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvane::cad::CoarsePlace(s.image(), n, kScale, {}));
  }
}
BENCHMARK(BM_CoarsePlace)->Unit(benchmark::kMillisecond);

}  // namespace
