// The station headless on the fake surface: start-up in an empty folder up
// to the first display painted into the view, and Process of each solution
// on a 640 x 480 still image.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/bmp_file.h"
#include "acquisition/file_mode.h"
#include "solutions/process.h"
#include "station/clock.h"
#include "station/fake_surface.h"
#include "station/image_view.h"
#include "station/station.h"
#include "ui/commands.h"
#include "ui/main_window.h"
#include "workspace/solutions.h"

namespace {

using namespace orvane;

class Folder {
 public:
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// What the front end's paint does with the view's plan: every client pixel
// from its nearest image pixel.
size_t PaintView(const Station& st, std::vector<uint8_t>& client) {
  const int32_t w = static_cast<int32_t>(st.image.view_width);
  const int32_t h = static_cast<int32_t>(st.image.view_height);
  const auto plan = st.view.Paint(w, h);
  if (!plan || plan->bits == nullptr) return 0;
  const int32_t iw = st.view.width, ih = st.view.height;
  const size_t stride = (static_cast<size_t>(iw) * 3 + 3) & ~size_t(3);
  client.resize(static_cast<size_t>(w) * h * 3);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = plan->bits + static_cast<size_t>(StretchSource(y, h, ih)) * stride;
    uint8_t* out = &client[static_cast<size_t>(y) * w * 3];
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* p = row + static_cast<size_t>(StretchSource(x, w, iw)) * 3;
      out[x * 3] = p[0];
      out[x * 3 + 1] = p[1];
      out[x * 3 + 2] = p[2];
    }
  }
  return client.size();
}

void BM_StartUpToFirstPaint(benchmark::State& state) {
  std::vector<uint8_t> client;
  for (auto _ : state) {
    state.PauseTiming();
    auto folder = std::make_unique<Folder>();
    auto surface = std::make_unique<FakeSurface>();
    state.ResumeTiming();
    Station st(folder->path(), surface.get());
    StartUp(st, "orvane");
    benchmark::DoNotOptimize(PaintView(st, client));
    state.PauseTiming();
    EndProgram(st);
    folder.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpToFirstPaint)->Unit(benchmark::kMillisecond);

// A 640 x 480 picture of the calibration target (a dark ring around a bright
// disc) with a bar beside it, as a BMP file.
void WriteSample(const std::filesystem::path& path) {
  constexpr uint32_t w = 640, h = 480;
  ImageState image;
  image.width = w;
  image.height = h;
  std::vector<uint8_t> block(size_t(w) * h * 3);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const double d = std::hypot(x + 0.5 - 320.0, y + 0.5 - 240.0);
      uint8_t v = d < 30 ? 225 : d < 60 ? 30 : 200;
      if (x >= 450 && x < 560 && y >= 200 && y < 280) v = 40;
      // Bottom-up rows, as the file keeps them.
      uint8_t* p = &block[(size_t(h - 1 - y) * w + x) * 3];
      p[0] = p[1] = p[2] = v;
    }
  }
  WriteBmpFile(path, block.data(), static_cast<uint32_t>(block.size()), image);
}

struct ProcessStation {
  Folder folder;
  FakeSurface surface;
  std::unique_ptr<Station> station;

  explicit ProcessStation(uint32_t slot) {
    WriteSample(folder.path() / "sample.bmp");
    station = std::make_unique<Station>(folder.path(), &surface);
    Station& st = *station;
    StartUp(st, "orvane");
    DropStill(st);
    st.settings.calibrated = 1;
    st.settings.scale_x = st.settings.scale_y = 20.0;
    st.settings.calibrated_scale_x = st.settings.calibrated_scale_y = 20.0;
    st.settings.calibrated_width = 640;
    st.settings.calibrated_height = 480;
    st.settings.calibration_distance = 24.0;
    surface.SelectComboItem(ControlId::SolutionList, static_cast<int32_t>(slot));
    OnSelectionChange(st, ControlId::SolutionList);
    // One ROI over the bar (a line for DXF Auto Output), and for Manual
    // Measurement a set of two points.
    SolutionRecord& rec = *st.working;
    rec.roi_count = 1;
    rec.rois[0] = RoiRecord{440, 190, 570, 290, 130, 100, 2, 0, 0, 0, 0};
    SetRelativeCorners(rec.rois[0], 640, 480);
    if (rec.id == 101) {
      rec.meas_count = 1;
      rec.meas_points[0] = 2;
      rec.meas_depth[0] = 24.0;
      rec.meas_point[0][0] = {100, 100, 24.0, {}};
      rec.meas_point[0][1] = {400, 300, 24.0, {}};
    }
  }

  void DropStill(Station& st) { DropStillFile(st, (folder.path() / "sample.bmp").string()); }
};

const char* const kSolutionNames[] = {"AutoCalibration",   "ManualCalibration",
                                      "ManualMeasurement", "DxfAutoOutput",
                                      "DxfSimpleOutput",   "DxfTraceOutput"};

void BM_Process(benchmark::State& state) {
  const auto slot = static_cast<uint32_t>(state.range(0));
  ProcessStation p(slot);
  state.SetLabel(kSolutionNames[slot]);
  for (auto _ : state) {
    ProcessCommand(*p.station);
    benchmark::ClobberMemory();
  }
  if (!p.surface.message_boxes().empty()) {
    state.SkipWithError(("message box: " + p.surface.message_boxes().front().text).c_str());
  }
}
BENCHMARK(BM_Process)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

} // namespace
