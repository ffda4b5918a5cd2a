// The live area on the virtual camera (offscreen): the pictures it paints a
// second, the longest time between two paints, and the CPU the whole
// process spends (the virtual camera's own thread included), with the
// window idle and while Process runs every half second.
//
// Counters: fps, worst_gap_ms, cpu_percent. Sizes: ORVANE_VIRTUAL_FORMATS
// is set per case.
#include <benchmark/benchmark.h>
#include <QElapsedTimer>
#include <QTest>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "ui/qt/front_end.h"
#include "ui/qt/live_video_widget.h"
#include "ui/qt/qt_surface.h"

namespace {

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void RunLive(benchmark::State& state, const char* formats, bool enlarge) {
  setenv("ORVANE_VIRTUAL_CAMERA", "scene", 1);
  setenv("ORVANE_VIRTUAL_FORMATS", formats, 1);
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("orvane-live-bench-" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  for (auto _ : state) {
    orvane::qt::FrontEnd front(folder);
    front.Start("orvane");
    front.Show();
    QTest::qWait(1000); // the camera settles
    orvane::qt::LiveVideoWidget* live = front.surface().live_video();
    live->ResetStats();
    const double cpu0 = CpuSeconds();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 4000) {
      QTest::qWait(500);
      if (enlarge) front.surface().events().command(orvane::ControlId::Enlarge);
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const orvane::qt::LivePaintStats& s = live->stats();
    state.SetIterationTime(seconds);
    state.counters["fps"] = static_cast<double>(s.frames) / seconds;
    state.counters["worst_gap_ms"] = s.worst_gap_ms;
    state.counters["cpu_percent"] = 100.0 * (CpuSeconds() - cpu0) / seconds;
    state.counters["stretch_ms"] = s.frames ? s.stretch_ms_total / static_cast<double>(s.frames) : 0;
  }
  std::filesystem::remove_all(folder);
}

void BM_LiveIdle640(benchmark::State& s) { RunLive(s, "640x480:RGB", false); }
void BM_LiveIdle1080(benchmark::State& s) { RunLive(s, "1920x1080:RGB", false); }
void BM_LiveEnlarge640(benchmark::State& s) { RunLive(s, "640x480:RGB", true); }
void BM_LiveEnlarge1080(benchmark::State& s) { RunLive(s, "1920x1080:RGB", true); }
BENCHMARK(BM_LiveIdle640)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LiveIdle1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LiveEnlarge640)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LiveEnlarge1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
