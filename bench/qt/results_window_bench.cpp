// The Results window over a large table: opening it, and one new result
// reaching it (the table's change notice, as every new result sends).
#include <benchmark/benchmark.h>
#include <QApplication>

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
  Bench() {
    std::string name = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) std::abort();
    folder = name;
    station = std::make_unique<orvane::Station>(folder, &surface, &clock);
  }
  ~Bench() {
    station.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  void Fill(int64_t rows) {
    orvane::ResultsTable& table = orvane::ResultsOf(*station).table;
    for (int64_t i = 0; i < rows; ++i) Add(table, i);
  }
  static void Add(orvane::ResultsTable& table, int64_t i) {
    orvane::ResultRow r;
    r.kind = orvane::kKindLength;
    r.label = "P" + std::to_string(i % 1000);
    r.value = 10.0 + 0.001 * static_cast<double>(i % 97);
    r.unit = "in";
    table.Add(std::move(r));
  }
  std::filesystem::path folder;
  orvane::FakeSurface surface;
  orvane::ManualClock clock;
  std::unique_ptr<orvane::Station> station;
};

void BM_OpenResultsWindow(benchmark::State& state) {
  Bench b;
  b.Fill(state.range(0));
  for (auto _ : state) {
    orvane::qt::ResultsWindow w(*b.station);
    w.show();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_OpenResultsWindow)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_AppendToResultsWindow(benchmark::State& state) {
  Bench b;
  b.Fill(state.range(0));
  orvane::qt::ResultsWindow w(*b.station);
  w.show();
  QApplication::processEvents();
  orvane::ResultsSession& session = orvane::ResultsOf(*b.station);
  int64_t i = state.range(0);
  for (auto _ : state) {
    Bench::Add(session.table, i++);
    session.changed();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_AppendToResultsWindow)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace
