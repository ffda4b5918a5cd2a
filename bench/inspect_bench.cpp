// Inspection programs: accuracy of every dimension kind against synthetic
// ground truth over the whole turn, then speed of a run and of
// orvane-inspect (Google Benchmark).
//
// Accuracy protocol (printed first; PROGRAM_TRIALS sets the poses, default
// 200, at least 100 for the figures to mean anything; 0 skips it):
//   Renders: exact area sampling of the locator's plate 220 x 120 px
//   (tests/gauge/render.h drawPlate), level 160 on 60, Gaussian blur of
//   sigma 1 px, Gaussian noise of sigma 2, rounded to 8 bits, 3 bytes a
//   pixel. The program (tests/inspect/plate_program.h: 2 circles, 4 lines,
//   a point, 3 widths, 4 distances of every kind, 2 angles) is taught once
//   on the plate unturned at the centre of a 640 x 480 render.
//   Each trial: a 640 x 480 render with the plate's centre uniform within
//   40 px of the picture's centre and its angle uniform over the whole
//   turn; every dimension gets a tolerance of its truth +-0.5 px (0.1 deg).
//   Per dimension: bias (mean error), sd, the share within +-2 reported
//   standard uncertainties, the largest |error|; then the share of parts
//   found and of parts (within tolerance by construction) failed.
// Speed:
//   BM_Run20Steps: one thread, a 1920 x 1080 render of the plate turned by
//   23 degrees, a program of 20 steps (5 circles, 10 widths, 5 lines),
//   location over the whole picture and the whole turn included.
//   BM_InspectPictures: orvane-inspect's runner (decode, calibrate, run)
//   over 100 BMP pictures of 1920 x 1080 in a temporary folder, --jobs 1
//   and 2; items per second = parts a second.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "acquisition/bmp_file.h"
#include "batch/inspect_run.h"
#include "inspect/program_file.h"
#include "tests/inspect/plate_program.h"

