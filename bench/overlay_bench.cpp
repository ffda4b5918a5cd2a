// The overlay redraw of drawn entities at 1920 x 1080: a good record, a
// corrupt one whose points lie far apart anywhere in the coordinate range, and
// the worst a record can hold, every one of its 9,900 lines crossing the whole
// image. The lines alone are also drawn by the walk as it was before it was
// clipped to the image's rows ("unclipped"), side by side with the clipped one.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "acquisition/acquisition.h"
#include "draw/overlay.h"
#include "solutions/measurement.h"
#include "station/station.h"

namespace orvane {
namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;

enum Kind { kGood = 0, kFarApart = 1, kCrossing = 2 };

// 100 polylines of 100 points each (the good record: 10 short traced outlines).
void FillEntities(SolutionRecord& rec, Kind kind) {
  std::mt19937 rng(7);
  auto any = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  rec.entity_count = kind == kGood ? 10 : kMaxEntities;
  for (uint32_t e = 0; e < rec.entity_count; ++e) {
    DrawEntity& ent = rec.entities[e];
    ent.type = static_cast<uint32_t>(EntityType::Polyline);
    ent.point_count = kMaxEntityPoints;
    const double cx = any(200, 1700), cy = any(200, 900);
    for (uint32_t k = 0; k < kMaxEntityPoints; ++k) {
      EntityPoint& p = ent.points[k];
      switch (kind) {
        case kGood:
          p.x = cx + 100 * std::cos(k * 0.0635);
          p.y = cy + 100 * std::sin(k * 0.0635);
          break;
        case kFarApart:
          p.x = any(-2e9, 2e9);
          p.y = any(-2e9, 2e9);
          break;
        case kCrossing:  // left of the image, then right of it, through its middle rows
          p.x = k % 2 == 0 ? any(-2e9, -1e9) : any(1e9, 2e9);
          p.y = 540 + (k % 2 == 0 ? -1 : 1) * p.x * any(-1e-6, 1e-6);
          break;
      }
    }
  }
}

struct Overlay {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(size_t{kWidth} * kHeight * 3);
  OverlayCanvas canvas;
  Overlay() {
    canvas.pixels = bytes.data();
    canvas.width = kWidth;
    canvas.height = kHeight;
    canvas.stride = kWidth * 3;
    canvas.mark_size_class = MarkSizeClass(kWidth, kHeight);
  }
};

void BM_RedrawEntities(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) std::abort();
  {
    Station st(folder);
    ImageState& im = st.image;
    im.width = kWidth;
    im.height = kHeight;
    im.stride = kWidth * 3;
    im.size = im.stride * kHeight;
    st.file_buffers.Allocate(im.size);
    im.frame = st.file_buffers.frame.data();
    im.overlay = st.file_buffers.overlay.data();
    im.display = st.file_buffers.display.data();
    PublishGeometry(st);
    FillEntities(*st.working, static_cast<Kind>(state.range(0)));
    for (auto _ : state) {
      RedrawOverlay(st);
      benchmark::DoNotOptimize(im.overlay[0]);
    }
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RedrawEntities)->ArgName("good0_far1_crossing2")->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);

// The walk before clipping: every sum from column 2 on is evaluated.
double UnclippedAdvance(double x, double limit) {
  while (x < limit) {
    if (x < -4.0) {
      int exponent;
      std::frexp(x, &exponent);
      const double u = std::ldexp(1.0, exponent - 53);
      const int64_t units = static_cast<int64_t>(-x / u);
      const int64_t d = std::llround(0.02 / u);
      const int64_t room = units - (int64_t{1} << 52) - d - 1;
      if (room >= 0) {
        x = -static_cast<double>(units - (room / d + 1) * d) * u;
        continue;
      }
    }
    x += 0.02;
  }
  return x;
}

void UnclippedLine(const OverlayCanvas& canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                   Rgb colour) {
  if (x1 > x2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  if (x1 == x2 || x2 < 2) return;
  const double m = (double(y2) - y1) / (double(x2) - x1);
  for (double x = UnclippedAdvance(x1, 2.0); x <= x2 && x < double(canvas.width) - 2.0; x += 0.02) {
    const double y = y1 + (x - x1) * m;
    if (!(y > -2147483648.0 && y < 4294967296.0)) continue;
    DrawDot(canvas, int32_t(x), int32_t(int64_t(y)), colour);
  }
}

template <bool kClipped>
void BM_Lines(benchmark::State& state) {
  auto rec = std::make_unique<SolutionRecord>();
  FillEntities(*rec, static_cast<Kind>(state.range(0)));
  Overlay o;
  for (auto _ : state) {
    for (uint32_t e = 0; e < rec->entity_count; ++e) {
      const EntityPoint* p = rec->entities[e].points;
      for (uint32_t k = 1; k < rec->entities[e].point_count; ++k) {
        const int32_t x1 = TruncToPixel(p[k - 1].x), y1 = TruncToPixel(p[k - 1].y);
        const int32_t x2 = TruncToPixel(p[k].x), y2 = TruncToPixel(p[k].y);
        if (kClipped) {
          DrawLine(o.canvas, x1, y1, x2, y2, Rgb{1, 255, 1});
        } else {
          UnclippedLine(o.canvas, x1, y1, x2, y2, Rgb{1, 255, 1});
        }
      }
    }
    benchmark::DoNotOptimize(o.bytes[0]);
  }
}
BENCHMARK(BM_Lines<false>)->Name("BM_Lines/unclipped")->ArgName("good0_far1_crossing2")
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lines<true>)->Name("BM_Lines/clipped")->ArgName("good0_far1_crossing2")
    ->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane
