// GenICam cameras: the conversion of one 1920 x 1080 picture of each kind
// into the live area's pictures, and, against the simulated GigE Vision
// camera on 127.0.0.1 (when the tests' simulator is built), the station's own
// work while live at 1920 x 1080 Mono8 and 25 pictures a second (the
// processor time of its capture thread, "orvane-gcam", beside that of the
// whole process, which holds the camera library's receiving threads), and
// the latency of a grab from the command to the picture in the frame, in
// frame intervals (mean, 95th percentile and worst of 200 grabs at random
// moments), with its two parts: the wait for the camera to begin a picture
// and the picture's delivery.
//
// Protocol: build with ORVANE_BENCH=ON (RelWithDebInfo or Release) and run
//   build/bench/genicam_bench --benchmark_min_time=1
// on an otherwise idle machine; the live case takes 5 s an iteration.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/video/genicam_pixels.h"

#ifdef ORVANE_GV_SIMULATOR
#include "../tests/camera/simulator.h"
#include "acquisition/camera_capture.h"
#include "platform/video/aravis_camera.h"
#include "station/workspace.h"
#include "station/clock.h"
#include "station/fake_surface.h"
#endif

namespace {

constexpr uint32_t kW = 1920, kH = 1080;

void BM_GenicamToBgrx(benchmark::State& state) {
  const auto code = static_cast<uint32_t>(state.range(0));
  std::vector<uint8_t> in(orvane::video::GenicamImageBytes(code, kW, kH));
  std::mt19937 random(1);
  for (uint8_t& b : in) b = static_cast<uint8_t>(random());
  std::vector<uint8_t> out(size_t{kW} * kH * 4);
  for (auto _ : state) {
    orvane::video::GenicamToBgrx(code, in.data(), in.size(), kW, kH, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel(std::string(orvane::video::GenicamFormatName(code)));
}
BENCHMARK(BM_GenicamToBgrx)
    ->Arg(0x01080001)
    ->Arg(0x01100005)
    ->Arg(0x01080009)
    ->Arg(0x02180014)
    ->Unit(benchmark::kMillisecond);

#ifdef ORVANE_GV_SIMULATOR

// Processor seconds of this process's threads called `name` (all when empty).
double ThreadSeconds(const std::string& name) {
  double ticks = 0;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return 0;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string base = std::string("/proc/self/task/") + e->d_name;
    std::string comm;
    std::getline(std::ifstream(base + "/comm"), comm);
    if (!name.empty() && comm != name) continue;
    std::string stat;
    std::getline(std::ifstream(base + "/stat"), stat);
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    unsigned long utime = 0, stime = 0;
    // Fields after the name: state is the 3rd, utime the 14th, stime the 15th.
    std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime);
    ticks += double(utime + stime);
  }
  closedir(dir);
  return ticks / double(sysconf(_SC_CLK_TCK));
}

struct LiveStation {
  orvane::testing::GvSimulator simulator{"BENCH" + std::to_string(getpid())};
  std::filesystem::path folder = std::filesystem::temp_directory_path() / ("genicam_bench" + std::to_string(getpid()));
  orvane::FakeSurface surface;
  orvane::ManualClock clock;
  std::unique_ptr<orvane::Station> station;
  bool ok = false;

