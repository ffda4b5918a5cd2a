// orvane-batch watches the live pictures while a script waits, as the
// window's live area does: the folder camera's picture runs the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>

#include "acquisition/bmp_file.h"
#include "batch/script.h"
#include "support/station_fixture.h"
#include "tests/inspect/plate_program.h"

namespace orvane::batch {
namespace {

// Sets an environment variable for the life of the object.
struct ScopedEnv {
  ScopedEnv(const char* name, const std::string& value) : name_(name) { setenv(name, value.c_str(), 1); }
  ~ScopedEnv() { unsetenv(name_); }
  const char* name_;
};

TEST(BatchLiveRuns, TheFolderCamerasPictureRunsTheProgramWhileTheScriptWaits) {
  testing::TempDir dir;
  const std::filesystem::path camera = dir.path() / "camera";
  std::filesystem::create_directories(camera);
  std::mt19937_64 rng(3);
  const testing::PlatePicture plate = testing::RenderPlate(640, 480, 320, 240, 0, rng);
  std::vector<uint8_t> bottom_up(plate.bgr.size());
  for (int y = 0; y < 480; ++y) std::copy_n(&plate.bgr[size_t(479 - y) * 1920], 1920, &bottom_up[size_t(y) * 1920]);
  ImageState image;
  image.width = 640;
  image.height = 480;
  ASSERT_EQ(WriteBmpFile(camera / "PLATE.BMP", bottom_up.data(), uint32_t(bottom_up.size()), image), bottom_up.size());
  const ScopedEnv source("ORVANE_VIRTUAL_CAMERA", camera.string());
  const ScopedEnv formats("ORVANE_VIRTUAL_FORMATS", "640x480:RGB");

  std::istringstream in("start\nclick Grab\npart-teach 190 160 450 320\nprogram new PLATE\n"
                        "program width W2 195 285 445 285\ntolerance W2 220 0.2\nclick Live\n"
                        "program auto folder on\nwait 1\n");
  std::ostringstream out;
  Options options;
  options.folder = dir.path() / "station";
  EXPECT_EQ(RunScript(in, out, options), kScriptOk) << out.str();
  EXPECT_NE(out.str().find("program run: part 1 pass\n"), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find("program run: part not found"), std::string::npos) << out.str();
}

} // namespace
} // namespace orvane::batch
