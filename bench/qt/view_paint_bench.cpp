// Painting a 1920 x 1080 display into the image view: the nearest-neighbour
// stretch alone, and the whole paint of the widget (stretch and draw), at
// the view's normal and enlarged sizes and at scale factor 2, at fit and
// zoomed in to 16x (the overview included).
#include <benchmark/benchmark.h>
#include <QPixmap>

#include <vector>

#include "station/image_view.h"
#include "ui/qt/image_view_widget.h"
#include "ui/qt/stretch.h"
#include "view/zoom.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::vector<uint8_t> Display() {
  std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 31 + i / 7);
  return pixels;
}

void BM_Stretch(benchmark::State& state) {
  const std::vector<uint8_t> display = Display();
  const orvane::qt::SourcePixels source{display.data(), kWidth, kHeight, kWidth * 3, 3};
  const auto w = static_cast<int32_t>(state.range(0));
  const auto h = static_cast<int32_t>(state.range(1));
  for (auto _ : state) {
    QImage image = orvane::qt::StretchNearest(source, w, h);
    benchmark::DoNotOptimize(image.constBits());
  }
}
// Normal 16:9 view, enlarged view, the enlarged view on a scale-2 screen.
BENCHMARK(BM_Stretch)->Args({464, 261})->Args({1040, 585})->Args({2080, 1170})
    ->Unit(benchmark::kMillisecond);

void BM_PaintView(benchmark::State& state) {
  const std::vector<uint8_t> display = Display();
  orvane::ImageView view;
  view.SetFormat(kWidth, kHeight, 24);
  view.bits = display.data();
  orvane::qt::ImageViewWidget widget(nullptr);
  widget.SetView(&view);
  widget.resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const orvane::ZoomArea area{kWidth, kHeight, double(state.range(0)), double(state.range(1))};
  view.zoom = orvane::CentreOn(area, static_cast<double>(state.range(2)), 777.0, 555.0);
  for (auto _ : state) {
    QPixmap painted = widget.grab();
    benchmark::DoNotOptimize(painted.cacheKey());
  }
}
// Third argument: the zoom (view pixels per image pixel), 0 for fit.
BENCHMARK(BM_PaintView)->Args({464, 261, 0})->Args({1040, 585, 0})->Args({1040, 585, 16})
    ->Args({1040, 585, 4})->Unit(benchmark::kMillisecond);

// The zoomed sampling alone, 16x into the enlarged view.
void BM_SampleZoomed(benchmark::State& state) {
  const std::vector<uint8_t> display = Display();
  const orvane::qt::SourcePixels source{display.data(), kWidth, kHeight, kWidth * 3, 3};
  const orvane::ViewZoom z = orvane::CentreOn({kWidth, kHeight, 1040.0, 585.0}, 16.0, 777, 555);
  for (auto _ : state) {
    QImage image = orvane::qt::SampleNearest(
        source, orvane::qt::ZoomTable(z.origin_x, z.scale, 1040, kWidth),
        orvane::qt::ZoomTable(z.origin_y, z.scale, 585, kHeight), 0xFF202020u);
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_SampleZoomed)->Unit(benchmark::kMillisecond);

} // namespace
