// What orvane-batch refuses before anything runs: an endless or oversized
// script, and a working folder another station holds.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>

#include "batch/script.h"
#include "support/station_fixture.h"
#include "workspace/files.h"

namespace orvane::batch {
namespace {

namespace fs = std::filesystem;

// Endless blanks, as /dev/zero or a runaway pipe would give; counts the bytes
// taken from it.
class EndlessInput : public std::streambuf {
 public:
  size_t taken = 0;

 protected:
  int_type underflow() override {
    setg(block_, block_, block_ + sizeof block_);
    taken += sizeof block_;
    return traits_type::to_int_type(block_[0]);
  }

 private:
  char block_[4096] = {};
};

TEST(BatchLimits, EndlessScriptIsRefusedOnceItPassesTheLimit) {
  testing::TempDir dir;
  EndlessInput endless;
  std::istream in(&endless);
  std::ostringstream out;
  Options options;
  options.folder = dir.path() / "station";
  EXPECT_EQ(RunScript(in, out, options), kScriptParseError);
  EXPECT_EQ(out.str(), "script longer than 67108864 bytes\n");
  EXPECT_LE(endless.taken, kMaxScriptBytes + (size_t{1} << 17));
  EXPECT_FALSE(fs::exists(options.folder));  // nothing ran
}

// A folder held by another station: the runner says who holds it, ends with
// status 3 and leaves the folder as it was; the program does the same.
TEST(BatchLimits, FolderHeldByAnotherStationIsLeftUntouched) {
  testing::TempDir dir;
  long holder = 0;
  ASSERT_EQ(LockFolder(dir.path(), &holder), kFolderLockTaken);
  std::istringstream in("start\nclick Exit\n");
  std::ostringstream out;
  Options options;
  options.folder = dir.path();
  options.lock_folder = true;
  EXPECT_EQ(RunScript(in, out, options), kFolderInUse);
  EXPECT_TRUE(fs::is_empty(dir.path()));

  const fs::path program = fs::path(ORVANE_BUILD_DIR) / "batch" / "orvane-batch";
  if (!fs::exists(program)) GTEST_SKIP() << "orvane-batch is not built";
  testing::TempDir scratch;
  const fs::path script = scratch.path() / "script.txt", err = scratch.path() / "err.txt";
  std::ofstream(script) << "start\nclick Exit\n";
  const std::string command = program.string() + " -C " + dir.path().string() + " " +
                              script.string() + " >/dev/null 2>" + err.string();
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kFolderInUse);
  std::stringstream said;
  said << std::ifstream(err).rdbuf();
  EXPECT_NE(said.str().find("in use by another station (process " + std::to_string(::getpid()) +
                            ")"),
            std::string::npos)
      << said.str();
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace orvane::batch
