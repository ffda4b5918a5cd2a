// The results database. Protocol: a fresh folder under /tmp for each run.
//   BM_LocalParts: 10,000 parts of 20 dimensions recorded into RESULTS.DB,
//     a part a transaction (WAL, synced at each commit); rows/s.
//   BM_ServerParts: the same outbox sent to PostgreSQL named by
//     ORVANE_BENCH_RESULTS_URL (skipped without it); rows/s from the first
//     send to the empty outbox.
//   BM_OpenLarge: a database of 200,000 rows opened and read into the table
//     (what the station does at start); /1: as after a kill (its
//     write-ahead log left behind), when every page is checked first.
//   BM_LabelStatistics: one label's statistics over those 200,000 rows (20
//     labels) as the Results window takes them for a label filter: the
//     label's rows picked through the label index, their values read and
//     summarised.
//   BM_LabelStatisticsInMemory: the same from the table in memory, the
//     label index built first (a copied table has none).
// Run: build-bench/bench/results_db_bench --benchmark_min_time=0.01
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "results/db_pg.h"
#include "results/db_sqlite.h"
#include "results/query.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDimensions = 20;

fs::path FreshFolder() {
  char name[] = "/tmp/orvane-bench-XXXXXX";
  return fs::path(::mkdtemp(name));
}

orvane::ResultRow Dimension(int part, int d) {
  orvane::ResultRow r;
  r.kind = orvane::kKindLength;
  r.label = "D" + std::to_string(d);
  r.value = 10.0 + 0.001 * ((part * 31 + d) % 97);
  r.unit = "mm";
  r.uncertainty = 0.002;
  r.source = "camera 0";
  r.calibration = "50 px/mm";
  r.solution = "FLANGE";
  return r;
}

// Records `parts` parts into the database, a part a transaction.
bool Record(orvane::ResultsDb& db, orvane::ResultsTable& table, int parts) {
  for (int p = 0; p < parts; ++p) {
    for (int d = 0; d < kDimensions; ++d) table.Add(Dimension(p, d));
    orvane::PartRecord part;
    part.number = std::to_string(p + 1);
    part.program = "FLANGE";
    part.verdict = "pass";
    if (!db.AddPart(table, part, kDimensions)) return false;
  }
  return true;
}

void BM_LocalParts(benchmark::State& state) {
  const int parts = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path folder = FreshFolder();
    orvane::ResultsDb db;
    orvane::ResultsTable table;
    db.Open(folder / orvane::kResultsDbName);
    state.ResumeTiming();
    if (!Record(db, table, parts)) state.SkipWithError(db.error_text().c_str());
    state.PauseTiming();
    db.Close();
    fs::remove_all(folder);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * parts * kDimensions);
}
BENCHMARK(BM_LocalParts)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ServerParts(benchmark::State& state) {
  const char* url = std::getenv("ORVANE_BENCH_RESULTS_URL");
  if (url == nullptr) {
    state.SkipWithError("ORVANE_BENCH_RESULTS_URL is not set");
    return;
  }
  const int parts = static_cast<int>(state.range(0));
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path folder = FreshFolder();
    const fs::path path = folder / orvane::kResultsDbName;
    orvane::ResultsDb db;
    orvane::ResultsTable table;
    db.Open(path);
    db.FeedOutbox();
    Record(db, table, parts);
    // A station's name of its own each round: every row is new to the server.
    orvane::ResultsSender sender(path, url, "bench-" + std::to_string(::getpid()) + "-" +
                                                std::to_string(round++));
    state.ResumeTiming();
    if (!sender.WaitEmpty(600.0)) state.SkipWithError(sender.LastError().c_str());
    state.PauseTiming();
    db.Close();
    fs::remove_all(folder);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * parts * kDimensions);
}
BENCHMARK(BM_ServerParts)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// A database of 200,000 rows, made once.
const fs::path& LargeDatabase() {
  static const fs::path path = [] {
    const fs::path folder = FreshFolder();
    orvane::ResultsDb db;
    orvane::ResultsTable table;
    db.Open(folder / orvane::kResultsDbName);
    for (int p = 0; p < 10000; ++p) {
      for (int d = 0; d < kDimensions; ++d) table.Add(Dimension(p, d));
    }
    db.Store(table);
    return folder / orvane::kResultsDbName;
  }();
  return path;
}

void BM_OpenLarge(benchmark::State& state) {
  const fs::path& path = LargeDatabase();
  for (auto _ : state) {
    if (state.range(0) != 0) {
      state.PauseTiming();
      std::FILE* wal = std::fopen((path.string() + "-wal").c_str(), "a");
      if (wal != nullptr) std::fclose(wal);
      state.ResumeTiming();
    }
    orvane::ResultsDb db;
    orvane::ResultsTable table;
    if (db.Open(path) != orvane::DbOpen::Ok || !db.Load(&table)) state.SkipWithError("open");
    benchmark::DoNotOptimize(table.rows().size());
  }
}
BENCHMARK(BM_OpenLarge)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LabelStatistics(benchmark::State& state) {
  orvane::ResultsDb db;
  db.Open(LargeDatabase());
  std::unique_ptr<orvane::ResultsSource> source = orvane::LocalResults(db.handle(), "bench");
  orvane::ResultsFilter filter;
  filter.label = "D7";
  for (auto _ : state) {
    std::vector<orvane::ResultRow> values;
    if (source->Select(filter) != 10000 || !source->Values(&values)) state.SkipWithError("read");
    benchmark::DoNotOptimize(orvane::StatisticsOfRows(std::move(values), {}));
  }
}
BENCHMARK(BM_LabelStatistics)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LabelStatisticsInMemory(benchmark::State& state) {
  orvane::ResultsDb db;
  orvane::ResultsTable loaded;
  db.Open(LargeDatabase());
  db.Load(&loaded);
  for (auto _ : state) {
    state.PauseTiming();
    orvane::ResultsTable table = loaded; // a copy starts without its label index
    state.ResumeTiming();
    benchmark::DoNotOptimize(table.StatisticsOf("D7"));
  }
}
BENCHMARK(BM_LabelStatisticsInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
