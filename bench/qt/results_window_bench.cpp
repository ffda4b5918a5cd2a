// The Results window over a large database: opening it on a station that
// has started (its table read), one new result reaching it, and scrolling
// it end to end a page at a time. Protocol: a fresh folder under /tmp whose
// RESULTS.DB holds N rows (20 labels) before the station starts; the
// station's own start (reading the table) is outside the timing and is
// measured by results_db_bench's BM_OpenLarge.
// Run: build/bench/results_window_bench --benchmark_min_time=0.01
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QScrollBar>
#include <QTableView>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "results/session.h"
#include "station/clock.h"
#include "station/fake_surface.h"
#include "station/station.h"
#include "ui/qt/results_window.h"

namespace {

struct Bench {
  explicit Bench(int64_t rows) {
    std::string name = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) std::abort();
    folder = name;
    {
      orvane::ResultsTable table;
      for (int64_t i = 0; i < rows; ++i) table.Add(Row(i));
      orvane::ResultsDb db;
      if (db.Open(folder / orvane::kResultsDbName) != orvane::DbOpen::Ok || !db.Store(table)) std::abort();
    }
    station = std::make_unique<orvane::Station>(folder, &surface, &clock);
    orvane::ResultsOf(*station);
  }
  ~Bench() {
    station.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  static orvane::ResultRow Row(int64_t i) {
    orvane::ResultRow r;
    r.kind = orvane::kKindLength;
    r.label = "D" + std::to_string(i % 20 + 1);
    r.value = 10.0 + 0.001 * static_cast<double>(i % 97);
    r.unit = "mm";
    r.source = "camera 0";
    r.solution = "FLANGE";
    return r;
  }
  std::filesystem::path folder;
  orvane::FakeSurface surface;
  orvane::ManualClock clock;
  std::unique_ptr<orvane::Station> station;
};

void BM_OpenResultsWindow(benchmark::State& state) {
  Bench b(state.range(0));
  for (auto _ : state) {
    orvane::qt::ResultsWindow w(*b.station);
    w.show();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_OpenResultsWindow)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A result recorded (committed to the disk) and shown.
void BM_AppendToResultsWindow(benchmark::State& state) {
  Bench b(state.range(0));
  orvane::qt::ResultsWindow w(*b.station);
  w.show();
  QApplication::processEvents();
  int64_t i = state.range(0);
  for (auto _ : state) {
    orvane::AddResult(*b.station, Bench::Row(i++));
    QApplication::processEvents();
  }
}
BENCHMARK(BM_AppendToResultsWindow)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The table scrolled from top to bottom, a page at a time, each painted.
void BM_ScrollResultsWindow(benchmark::State& state) {
  Bench b(state.range(0));
  orvane::qt::ResultsWindow w(*b.station);
  w.resize(1000, 760);
  w.show();
  QApplication::processEvents();
  QScrollBar* bar = w.rows()->verticalScrollBar();
  int64_t pages = 0;
  for (auto _ : state) {
    bar->setValue(bar->value() >= bar->maximum() ? 0 : bar->value() + bar->pageStep());
    w.rows()->viewport()->repaint();
    ++pages;
  }
  state.SetItemsProcessed(pages);
}
BENCHMARK(BM_ScrollResultsWindow)->Arg(200000)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
