// The live area on the virtual camera (offscreen): the pictures it paints a
// second, the longest time between two paints, and the CPU the whole
// process spends (the virtual camera's own thread included), with the
// window idle and while Process runs every half second.
//
// Counters: fps, worst_gap_ms, late_gaps (gaps of 37 ms and more: over 1.1
// intervals at 30 a second), gap_p999_ms (the whole milliseconds 999 in 1000
// gaps stay below), cpu_percent (the whole process), camera_percent
// (the virtual camera's drawing thread alone, which a real camera does not
// have) and own_percent (the rest: the station's own work). Beside the
// paints' gaps, camera_late_gaps and camera_worst_gap_ms are the same
// figures of the camera's pictures as it handed them over;
// paint_latency_worst_ms is the longest a picture waited from its hand-over
// to its paint, and the late paints of new pictures are split into
// late_paints_after_late_picture, late_paints_by_paint_path and
// late_paints_missed_picture; enlarge_worst_ms is the Enlarge command's own
// longest run. Sizes:
// ORVANE_VIRTUAL_FORMATS is set per case; ORVANE_LIVE_BENCH_SECONDS sets how
// long each case runs (4 s unless set). The Rectified cases see the scene
// through a lens (k1 -0.2, 10 degrees of tilt) and rectify every picture
// with a grid calibration fitted as grid-calibrate fits it.
#include <benchmark/benchmark.h>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

#include "acquisition/rectification.h"
#include "platform/video/virtual_camera.h"
#include "platform/video/virtual_lens.h"
#include "rectify/grid_calibration.h"
#include "rectify/rectification_file.h"

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

constexpr const char* kBenchLens = "k1=-0.2,tilt=10";

// A gap longer than 1.1 intervals of the camera's 30 pictures a second.
constexpr double kLateGapMs = 1.1 * 1000.0 / 30.0;

// The camera's own rhythm: the time between two pictures handed over,
// taken on the capture thread just after each is published, so that a late
// paint after a late picture can be told from one our paint path made late.
class PublicationGaps {
 public:
  struct Newest {
    uint64_t count = 0;   // pictures handed over so far
    int64_t at_ns = 0;    // the steady clock at the newest one's hand-over
    double gap_ms = 0.0;  // since the one before it
  };
  void Add() {
    const int64_t now = NowNs();
    std::lock_guard lock(mutex_);
    newest_.gap_ms = newest_.count > 0 ? static_cast<double>(now - newest_.at_ns) / 1e6 : 0.0;
    newest_.at_ns = now;
    if (newest_.count++ > 0 && counting_) {
      worst_ms_ = std::max(worst_ms_, newest_.gap_ms);
      if (std::floor(newest_.gap_ms) >= kLateGapMs) ++late_; // as the paints' gaps are counted
    }
    counting_ = true;
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    counting_ = false;
    worst_ms_ = 0;
    late_ = 0;
  }
  Newest newest() {
    std::lock_guard lock(mutex_);
    return newest_;
  }
  double worst_ms() {
    std::lock_guard lock(mutex_);
    return worst_ms_;
  }
  uint64_t late() {
    std::lock_guard lock(mutex_);
    return late_;
  }
  static int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 private:
  std::mutex mutex_;
  Newest newest_;
  bool counting_ = false; // the first gap after Reset is not counted
  double worst_ms_ = 0;
  uint64_t late_ = 0;
};

// Each paint of a new picture as the area receives it (an event filter; a
// paint with no new picture since the one before, the window resized, is
// left out): how long after its hand-over it is painted, and for each late
// paint (1.1 intervals or more after the paint of the picture before) why:
// a picture was never painted (two arrived between the paints), the picture
// itself came late, or neither, so the paint path made it late.
class PicturePaints : public QObject {
 public:
  explicit PicturePaints(PublicationGaps& published) : published_(published) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    const PublicationGaps::Newest picture = published_.newest();
    if (event->type() == QEvent::Paint && picture.count != painted_.count) {
      const int64_t now = PublicationGaps::NowNs();
      const double latency = static_cast<double>(now - picture.at_ns) / 1e6;
      worst_latency_ms = std::max(worst_latency_ms, latency);
      if (have_painted_ && std::floor(static_cast<double>(now - painted_at_ns_) / 1e6) >= kLateGapMs) {
        if (picture.count - painted_.count > 1) {
          ++late_missed_picture;
        } else if (std::floor(picture.gap_ms) >= kLateGapMs) {
          ++late_after_late_picture;
        } else {
          ++late_by_paint_path;
        }
      }
      painted_ = picture;
      painted_at_ns_ = now;
      have_painted_ = true;
    }
    return QObject::eventFilter(watched, event);
  }

  double worst_latency_ms = 0;
  uint64_t late_after_late_picture = 0;
  uint64_t late_by_paint_path = 0;
  uint64_t late_missed_picture = 0;

 private:
  PublicationGaps& published_;
  PublicationGaps::Newest painted_;
  int64_t painted_at_ns_ = 0;
  bool have_painted_ = false;
};

// The rectification file for the virtual camera at width x height, fitted
// on one view of the dot grid seen through the bench's lens, as
// grid-calibrate does; false when the grid is not found or the fit fails.
bool WriteRectification(const std::filesystem::path& folder, uint32_t width, uint32_t height) {
  namespace rectify = orvane::rectify;
  orvane::video::VirtualLens lens;
  orvane::video::Picture picture;
  if (!orvane::video::ParseVirtualLens(kBenchLens, &lens) ||
      !orvane::video::DrawSyntheticScene(orvane::video::kVirtualGridSource, lens, width, height, &picture)) {
    return false;
  }
  const rectify::GridSpec spec{rectify::GridKind::Dots, orvane::video::kGridRows, orvane::video::kGridCols, 1.0};
  std::vector<std::vector<rectify::Point2>> views(1);
  if (!rectify::DetectGrid(picture.bgrx.data(), width, height, size_t{width} * 4, spec, &views[0])) return false;
  std::string error;
  const std::optional<rectify::GridFit> fit = rectify::FitGrid(spec, views, width, height, &error);
  if (!fit) return false;
  rectify::RectificationRecord record;
  record.camera = orvane::video::kVirtualCameraName;
  record.grid = spec;
  record.figures = fit->figures;
  record.model = fit->model;
  return orvane::SaveRectificationFile(folder / rectify::kRectificationFile, record, &error);
}

void RunLive(benchmark::State& state, const char* formats, bool enlarge, bool rectified = false) {
  setenv("ORVANE_VIRTUAL_CAMERA", "scene", 1);
  setenv("ORVANE_VIRTUAL_FORMATS", formats, 1);
  if (rectified) {
    setenv(orvane::video::kVirtualLensVariable, kBenchLens, 1);
  } else {
    unsetenv(orvane::video::kVirtualLensVariable);
  }
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("orvane-live-bench-" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  uint32_t width = 0, height = 0;
  if (rectified && (std::sscanf(formats, "%ux%u", &width, &height) != 2 ||
                    !WriteRectification(folder, width, height))) {
    state.SkipWithError("no grid calibration for the bench's lens");
    return;
  }
  for (auto _ : state) {
    orvane::qt::FrontEnd front(folder);
    // Every picture's arrival is counted before the live area is asked.
    PublicationGaps published;
    auto& arrived = front.station().hooks.live_picture_arrived;
    arrived = [&published, area = arrived] {
      published.Add();
      if (area) area();
    };
    front.Start("orvane");
    front.Show();
    RunEventLoopFor(1000); // the camera settles
    if (rectified && orvane::RectificationNote(front.station()) != "Rectified") {
      state.SkipWithError("rectification is not on");
      break;
    }
    orvane::qt::LiveVideoWidget* live = front.surface().live_video();
    PicturePaints paints(published);
    live->installEventFilter(&paints);
    live->ResetStats();
    published.Reset();
    const double cpu0 = CpuSeconds();
    const double camera0 = ThreadCpuSeconds(orvane::video::kVirtualCameraThreadName);
    double enlarge_worst_ms = 0;
    QElapsedTimer clock;
    clock.start();
    while (static_cast<double>(clock.elapsed()) < BenchSeconds() * 1000.0) {
      RunEventLoopFor(500);
      if (enlarge) {
        QElapsedTimer command;
        command.start();
        front.surface().events().command(orvane::ControlId::Enlarge);
        enlarge_worst_ms = std::max(enlarge_worst_ms, static_cast<double>(command.nsecsElapsed()) / 1e6);
      }
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
      if (static_cast<double>(ms) >= kLateGapMs) late += s.gap_counts[ms];
    }
    uint64_t below = 0;
    size_t p999 = 0;
    while (p999 < s.gap_counts.size() && (below += s.gap_counts[p999]) * 1000 < gaps * 999) ++p999;
    state.counters["late_gaps"] = static_cast<double>(late);
    state.counters["gap_p999_ms"] = static_cast<double>(p999 + 1);
    state.counters["camera_late_gaps"] = static_cast<double>(published.late());
    state.counters["camera_worst_gap_ms"] = published.worst_ms();
    state.counters["paint_latency_worst_ms"] = paints.worst_latency_ms;
    state.counters["late_paints_after_late_picture"] = static_cast<double>(paints.late_after_late_picture);
    state.counters["late_paints_by_paint_path"] = static_cast<double>(paints.late_by_paint_path);
    state.counters["late_paints_missed_picture"] = static_cast<double>(paints.late_missed_picture);
    if (enlarge) state.counters["enlarge_worst_ms"] = enlarge_worst_ms;
    live->removeEventFilter(&paints);
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
void BM_LiveRectifiedIdle1080(benchmark::State& s) { RunLive(s, "1920x1080:RGB", false, true); }
void BM_LiveRectifiedEnlarge1080(benchmark::State& s) { RunLive(s, "1920x1080:RGB", true, true); }
BENCHMARK(BM_LiveIdle640)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LiveIdle1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LiveEnlarge640)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LiveEnlarge1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LiveRectifiedIdle1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_LiveRectifiedEnlarge1080)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
