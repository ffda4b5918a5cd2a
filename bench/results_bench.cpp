// Per-label statistics of a large results table: a million rows under ten
// labels, and 118,000 labels over 236,000 and 1.2 million rows (one label a
// part), rows in inches and centimetres.
#include <benchmark/benchmark.h>

#include <string>

#include "results/table.h"

namespace {

orvane::ResultsTable Table(int64_t rows, int64_t labels) {
  orvane::ResultsTable table;
  for (int64_t i = 0; i < rows; ++i) {
    orvane::ResultRow r;
    r.kind = orvane::kKindLength;
    r.label = "P" + std::to_string(i % labels);
    r.value = 10.0 + 0.001 * static_cast<double>(i % 97);
    r.unit = i % 3 == 0 ? "cm" : "in";
    table.Add(std::move(r));
  }
  return table;
}

// The first call also indexes the table by label (as when the Results
// window opens); later calls find the index ready.
void BM_StatisticsFirstCall(benchmark::State& state) {
  const orvane::ResultsTable original = Table(state.range(0), state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    const orvane::ResultsTable table = original;
    state.ResumeTiming();
    auto stats = table.Statistics();
    benchmark::DoNotOptimize(stats.data());
  }
}
BENCHMARK(BM_StatisticsFirstCall)->Args({1000000, 10})->Args({236000, 118000})->Args({1200000, 118000})
    ->Unit(benchmark::kMillisecond);

void BM_Statistics(benchmark::State& state) {
  const orvane::ResultsTable table = Table(state.range(0), state.range(1));
  table.Statistics();
  for (auto _ : state) {
    auto stats = table.Statistics();
    benchmark::DoNotOptimize(stats.data());
  }
}
BENCHMARK(BM_Statistics)->Args({1000000, 10})->Args({236000, 118000})->Args({1200000, 118000})
    ->Unit(benchmark::kMillisecond);

} // namespace
