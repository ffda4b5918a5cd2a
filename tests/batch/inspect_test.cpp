#include "batch/inspect_run.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "acquisition/bmp_file.h"
#include "inspect/program_file.h"
#include "platform/pixora/include/pixora.h"
#include "support/station_fixture.h"
#include "workspace/settings.h"
#include "tests/inspect/plate_program.h"

namespace orvane::testing {
namespace {

void WriteBmp(const std::filesystem::path& path, const PlatePicture& p) {
  const uint32_t row = (static_cast<uint32_t>(p.w) * 3 + 3) & ~3u;
  std::vector<uint8_t> file(kBmpHeaderBytes + size_t{row} * p.h);
  BuildBmpHeader(file.data(), p.w, p.h, row * p.h);
  for (int y = 0; y < p.h; ++y) {
    std::memcpy(file.data() + kBmpHeaderBytes + size_t{row} * (p.h - 1 - y), p.bgr.data() + size_t{3} * p.w * y,
                size_t{3} * p.w);
  }
  WriteBytes(path, file.data(), file.size());
}

struct Folder {
  TempDir dir;
  Folder() {
    std::mt19937_64 rng(21);
    const PlatePicture taught = RenderPlate(640, 480, 320, 240, 0, rng);
    Program program = PlateProgram(TeachPlate(taught, 320, 240));
    program.steps[7].tolerance = Tolerance(120.0, 0.3); // W1
    Save("PLATE", program);
    program.steps[7].tolerance = Tolerance(121.0, 0.3);
    Save("TIGHT", program);
    ProgramStep profile;
    profile.kind = StepKind::Profile;
    profile.label = "CAD1";
    profile.profile = ProfileSource{"absent.dxf", 4, {}, 0.0, false};
    program.steps.push_back(profile);
    Save("DRAWN", program);
    WriteBmp(dir.path() / "a.bmp", RenderPlate(640, 480, 300, 250, 33, rng));
    WriteBmp(dir.path() / "b.bmp", RenderPlate(640, 480, 330, 230, -150, rng));
    WriteBmp(dir.path() / "empty.bmp", RenderPlate(640, 480, 0, 0, 0, rng, 1, 2, false));
    const std::string cut = "orvane-program 1\nstep point P1 0 0 1\n";
    WriteBytes(dir.path() / "CUT.OIP", cut.data(), cut.size());
  }
  void Save(const std::string& name, const Program& p) {
    const std::string text = ProgramText(p);
    WriteBytes(ProgramPath(name), text.data(), text.size());
  }
  std::filesystem::path ProgramPath(const std::string& name) const { return dir.path() / (name + ".OIP"); }
  std::string Picture(const char* name) const { return (dir.path() / name).string(); }
};

int Inspect(const Folder& f, const std::string& program, std::vector<std::string> pictures, std::string* csv,
            uint32_t jobs = 1) {
  batch::InspectOptions options;
  options.folder = f.dir.path();
  options.program = program;
  options.pictures = std::move(pictures);
  options.jobs = jobs;
  std::ostringstream out, errors;
  const int status = batch::RunInspect(options, out, errors);
  *csv = out.str();
  return status;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

TEST(Inspect, ExitStatusesAndRecords) {
  Folder f;
  const std::string a = f.Picture("a.bmp"), b = f.Picture("b.bmp"), empty = f.Picture("empty.bmp");
  struct Case {
    const char* name;
    std::string program;
    std::vector<std::string> pictures;
    int status;
    size_t rows; // records after the header
  };
  const Case cases[] = {
      {"all pass", "PLATE", {a, b}, batch::kInspectPassed, 22},
      {"the extension may be given", "PLATE.OIP", {a}, batch::kInspectPassed, 11},
      {"one not found", "PLATE", {a, empty}, batch::kInspectFailed, 12},
      {"one fails", "TIGHT", {a}, batch::kInspectFailed, 11},
      {"unreadable picture", "PLATE", {a, f.Picture("none.bmp"), b}, batch::kInspectError, 23},
      {"a picture that is no picture", "PLATE", {f.ProgramPath("PLATE").string()}, batch::kInspectError, 1},
      {"no such program", "NOPE", {a}, batch::kInspectError, 0},
      {"damaged program", "CUT", {a}, batch::kInspectError, 0},
      {"a drawing that cannot be read", "DRAWN", {a}, batch::kInspectError, 0},
  };
  for (const Case& c : cases) {
    std::string csv;
    EXPECT_EQ(Inspect(f, c.program, c.pictures, &csv), c.status) << c.name;
    EXPECT_EQ(Count(csv, "\r\n"), c.rows + (c.rows > 0 || c.status != batch::kInspectError ? 1 : 0)) << c.name;
  }
  std::string csv;
  Inspect(f, "TIGHT", {a, empty}, &csv);
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "picture,part,label,value,u,unit,nominal,tolerance,verdict");
  EXPECT_EQ(Count(csv, ",1,W1,"), 1u);
  EXPECT_EQ(Count(csv, ",px,121,0.3,fail\r\n"), 1u);
  EXPECT_EQ(Count(csv, empty + ",,,,,,,,not found\r\n"), 1u);
}

// Pictures in parallel give what they give one after the other, in order;
// a JPEG picture is read as the station reads it.
TEST(Inspect, JobsAndJpeg) {
  Folder f;
  ASSERT_EQ(cvtBMPTOJPEG("-quality", "100", f.Picture("a.bmp").c_str(), f.Picture("a.jpg").c_str()), PIXORA_OK);
  const std::vector<std::string> pictures = {f.Picture("a.bmp"), f.Picture("empty.bmp"), f.Picture("b.bmp"),
                                             f.Picture("a.jpg"), f.Picture("a.bmp")};
  std::string one, two;
  EXPECT_EQ(Inspect(f, "PLATE", pictures, &one, 1), batch::kInspectFailed);
  EXPECT_EQ(Inspect(f, "PLATE", pictures, &two, 3), batch::kInspectFailed);
  EXPECT_EQ(one, two);
  EXPECT_EQ(Count(one, ",4,D1,"), 1u) << "four parts found, numbered in the pictures' order";
}

// Lengths in the folder's calibrated unit (100 px an inch at 640 x 480),
// angles in degrees; the folder's files are only read.
TEST(Inspect, CalibratedUnit) {
  Folder f;
  Settings s{};
  SetDefaultSettings(s);
  s.calibrated = 1;
  s.calibrated_width = 640;
  s.calibrated_height = 480;
  s.calibrated_scale_x = s.calibrated_scale_y = s.scale_x = s.scale_y = 100.0;
  s.calibration_distance = s.calibrated_distance = 24.0;
  ASSERT_NE(SaveSettings(f.dir.path(), s), 0u);
  const std::vector<uint8_t> before = ReadBytes(f.dir.path() / kSettingsFileName);
  std::string csv;
  EXPECT_EQ(Inspect(f, "PLATE", {f.Picture("a.bmp")}, &csv), batch::kInspectFailed)
      << "W1's tolerance, 120 +-0.3 without a unit, was meant for pixels";
  const size_t w2 = csv.find(",1,W2,");
  ASSERT_NE(w2, std::string::npos);
  EXPECT_NEAR(std::stod(csv.substr(w2 + 6)), 2.2, 0.002);
  EXPECT_NE(csv.find(",in,", w2), std::string::npos);
  const size_t a1 = csv.find(",1,A1,");
  ASSERT_NE(a1, std::string::npos);
  EXPECT_NEAR(std::stod(csv.substr(a1 + 6)), 90.0, 0.05);
  EXPECT_NE(csv.find(",deg,", a1), std::string::npos);
  EXPECT_EQ(ReadBytes(f.dir.path() / kSettingsFileName), before);
}

// The program itself: its exit statuses, usage errors included.
TEST(Inspect, CommandLineExitStatuses) {
  Folder f;
  const std::string exe = std::string(ORVANE_BUILD_DIR) + "/batch/orvane-inspect";
  auto run = [&](const std::string& args) {
    const int rc = std::system((exe + " " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  const std::string C = "-C " + f.dir.path().string() + " ";
  EXPECT_EQ(run(C + "--jobs 2 PLATE " + f.Picture("a.bmp") + " " + f.Picture("b.bmp")), 0);
  EXPECT_EQ(run(C + "PLATE " + f.Picture("empty.bmp")), 1);
  EXPECT_EQ(run(C + "PLATE " + f.Picture("missing.bmp")), 2);
  EXPECT_EQ(run(C + "PLATE"), 2);
  EXPECT_EQ(run(C + "--jobs 0 PLATE " + f.Picture("a.bmp")), 2);
  EXPECT_EQ(run(C + "--frobnicate PLATE " + f.Picture("a.bmp")), 2);
  EXPECT_EQ(run("--help"), 0);
}

} // namespace
} // namespace orvane::testing