  LiveStation() {
    std::filesystem::create_directories(folder);
    if (!simulator.Start()) return;
    station = std::make_unique<orvane::Station>(folder, &surface, &clock);
    orvane::OpenWorkspace(*station);
    orvane::UseVideoBackend(*station, orvane::video::MakeAravisBackend());
    orvane::CaptureOf(*station).wanted_name = simulator.name();
    station->image.width = kW;
    station->image.height = kH;
    station->settings.camera_pixel_format = 0x01080001;
    ok = orvane::StartCamera(*station, 0) && station->image.width == kW &&
         orvane::CaptureOf(*station).device->SetControl("FrameRate", 25.0);
  }
  ~LiveStation() {
    if (station) orvane::CloseCamera(*station);
    station.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
};

void BM_SimulatedCameraLive(benchmark::State& state) {
  LiveStation live;
  if (!live.ok) return state.SkipWithError("the simulated camera did not open at 1920 x 1080 Mono8");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  double own = 0, all = 0, seconds = 0;
  for (auto _ : state) {
    const double own0 = ThreadSeconds(orvane::video::kGenicamThreadName), all0 = ThreadSeconds("");
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    own += ThreadSeconds(orvane::video::kGenicamThreadName) - own0;
    all += ThreadSeconds("") - all0;
  }
  const orvane::video::StreamCounts counts = orvane::CaptureOf(*live.station).device->Counts();
  state.counters["station_core_pct"] = 100.0 * own / seconds;
  state.counters["process_core_pct"] = 100.0 * all / seconds;
  state.counters["frames"] = double(counts.frames);
  state.counters["incomplete"] = double(counts.incomplete);
}
BENCHMARK(BM_SimulatedCameraLive)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

constexpr double kIntervalMs = 1000.0 / 25.0;

// Mean, 95th percentile and worst of `ms`, in frame intervals, as counters
// named `prefix`_mean, _p95 and _worst.
void CountIntervals(benchmark::State& state, const std::string& prefix, std::vector<double> ms) {
  if (ms.empty()) return;
  std::sort(ms.begin(), ms.end());
  double sum = 0;
  for (double m : ms) sum += m;
  state.counters[prefix + "_mean"] = sum / double(ms.size()) / kIntervalMs;
  state.counters[prefix + "_p95"] = ms[(ms.size() * 95 + 99) / 100 - 1] / kIntervalMs;
  state.counters[prefix + "_worst"] = ms.back() / kIntervalMs;
}

// Commands come at any moment, not in step with the camera: a pause drawn
// evenly from one frame interval before the next.
void PauseAtRandom(std::mt19937& random) {
  std::this_thread::sleep_for(std::chrono::microseconds(random() % uint32_t(kIntervalMs * 1000)));
}

uint64_t RealTimeNs() {
  return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count());
}

// Grab as the station does it: from the command to the picture in the frame.
void BM_SimulatedCameraGrab(benchmark::State& state) {
  LiveStation live;
  if (!live.ok) return state.SkipWithError("the simulated camera did not open at 1920 x 1080 Mono8");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  std::mt19937 random(7);
  std::vector<double> ms;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (orvane::TakeSnapshot(*live.station) == 0) return state.SkipWithError("no picture");
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    PauseAtRandom(random);
  }
  CountIntervals(state, "grab", ms);
}
BENCHMARK(BM_SimulatedCameraGrab)->Iterations(200)->Unit(benchmark::kMillisecond)->UseRealTime();

// Where a grab's time goes: from the command until the camera began to send
// the picture taken ("wait", the camera's own rhythm), and from then until
// the device hands it over ("deliver": the transfer, the camera library's
// threads and the station's conversion).
void BM_SimulatedCameraGrabParts(benchmark::State& state) {
  LiveStation live;
  if (!live.ok) return state.SkipWithError("the simulated camera did not open at 1920 x 1080 Mono8");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  orvane::video::VideoDevice& device = *orvane::CaptureOf(*live.station).device;
  std::mt19937 random(7);
  std::vector<double> wait, deliver;
  for (auto _ : state) {
    const uint64_t command = RealTimeNs();
    uint64_t began = 0, handed = 0;
    const bool taken = device.SnapshotPicture([&](const orvane::video::Picture& p) {
      handed = RealTimeNs();
      began = p.started_ns;
    });
    if (!taken || began < command) return state.SkipWithError("no picture begun after the command");
    wait.push_back(double(began - command) / 1e6);
    deliver.push_back(double(handed - began) / 1e6);
    PauseAtRandom(random);
  }
  CountIntervals(state, "wait", wait);
  CountIntervals(state, "deliver", deliver);
}
BENCHMARK(BM_SimulatedCameraGrabParts)->Iterations(200)->Unit(benchmark::kMillisecond)->UseRealTime();

#endif

} // namespace
