// Whole-file writes where a temporary file and a rename cannot simply stand
// in for a plain write: symbolic links, and folders the user cannot write.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "support/station_fixture.h"
#include "workspace/files.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
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

// Runs `body` as a user that is not root: in this process when it already
// is one, else in a child that has become "nobody". The result is body's
// value, or nothing when there is no such user to become.
std::optional<int> AsNonRoot(const std::function<int()>& body) {
  if (::geteuid() != 0) return body();
  const passwd* nobody = ::getpwnam("nobody");
  if (nobody == nullptr || nobody->pw_uid == 0) return std::nullopt;
  const uid_t uid = nobody->pw_uid;
  const gid_t gid = nobody->pw_gid;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(100);
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 101;
  return WEXITSTATUS(status);
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

}  // namespace
}  // namespace orvane