namespace {

using namespace orvane;
using namespace orvane::testing;

constexpr double kPi = 3.14159265358979323846;

const std::vector<uint8_t>& TaughtModel() {
  static const std::vector<uint8_t> model = [] {
    std::mt19937_64 rng(1);
    return TeachPlate(RenderPlate(640, 480, 320, 240, 0, rng), 320, 240);
  }();
  return model;
}

struct Tally {
  double n = 0, sum = 0, sum2 = 0, covered = 0, worst = 0, u = 0;
  void Add(double err, double u_reported) {
    ++n;
    sum += err;
    sum2 += err * err;
    covered += std::fabs(err) <= 2 * u_reported;
    worst = std::max(worst, std::fabs(err));
    u += u_reported;
  }
};

void Accuracy() {
  const char* env = std::getenv("PROGRAM_TRIALS");
  const int trials = env ? std::atoi(env) : 200;
  if (trials <= 0) return;
  Program program = PlateProgram(TaughtModel());
  std::map<std::string, double> truth;
  for (const PlateStep& s : PlateSteps()) truth[s.step.label] = s.truth;
  for (ProgramStep& s : program.steps) {
    if (IsDimension(s.kind)) s.tolerance = Tolerance(truth[s.label], s.kind == StepKind::Angle ? 0.1 : 0.5);
  }
  const ProgramModel model(program);
  std::map<std::string, Tally> tallies;
  int found = 0, failed = 0;
  std::mt19937_64 rng(2026);
  std::uniform_real_distribution<double> offset(-40, 40), turn(-180, 180);
  for (int t = 0; t < trials; ++t) {
    const PlatePicture p = RenderPlate(640, 480, 320 + offset(rng), 240 + offset(rng), turn(rng), rng);
    const ProgramRun run = RunProgram(program, model, p.image(), LengthScale{});
    found += run.found;
    failed += run.found && !run.pass;
    for (const DimensionResult& d : run.dimensions) {
      if (d.measured) tallies[d.label].Add(d.value - truth[d.label], d.u);
    }
  }
  std::printf("program accuracy: %d poses, blur 1 px, noise 2\n", trials);
  std::printf("%-4s %8s %10s %9s %9s %9s %9s\n", "dim", "truth", "bias", "sd", "max|err|", "mean u", "+-2u");
  for (const auto& [label, t] : tallies) {
    const double mean = t.sum / t.n, sd = std::sqrt(std::max(0.0, t.sum2 / t.n - mean * mean));
    std::printf("%-4s %8.3f %10.5f %9.5f %9.5f %9.5f %8.1f%%\n", label.c_str(), truth[label], mean, sd, t.worst,
                t.u / t.n, 100.0 * t.covered / t.n);
  }
  std::printf("found %d of %d; parts within tolerance failed: %d\n\n", found, trials, failed);
}

// The 20-step program on the plate: 5 circles (each hole, the two larger
// from a second set of rim points too), 10 widths, 5 lines.
Program TwentySteps() {
  Program p;
  p.name = "TWENTY";
  p.model = TaughtModel();
  const std::vector<PlateStep> plate = PlateSteps();
  auto add = [&](StepKind kind, std::vector<qgPoint> points) {
    p.steps.push_back(Feature(kind, NextStepLabel(p, kind), std::move(points)));
  };
  add(StepKind::Circle, {{-42, 0}, {-60, 18}, {-78, 0}});
  add(StepKind::Circle, {{-60, -18}, {-47.3, 12.7}, {-72.7, 12.7}});
  add(StepKind::Circle, {{37, 20}, {25, 32}, {13, 20}});
  add(StepKind::Circle, {{25, 8}, {33.5, 28.5}, {16.5, 28.5}});
  add(StepKind::Circle, {{-3, -32}, {-10, -25}, {-17, -32}});
  for (double x : {-100.0, -90.0, -30.0, -25.0, 85.0, 95.0}) add(StepKind::Width, {{x, -75}, {x, 75}});
  for (double y : {45.0, 50.0, 55.0}) add(StepKind::Width, {{-125, y}, {125, y}});
  add(StepKind::Width, {{30, -50}, {85, -50}});
  add(StepKind::Line, {{-110, -45}, {-110, 45}});
  add(StepKind::Line, {{110, -45}, {110, 45}});
  add(StepKind::Line, {{-100, 60}, {100, 60}});
  add(StepKind::Line, {{-100, -60}, {30, -60}});
  add(StepKind::Line, {{85, -60}, {105, -60}});
  return p;
}

PlatePicture FullHd(std::mt19937_64& rng, double x, double y, double deg) {
  return RenderPlate(1920, 1080, x, y, deg, rng);
}

void BM_Run20Steps(benchmark::State& state) {
  const Program program = TwentySteps();
  const ProgramModel model(program);
  std::mt19937_64 rng(5);
  const PlatePicture p = FullHd(rng, 1100, 500, 23);
  size_t measured = 0;
  for (auto _ : state) {
    const ProgramRun run = RunProgram(program, model, p.image(), LengthScale{});
    if (!run.found || !run.pass) state.SkipWithError("the part was not found or a step measured nothing");
    measured = run.features.size();
    benchmark::DoNotOptimize(run);
  }
  state.counters["steps"] = static_cast<double>(measured);
}
BENCHMARK(BM_Run20Steps)->Unit(benchmark::kMillisecond)->UseRealTime();

// The location alone, for comparison with the whole run.
void BM_Locate1080(benchmark::State& state) {
  const Program program = TwentySteps();
  const ProgramModel model(program);
  std::mt19937_64 rng(5);
  const PlatePicture p = FullHd(rng, 1100, 500, 23);
  for (auto _ : state) benchmark::DoNotOptimize(LocatePart(model, false, p.image()));
}
BENCHMARK(BM_Locate1080)->Unit(benchmark::kMillisecond)->UseRealTime();

void WriteBmp(const std::filesystem::path& path, const PlatePicture& p) {
  const uint32_t row = (static_cast<uint32_t>(p.w) * 3 + 3) & ~3u;
  std::vector<uint8_t> file(kBmpHeaderBytes + size_t{row} * p.h);
  BuildBmpHeader(file.data(), p.w, p.h, row * p.h);
  for (int y = 0; y < p.h; ++y) {
    std::copy_n(p.bgr.data() + size_t{3} * p.w * y, size_t{3} * p.w,
                file.data() + kBmpHeaderBytes + size_t{row} * (p.h - 1 - y));
  }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
}

// A folder of 100 pictures and the 20-step program, made once, removed at exit.
struct PictureFolder {
  std::filesystem::path dir;
  std::vector<std::string> pictures;
  PictureFolder() {
    char pattern[] = "/tmp/orvane-inspect-bench-XXXXXX";
    dir = mkdtemp(pattern);
    const std::string text = ProgramText(TwentySteps());
    std::ofstream(dir / "TWENTY.OIP", std::ios::binary) << text;
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> x(200, 1720), y(200, 880), turn(-180, 180);
    for (int i = 0; i < 100; ++i) {
      pictures.push_back((dir / ("p" + std::to_string(i) + ".bmp")).string());
      WriteBmp(pictures.back(), FullHd(rng, x(rng), y(rng), turn(rng)));
    }
  }
  ~PictureFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

void BM_InspectPictures(benchmark::State& state) {
  static PictureFolder folder;
  batch::InspectOptions options;
  options.folder = folder.dir;
  options.program = "TWENTY";
  options.pictures = folder.pictures;
  options.jobs = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    std::ostringstream out, errors;
    if (batch::RunInspect(options, out, errors) != batch::kInspectPassed) state.SkipWithError("a part failed");
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(folder.pictures.size()));
}
BENCHMARK(BM_InspectPictures)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
  Accuracy();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
