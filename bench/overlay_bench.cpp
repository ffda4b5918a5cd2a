// The overlay redraw of drawn entities at 1920 x 1080: a good record (10
// traced outlines), a corrupt one whose points lie far apart anywhere in the
// coordinate range ("far"), one whose 9,900 lines all cross the whole image
// width near its middle row ("crossing"), and one whose lines all cross the
// image at slopes from level to vertical, one slope an entity ("slopes"); and
// a record of 100 ROIs around nearly the whole image ("rois").
// Each is drawn by the station's redraw ("spans": lines and marks filled as
// spans of rows) and, side by side in the same run, by the dot by dot drawing
// it replaced ("per_dot", tests/draw/per_dot_drawing.h); before timing, the
// two are checked to leave the same bytes. The station's redraw draws the
// entities of a record with 2,000 points or more on two threads, each over
// half of the rows: for it, Time is how long a redraw takes and CPU is the
// work of the whole process. BM_Lines times the lines alone, on one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "acquisition/acquisition.h"
#include "draw/overlay.h"
#include "solutions/measurement.h"
#include "station/station.h"
#include "tests/draw/per_dot_drawing.h"

namespace orvane {
namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;
constexpr Rgb kEntityPointColour{192, 0, 192};
constexpr Rgb kRoiColour{1, 192, 1};

enum Kind { kGood = 0, kFarApart = 1, kCrossing = 2, kSlopes = 3, kRois = 4 };

// 100 polylines of 100 points each (the good record: 10 short traced outlines).
void FillEntities(SolutionRecord& rec, Kind kind) {
  std::mt19937 rng(7);
  auto any = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  if (kind == kRois) {  // as many ROIs as a record holds, nested, each around nearly the whole image
    rec.entity_count = 0;
    rec.roi_count = kMaxRois;
    for (uint32_t i = 0; i < kMaxRois; ++i) {
      const int32_t inset = static_cast<int32_t>(2 * i);
      rec.rois[i] = RoiRecord{};
      rec.rois[i].left = inset;
      rec.rois[i].top = inset;
      rec.rois[i].right = static_cast<int32_t>(kWidth) - 1 - inset;
      rec.rois[i].bottom = static_cast<int32_t>(kHeight) - 1 - inset;
    }
    return;
  }
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
        case kSlopes: {  // to and fro along a line through the image, one slope an entity
          const double angle = M_PI * (e / 100.0 - 0.5), reach = (k % 2 == 0 ? -1 : 1) * any(1e8, 1e9);
          p.x = cx + reach * std::cos(angle);
          p.y = cy + reach * std::sin(angle);
          break;
        }
        case kRois:  // holds no entities
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

// What RedrawOverlay draws for these records (the mode legend, the ROIs'
// outlines and crosses, then each polyline's lines and target marks), with
// lines and marks dot by dot.
void PerDotRedraw(Station& st) {
  ClearOverlay(st);
  const OverlayCanvas canvas = CanvasOf(st);
  DrawText(canvas, static_cast<int32_t>(st.image.width) - MarkScale(st.mark_size_class, 4),
           8 * static_cast<int32_t>(st.mark_size_class) + 8, "ROI", Rgb{192, 1, 1});
  const SolutionRecord& rec = *st.working;
  for (uint32_t i = 0; i < rec.roi_count; ++i) {
    const RoiRecord& r = rec.rois[i];
    DrawDashedRect(canvas, r.left, r.top, r.right, r.bottom, kRoiColour);
    const int32_t cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    per_dot::Line(canvas, cx - 12, cy, cx + 12, cy, kRoiColour);
    per_dot::Line(canvas, cx, cy - 12, cx, cy + 12, kRoiColour);
  }
  for (uint32_t e = 0; e < rec.entity_count; ++e) {
    const EntityPoint* p = rec.entities[e].points;
    for (uint32_t k = 0; k < rec.entities[e].point_count; ++k) {
      if (k > 0) {
        per_dot::Line(canvas, TruncToPixel(p[k - 1].x), TruncToPixel(p[k - 1].y),
                      TruncToPixel(p[k].x), TruncToPixel(p[k].y), kEntityPointColour);
      }
      per_dot::TargetMark(canvas, TruncToPixel(p[k].x), TruncToPixel(p[k].y), kEntityPointColour);
    }
  }
}

template <bool kSpans>
void BM_Redraw(benchmark::State& state) {
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
    RedrawOverlay(st);
    const std::vector<uint8_t> spans(im.overlay, im.overlay + im.size);
    PerDotRedraw(st);
    if (std::memcmp(spans.data(), im.overlay, im.size) != 0) {
      state.SkipWithError("the redraw differs from the dot by dot drawing");
    }
    for (auto _ : state) {
      if (kSpans) {
        RedrawOverlay(st);
      } else {
        PerDotRedraw(st);
      }
      benchmark::DoNotOptimize(im.overlay[0]);
    }
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_Redraw<false>)->Name("BM_Redraw/per_dot")->ArgName("good0_far1_crossing2_slopes3_rois4")
    ->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw<true>)->Name("BM_Redraw/spans")->ArgName("good0_far1_crossing2_slopes3_rois4")
    ->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// The lines alone.
template <bool kSpans>
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
        if (kSpans) {
          DrawLine(o.canvas, x1, y1, x2, y2, kEntityPointColour);
        } else {
          per_dot::Line(o.canvas, x1, y1, x2, y2, kEntityPointColour);
        }
      }
    }
    benchmark::DoNotOptimize(o.bytes[0]);
  }
}
BENCHMARK(BM_Lines<false>)->Name("BM_Lines/per_dot")->ArgName("good0_far1_crossing2_slopes3_rois4")
    ->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lines<true>)->Name("BM_Lines/spans")->ArgName("good0_far1_crossing2_slopes3_rois4")
    ->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane
