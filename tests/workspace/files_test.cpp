// Whole-file writes where a temporary file and a rename cannot simply stand
// in for a plain write: symbolic links, and folders the user cannot write.
#include <gtest/gtest.h>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/processes.h"
#include "support/station_fixture.h"
#include "workspace/files.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::AsNonRoot;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

std::string Text(const fs::path& path) {
  const std::vector<uint8_t> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void Put(const fs::path& path, const std::string& text) { WriteBytes(path, text.data(), text.size()); }

uint32_t Write(const fs::path& path, const std::string& text) {
  return WriteWholeFile(path, text.data(), static_cast<uint32_t>(text.size()));
}

size_t Entries(const fs::path& folder) {
  size_t n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(folder)) ++n;
  return n;
}

TEST(Files, WritesThroughSymbolicLinksToTheirTargets) {
  TempDir dir;
  fs::create_directory(dir.path() / "elsewhere");
  Put(dir.path() / "elsewhere" / "real.cfg", "old contents");
  fs::create_symlink("elsewhere/real.cfg", dir.path() / "hop.cfg");  // relative
  fs::create_symlink(dir.path() / "hop.cfg", dir.path() / "XORVANE.CFG");  // absolute, to a link
  EXPECT_EQ(Write(dir.path() / "XORVANE.CFG", "new"), 3u);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.path() / "XORVANE.CFG")));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.path() / "hop.cfg")));
  EXPECT_EQ(Text(dir.path() / "elsewhere" / "real.cfg"), "new");
  EXPECT_EQ(Entries(dir.path() / "elsewhere"), 1u);  // no temporary file left

  // A link to a file not there yet creates it, as opening the link would.
  fs::create_symlink("elsewhere/later.cfg", dir.path() / "later.cfg");
  EXPECT_EQ(Write(dir.path() / "later.cfg", "made"), 4u);
  EXPECT_EQ(Text(dir.path() / "elsewhere" / "later.cfg"), "made");
  // A loop of links cannot be opened, so nothing is written.
  fs::create_symlink("loop.b", dir.path() / "loop.a");
  fs::create_symlink("loop.a", dir.path() / "loop.b");
  EXPECT_EQ(Write(dir.path() / "loop.a", "x"), 0u);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.path() / "loop.a")));
}

// In a folder the user may not write, the file itself is rewritten in place;
// a file the user may not write is left alone even where its folder could
// take a new one. Permissions do not hold for root, so this runs as another
// user.
TEST(Files, ReadOnlyFolderAndReadOnlyFile) {
  TempDir dir;
  const fs::path locked = dir.path() / "locked", open = dir.path() / "open";
  fs::create_directory(locked);
  fs::create_directory(open);
  Put(locked / "XORVANE.CFG", "old contents of the settings");
  Put(open / "XModule1.CFG", "kept");
  fs::permissions(dir.path(), fs::perms(0755));
  fs::permissions(locked / "XORVANE.CFG", fs::perms(0666));
  fs::permissions(locked, fs::perms(0555));
  fs::permissions(open, fs::perms(0777));
  fs::permissions(open / "XModule1.CFG", fs::perms(0444));

  const std::optional<int> result = AsNonRoot([&] {
    int failures = 0;
    if (Write(locked / "XORVANE.CFG", "new") != 3) failures |= 1;
    if (Write(locked / "XModule2.CFG", "new") != 0) failures |= 2;  // cannot be created
    if (Write(open / "XModule1.CFG", "new") != 0) failures |= 4;
    return failures;
  });
  fs::permissions(locked, fs::perms(0755));
  fs::permissions(open / "XModule1.CFG", fs::perms(0644));
  if (!result) GTEST_SKIP() << "running as root and no other user to run as";
  EXPECT_EQ(*result, 0);
  EXPECT_EQ(Text(locked / "XORVANE.CFG"), "new");
  EXPECT_EQ(Entries(locked), 1u);
  EXPECT_EQ(Text(open / "XModule1.CFG"), "kept");
  EXPECT_EQ(Entries(open), 1u);
}

// Pipes, devices and folders where a station file belongs: nothing waits on
// them, nothing replaces them, and the reason says why. A pipe with no
// writer used to hang the first read for ever.
TEST(Files, OnlyRegularFilesAreReadOrWritten) {
  TempDir dir;
  const fs::path fifo = dir.path() / "fifo", folder = dir.path() / "folder";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  fs::create_directory(folder);
  fs::create_symlink(fifo, dir.path() / "to_fifo");
  fs::create_symlink("/dev/null", dir.path() / "to_device");
  for (const fs::path& path : {fifo, folder, dir.path() / "to_fifo", dir.path() / "to_device"}) {
    SCOPED_TRACE(path);
    char buffer[8];
    int read_error = 0, length_error = 0, write_error = 0;
    EXPECT_EQ(ReadFileInto(path, buffer, sizeof buffer, &read_error), 0u);
    EXPECT_EQ(FileLength(path, &length_error), -1);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(ReadWholeFile(path, bytes), 0u);
    EXPECT_EQ(WriteWholeFile(path, "new", 3, &write_error), 0u);
    EXPECT_EQ(AppendToFile(path, "new", 3), 0u);
    EXPECT_EQ(read_error, kNotRegularFile);
    EXPECT_EQ(length_error, kNotRegularFile);
    EXPECT_EQ(write_error, kNotRegularFile);
  }
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
  EXPECT_TRUE(fs::is_character_file(fs::status("/dev/null")));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir.path() / "to_device")));
  EXPECT_EQ(Entries(dir.path()), 4u);  // no temporary file beside any of them
  EXPECT_EQ(FileErrorText(kNotRegularFile), "Not a regular file");
  EXPECT_EQ(FileErrorText(ENOSPC), "No space left on device");
}

// A write the file system refuses part way (here a file size limit, as a full
// disk refuses) keeps the old file whole, leaves no temporary file and gives
// the reason.
TEST(Files, RefusedWriteKeepsTheOldFileAndGivesTheReason) {
  TempDir dir;
  Put(dir.path() / "XModule1.CFG", "old");
  const std::string big(5000, 'x');
  int error = 0;
  {
    testing::FileSizeLimit limit(1000);
    EXPECT_EQ(Write(dir.path() / "XModule1.CFG", "fits"), 4u);
    EXPECT_EQ(WriteWholeFile(dir.path() / "XModule1.CFG", big.data(), 5000, &error), 0u);
  }
  EXPECT_EQ(error, EFBIG);
  EXPECT_EQ(Text(dir.path() / "XModule1.CFG"), "fits");
  EXPECT_EQ(Entries(dir.path()), 1u);
}

TEST(Files, LeftoverTemporariesOfStationFilesAreRemoved) {
  TempDir dir;
  const fs::path& d = dir.path();
  fs::create_directory(d / "DXF");
  fs::create_directory(d / "Saved");
  const std::vector<std::pair<std::string, bool>> files = {
      {"XORVANE.CFG.tmpAb12Cd", true},          {"XModule203.CFG.tmp000000", true},
      {"TEMPIMAGE.BMP.tmpqwerty", true},        {"DXF/FILE.DXF.tmpZZZZZZ", true},
      {"Saved/IMAGE3.BMP.tmpa1b2c3", true},     {"Saved/.IMAGE3.JPG.pixora-12-0-7.tmp", true},
      {".TEMPIMAGE.BMP.pixora-9-1-0.tmp", true}, {"XORVANE.CFG", false},
      {"RESULTS.TAB.tmpAb12Cd", true},          {"RESULTS.TAB", false},
      {"XORVANE.CFG.tmpAb12C", false},          {"notes.txt.tmpAb12Cd", false},
      {"Saved/IMAGE3.JPG", false},              {"DXF/FILE.DXF", false},
      {"XModule1.CFG.tmpAb12Cd.keep", false},   {"Saved/XORVANE.CFG.tmpAb12Cd", true},
      {"RECTIFY.CFG.tmpx9Y8z7", true},          {"RESULTSWINDOW.CFG.tmp123abc", true},
      {"DXF.CFG.tmpQwErTy", true},              {"DXF.CFG", false},
      {"BRACKET-7.OIP.tmpAb12Cd", true},        {"BRACKET-7.OIP", false},
  };
  for (const auto& [name, _] : files) Put(d / name, "x");
  fs::create_directory(d / "XModule4.CFG.tmpabcdef");                   // a folder stays
  fs::create_symlink(d / "XORVANE.CFG", d / "XModule5.CFG.tmpabcdef");  // and so does a link
  EXPECT_EQ(RemoveLeftoverTemporaries(d), 13u);
  for (const auto& [name, removed] : files) EXPECT_EQ(fs::exists(d / name), !removed) << name;
  EXPECT_TRUE(fs::is_directory(d / "XModule4.CFG.tmpabcdef"));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(d / "XModule5.CFG.tmpabcdef")));
}

// The lock is on the folder itself, so taking it creates no file; another
// process is refused and told who holds it.
TEST(Files, FolderLockIsHeldOnceAndNamesItsHolder) {
  TempDir dir;
  long holder = -1;
  ASSERT_EQ(LockFolder(dir.path(), &holder), kFolderLockTaken);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long seen = 0;
    const int result = LockFolder(dir.path(), &seen);
    ::_exit(result != kFolderLocked ? 1 : seen != ::getppid() ? 2 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Entries(dir.path()), 0u);
  EXPECT_EQ(LockHolderText(42), "process 42");
}

// A process that takes the folder's lock (as "nobody" when asked and this
// runs as root), then waits to be killed; its id, or -1 when it got no lock.
pid_t HoldLock(const fs::path& folder, bool as_nobody) {
  int ends[2];
  if (::pipe(ends) != 0) return -1;
  pid_t child = ::fork();
  if (child == 0) {
    long holder = 0;
    const bool ok = (!as_nobody || testing::BecomeNobody()) && LockFolder(folder, &holder) == kFolderLockTaken;
    const char answer = ok ? 'y' : 'n';
    if (::write(ends[1], &answer, 1) != 1 || !ok) ::_exit(1);
    for (;;) ::pause();
  }
  char answer = 'n';
  ::close(ends[1]);
  if (child < 0 || ::read(ends[0], &answer, 1) != 1 || answer != 'y') {
    if (child > 0) ::waitpid(child, nullptr, 0);
    child = -1;
  }
  ::close(ends[0]);
  return child;
}

// What a second station makes of the lock: 0 refused and told the holder,
// 1 given the lock, 2 refused naming another process.
int SecondStation(const fs::path& folder, bool as_nobody, pid_t holder) {
  return testing::InChild(
      [&] {
        if (as_nobody && !testing::BecomeNobody()) return 9;
        long seen = 0;
        if (LockFolder(folder, &seen) != kFolderLocked) return 1;
        return seen == holder ? 0 : 2;
      },
      10.0);
}

// A folder its user may write and enter but not list (mode 0300) cannot be
// opened to lock it: a file in it is locked instead. Two stations of that
// user exclude each other there, and so do one that can open the folder
// (root) and one that cannot, whichever of them comes first.
TEST(Files, FolderLockHoldsInAFolderThatCannotBeListed) {
  TempDir dir;
  const fs::path folder = dir.path() / "station";
  fs::create_directory(folder);
  fs::permissions(dir.path(), fs::perms(0755));
  const bool root = ::geteuid() == 0;
  if (root) {
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr || nobody->pw_uid == 0) GTEST_SKIP() << "running as root and no other user to run as";
    ASSERT_EQ(::chown(folder.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  }
  fs::permissions(folder, fs::perms(0300));
  struct Case {
    bool first_nobody, second_nobody;
  };
  const Case cases[] = {{true, true}, {false, true}, {true, false}};
  for (const Case& c : cases) {
    if (!root && c.first_nobody != c.second_nobody) continue;  // one user only
    SCOPED_TRACE(std::to_string(c.first_nobody) + std::to_string(c.second_nobody));
    const pid_t first = HoldLock(folder, root && c.first_nobody);
    ASSERT_GT(first, 0);
    EXPECT_EQ(SecondStation(folder, root && c.second_nobody, first), 0);
    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
    // Its end frees the folder.
    EXPECT_EQ(SecondStation(folder, root && c.second_nobody, 0), 1);
  }
  fs::permissions(folder, fs::perms(0700));
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// A damaged file goes to the first free ".bad" name with the files that
// belong to it; one that is not there, or has no free name left, stays and
// says why.
TEST(Files, MoveAsideTakesTheFirstFreeBadNameAndItsCompanions) {
  const struct {
    const char* what;
    std::vector<std::string> taken; // names there before
    bool link;                      // the first of them a link to nothing
    bool present;
    const char* expected; // the new name; empty: not moved
  } cases[] = {
      {"first", {}, false, true, "F.bad"},
      {"next free", {"F.bad", "F.bad1", "F.bad3"}, false, true, "F.bad2"},
      {"a link to nothing takes a name too", {"F.bad"}, true, true, "F.bad1"},
      {"missing", {}, false, false, ""},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const fs::path path = dir.path() / "F";
    for (const std::string& name : c.taken) {
      if (c.link && name == c.taken.front()) {
        fs::create_symlink(dir.path() / "nowhere", dir.path() / name);
      } else {
        WriteBytes(dir.path() / name, "x", 1);
      }
    }
    if (c.present) {
      WriteBytes(path, "db", 2);
      WriteBytes(dir.path() / "F-wal", "log", 3);
    }
    std::error_code error;
    const fs::path aside = MoveAside(path, error, {"-wal", "-shm"});
    EXPECT_EQ(aside.filename().string(), c.expected) << c.what;
    if (!aside.empty()) {
      EXPECT_FALSE(fs::exists(path)) << c.what;
      EXPECT_EQ(ReadBytes(aside), (std::vector<uint8_t>{'d', 'b'})) << c.what;
      EXPECT_TRUE(fs::exists(aside.string() + "-wal")) << c.what;
      EXPECT_FALSE(fs::exists(aside.string() + "-shm")) << c.what;
    } else {
      EXPECT_TRUE(error) << c.what;
    }
  }
  TempDir full;
  WriteBytes(full.path() / "F", "db", 2);
  for (int i = 0; i < 1000; ++i) WriteBytes(full.path() / (i == 0 ? "F.bad" : "F.bad" + std::to_string(i)), "x", 1);
  std::error_code error;
  EXPECT_TRUE(MoveAside(full.path() / "F", error).empty());
  EXPECT_EQ(error, std::make_error_code(std::errc::file_exists));
  EXPECT_TRUE(fs::exists(full.path() / "F"));
}

} // namespace
} // namespace orvane
