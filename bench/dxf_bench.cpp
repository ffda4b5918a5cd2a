// DXF export speed: the writer alone, DXF Simple Output on a full HD frame with
// about 200,000 edge pixels, and DXF Auto Output tracing the outline of a disc.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/acquisition.h"
#include "dxf/dxf_solutions.h"
#include "dxf/writer.h"
#include "station/image_state.h"
#include "station/station.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

constexpr uint32_t kWidth = 1920;
constexpr uint32_t kHeight = 1080;

// A station in its own temporary folder, calibrated so that k = 0.02 in.,
// with a 1920 x 1080 image drawn by `draw(x, y)` (grey value per pixel).
class BenchStation {
 public:
  template <typename Draw>
  BenchStation(uint32_t id, Draw draw) {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    folder_ = pattern;
    station_ = std::make_unique<Station>(folder_);
    Station& st = *station_;
    ImageState& im = st.image;
    im.width = kWidth;
    im.height = kHeight;
    im.stride = kWidth * 3;
    im.size = im.stride * kHeight;
    buffers_.Allocate(im.size);
    for (uint32_t y = 0; y < kHeight; ++y) {
      for (uint32_t x = 0; x < kWidth; ++x) {
        std::memset(&buffers_.frame[(y * kWidth + x) * 3], draw(x, y), 3);
      }
    }
    picture_ = buffers_.frame;
    im.frame = buffers_.frame.data();
    im.overlay = buffers_.overlay.data();
    im.display = buffers_.display.data();
    st.settings.scale_x = 50.0;
    st.settings.calibration_distance = 24.0;
    st.settings.unit_factor = 1.0;
    PublishGeometry(st);
    const uint32_t count = BuildDefaultSolutions(*st.table);
    for (uint32_t i = 0; i < count; ++i) {
      if (st.table->slots[i].id == id) *st.working = st.table->slots[i];
    }
    st.working->roi_count = 0;
  }
  ~BenchStation() {
    station_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  Station& station() { return *station_; }
  SolutionRecord& record() { return *station_->working; }
  void AddRoi(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t type) {
    RoiRecord& roi = record().rois[record().roi_count++];
    roi = RoiRecord{left, top, right, bottom, right - left, bottom - top, type, 0, 0, 0, 0};
  }
  void RestorePicture() { std::memcpy(buffers_.frame.data(), picture_.data(), picture_.size()); }
  int64_t PointRecords() {
    std::vector<uint8_t> text;
    const std::string all = ReadDrawing();
    int64_t n = 0;
    for (size_t p = 0; (p = all.find("POINT\r\n", p)) != std::string::npos; ++p) ++n;
    return n;
  }
  std::string ReadDrawing() {
    FILE* f = std::fopen(station_->PathOf(kDxfFileName).c_str(), "rb");
    std::string text;
    if (f == nullptr) return text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
    std::fclose(f);
    return text;
  }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<Station> station_;
  ImageBuffers buffers_;
  std::vector<uint8_t> picture_;
};

// POINT records alone, written to the drawing file one write each.
void BM_WriterPoints(benchmark::State& state) {
  BenchStation bench(202, [](uint32_t, uint32_t) { return 0; });
  const int64_t n = 200000;
  for (auto _ : state) {
    DxfFileSink sink(bench.station().PathOf(kDxfFileName));
    DxfBegin(sink);
    for (int64_t i = 0; i < n; ++i) {
      const int32_t x = static_cast<int32_t>(i % kWidth);
      const int32_t y = static_cast<int32_t>(i / kWidth);
      DxfPoint(sink, DxfX(x, 0.02), DxfY(y, kHeight, 0.02), 0.0);
    }
    DxfEnd(sink);
  }
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(n * state.iterations()),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WriterPoints)->Unit(benchmark::kMillisecond)->UseRealTime();

// Vertical stripes 20 pixels wide: 96 steps, two edge columns each, on the
// 1078 interior rows: 206,976 edge pixels.
void BM_SimpleOutputFullFrame(benchmark::State& state) {
  BenchStation bench(202, [](uint32_t x, uint32_t) { return (x / 20) % 2 ? 200 : 20; });
  bench.AddRoi(0, 0, kWidth - 1, kHeight - 1, 0);
  int64_t points = 0;
  for (auto _ : state) {
    state.PauseTiming();
    bench.RestorePicture(); // the run leaves the edge image in the frame
    state.ResumeTiming();
    DxfSimpleOutput(bench.station(), bench.record());
  }
  points = bench.PointRecords();
  state.counters["points"] = static_cast<double>(points);
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(points * state.iterations()),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimpleOutputFullFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// A dark disc of radius 400 in the middle of the frame; the Line ROI sits on
// its right edge, and the two branches follow the outline round the disc.
void BM_AutoOutputTraceDisc(benchmark::State& state) {
  BenchStation bench(201, [](uint32_t x, uint32_t y) {
    const int64_t dx = int64_t{x} - 960;
    const int64_t dy = int64_t{y} - 540;
    return dx * dx + dy * dy <= 400 * 400 ? 30 : 220;
  });
  bench.AddRoi(1330, 510, 1390, 570, 2);
  for (auto _ : state) DxfAutoOutput(bench.station(), bench.record());
  const std::string text = bench.ReadDrawing();
  int64_t lines = 0;
  for (size_t p = 0; (p = text.find("LINE\r\n", p)) != std::string::npos; ++p) ++lines;
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["trace_points"] = bench.station().trace.count();
}
BENCHMARK(BM_AutoOutputTraceDisc)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace orvane
