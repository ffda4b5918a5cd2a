// The live area on the virtual camera (offscreen): the pictures it paints a
// second, the longest time between two paints, and the CPU the whole
// process spends (the virtual camera's own thread included), with the
// window idle and while Process runs every half second.
//
// Counters: fps, worst_gap_ms, late_gaps (gaps of 37 ms and more: over 1.1
// intervals at 30 a second), gap_p999_ms (the whole milliseconds 999 in 1000
// gaps stay below), cpu_percent (the whole process), camera_percent
// (the virtual camera's drawing thread alone, which a real camera does not
// have) and own_percent (the rest: the station's own work). Sizes:
// ORVANE_VIRTUAL_FORMATS is set per case; ORVANE_LIVE_BENCH_SECONDS sets how
// long each case runs (4 s unless set).
#include <benchmark/benchmark.h>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/video/virtual_camera.h"

#include "ui/qt/front_end.h"
#include "ui/qt/live_video_widget.h"
#include "ui/qt/qt_surface.h"

namespace {

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// CPU seconds of the process's threads named `name` so far (from /proc).
double ThreadCpuSeconds(const std::string& name) {
  double ticks = 0;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
    std::ifstream comm(task.path() / "comm");
    std::string thread_name;
    std::getline(comm, thread_name);
    if (thread_name != name) continue;
    std::ifstream stat_file(task.path() / "stat");
    std::string stat((std::istreambuf_iterator<char>(stat_file)), std::istreambuf_iterator<char>());
    // Fields after the parenthesised name: state is field 3, utime 14, stime 15.
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i >= 14) ticks += std::stod(field);
    }
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Runs the event loop for `ms` milliseconds the way the program's own loop
// runs: blocked until the next event. QTest::qWait sleeps up to 10 ms between
// its rounds of events, which would add to every gap measured here.
void RunEventLoopFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

double BenchSeconds() {
  const char* s = std::getenv("ORVANE_LIVE_BENCH_SECONDS");
  return s != nullptr && std::atof(s) > 0 ? std::atof(s) : 4.0;
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
    RunEventLoopFor(1000); // the camera settles
    orvane::qt::LiveVideoWidget* live = front.surface().live_video();
    live->ResetStats();
    const double cpu0 = CpuSeconds();
    const double camera0 = ThreadCpuSeconds(orvane::video::kVirtualCameraThreadName);
    QElapsedTimer clock;
    clock.start();
    while (static_cast<double>(clock.elapsed()) < BenchSeconds() * 1000.0) {
      RunEventLoopFor(500);
      if (enlarge) front.surface().events().command(orvane::ControlId::Enlarge);
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const orvane::qt::LivePaintStats& s = live->stats();
    state.SetIterationTime(seconds);
    state.counters["fps"] = static_cast<double>(s.frames) / seconds;
    state.counters["worst_gap_ms"] = s.worst_gap_ms;
    // Paints that came later than 1.1 intervals of the camera's 30 a second
    // after the one before, and the gap 999 in 1000 gaps stay within.
    uint64_t gaps = 0, late = 0;
    for (size_t ms = 0; ms < s.gap_counts.size(); ++ms) {
      gaps += s.gap_counts[ms];
      if (static_cast<double>(ms) >= 1.1 * 1000.0 / 30.0) late += s.gap_counts[ms];
    }
    uint64_t below = 0;
    size_t p999 = 0;
    while (p999 < s.gap_counts.size() && (below += s.gap_counts[p999]) * 1000 < gaps * 999) ++p999;
    state.counters["late_gaps"] = static_cast<double>(late);
    state.counters["gap_p999_ms"] = static_cast<double>(p999 + 1);
    const double cpu = 100.0 * (CpuSeconds() - cpu0) / seconds;
    const double camera =
        100.0 * (ThreadCpuSeconds(orvane::video::kVirtualCameraThreadName) - camera0) / seconds;
    state.counters["cpu_percent"] = cpu;
    state.counters["camera_percent"] = camera;
    state.counters["own_percent"] = cpu - camera;
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
