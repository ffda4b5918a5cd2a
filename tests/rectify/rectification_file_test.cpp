// The rectification file: written and read back to the last bit, and every
// kind of damage refused with a reason.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "acquisition/rectification.h"
#include "rectify/rectification_file.h"
#include "support/processes.h"
#include "support/station_fixture.h"

namespace orvane::rectify {
namespace {

RectificationRecord Sample() {
  RectificationRecord r;
  r.camera = "USB Camera: HD Pro (usb-0000:00:14.0-1)";
  r.on = false;
  r.grid = {GridKind::Chessboard, 7, 9, 0.1};
  r.figures = {0.0123456789, 0.02, 0.1 + 0.2, 46, 17, 2};
  LensModel& m = r.model;
  m.width = 1920;
  m.height = 1080;
  m.fx = 1401.123456789012;
  m.fy = 1400.9;
  m.cx = 959.5;
  m.cy = 540.25;
  m.k1 = -0.2000000000000001;
  m.k2 = 1e-300;
  m.k3 = 0.0;
  m.p1 = -3.5e-4;
  m.p2 = 2.0e-4;
  const double rotation[9] = {1, 0, 0, 0, 0.98480775301220802, -0.17364817766693033, 0, 0.17364817766693033,
                              0.98480775301220802};
  std::memcpy(m.rotation, rotation, sizeof rotation);
  m.translation[0] = -7.5;
  m.translation[1] = -4.0;
  m.translation[2] = 20.0;
  return r;
}

TEST(RectificationFile, EveryNumberComesBackBitForBitThroughTheFolder) {
  const RectificationRecord r = Sample();
  testing::TempDir dir;
  const auto path = dir.path() / kRectificationFile;
  std::string error;
  ASSERT_TRUE(SaveRectificationFile(path, r, &error)) << error;
  RectificationRecord back;
  ASSERT_EQ(LoadRectificationFile(path, &back, &error), FileState::Loaded) << error;
  EXPECT_EQ(FormatRectification(back), FormatRectification(r));
  EXPECT_EQ(back.camera, r.camera);
  EXPECT_FALSE(back.on);
  EXPECT_EQ(std::memcmp(&back.model, &r.model, sizeof r.model), 0);
  EXPECT_EQ(back.figures.rms, r.figures.rms);
  EXPECT_EQ(back.grid.pitch, r.grid.pitch);
  EXPECT_EQ(LoadRectificationFile(dir.path() / "NONE.CFG", &back, &error), FileState::Missing);
}

TEST(RectificationFile, DamagedTextIsRefusedWithAReason) {
  const std::string good = FormatRectification(Sample());
  const auto replace = [&good](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  const std::string damaged[] = {
      "",
      good.substr(0, good.size() - 1),                  // the last line cut off
      good.substr(0, good.find("rotation")),            // lines missing
      good + "extra 1\n",                               // a line too many
      replace("rectification 1", "rectification 2"),   // another format
      replace("state off", "state maybe"),
      replace("size 1920 1080", "size 0 1080"),
      replace("size 1920 1080", "size 99999 1080"),
      replace("size 1920 1080", "size 1920 -1080"),
      replace("grid chessboard 7 9", "grid chessboard 2 9"),
      replace("grid chessboard", "grid circles"),
      replace("intrinsics 1401.123456789012", "intrinsics nan"),
      replace("intrinsics 1401.123456789012", "intrinsics -5"),
      replace("intrinsics 1401.123456789012", "intrinsics 1e999"),
      replace("translation -7.5 -4 20", "translation -7.5 -4 -20"), // the plane behind the camera
      replace("translation -7.5 -4 20", "translation -7.5 -4"),
      replace("distortion -0.2000000000000001", "distortion 0x1p3"),
      replace("camera USB", "camera\rUSB"),
      good + std::string(kMaxRectificationFileBytes, '#'),
  };
  for (const std::string& text : damaged) {
    std::string error;
    EXPECT_FALSE(ParseRectification(text, &error)) << text;
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  EXPECT_TRUE(ParseRectification(good, &error)) << error;
}

// Finite numbers no lens has: a picture all black, folded over itself or
// thrown far off. Each is refused with the reason, and a real lens is not.
TEST(RectificationFile, ALensThatCannotRectifyThePictureIsRefusedWithTheReason) {
  struct Case {
    const char* from;
    const char* to;
    const char* reason; // nullptr: accepted
  };
  const char* d = "distortion -0.2000000000000001 1e-300";
  const char* far = "it throws the picture's corners far outside the picture";
  const Case cases[] = {
      {d, "distortion -0.35 0.1", nullptr}, // a strong barrel lens
      {d, "distortion 0.25 0.05", nullptr}, // and a pincushion one
      {d, "distortion 1000000 0", far},
      {d, "distortion -1e12 0", far},
      {d, "distortion -5 0", "it folds the picture"},
      {d, "distortion 2.0 0", "it leaves most of the picture black"},
      {"intrinsics 1401.123456789012 1400.9", "intrinsics 1e-3 1e-3", far},
      // Tilted by 35, 45 and 50 degrees: at 50 the rectified picture reaches
      // past the plane's horizon.
      {"rotation", "rotation 1 0 0 0 0.8191520442889918 -0.573576436351046 0 0.573576436351046 0.8191520442889918",
       nullptr},
      {"rotation", "rotation 1 0 0 0 0.7071067811865476 -0.7071067811865475 0 0.7071067811865475 0.7071067811865476",
       nullptr},
      {"rotation", "rotation 1 0 0 0 0.6427876096865394 -0.766044443118978 0 0.766044443118978 0.6427876096865394",
       "it folds the picture"},
  };
  const std::string good = FormatRectification(Sample());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    std::string text = good;
    // The whole line that begins with `from`'s words.
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos);
    const size_t end = c.from == std::string("rotation") ? text.find('\n', at) : at + std::string(c.from).size();
    text.replace(at, end - at, c.to);
    std::string error;
    const bool parsed = ParseRectification(text, &error).has_value();
    EXPECT_EQ(parsed, c.reason == nullptr) << error;
    if (c.reason) {
      EXPECT_EQ(error, std::string("The rectification file holds no usable lens model: ") + c.reason + ".");
    }
  }
}

namespace fs = std::filesystem;

std::string Text(const fs::path& path) {
  const auto bytes = testing::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// The file is a station file like the others: a pipe, a folder or a link to
// a pipe in its place is refused at once (a pipe used to hang the start and
// every save); the save goes to a temporary file of its own, never through
// something planted beside it; a link to a file is written through, as for
// every station file; a file its user may not write is left as it was.
TEST(RectificationFile, OnlyARegularFileIsReadOrReplacedAndNothingPlantedBesideItIsWritten) {
  const RectificationRecord r = Sample();
  const std::string text = FormatRectification(r);
  const int status = testing::InChild(
      [&] {
        int failures = 0;
        testing::TempDir dir;
        const fs::path path = dir.path() / kRectificationFile;
        for (int kind = 0; kind < 3; ++kind) {
          if (kind == 0) ::mkfifo(path.c_str(), 0644);
          if (kind == 1) fs::create_directory(path);
          if (kind == 2) ::mkfifo((dir.path() / "fifo").c_str(), 0644), fs::create_symlink("fifo", path);
          RectificationRecord back;
          std::string error;
          if (LoadRectificationFile(path, &back, &error) != FileState::Unreadable) failures |= 1 << kind;
          if (error != "The rectification file could not be read: Not a regular file.") failures |= 8;
          if (SaveRectificationFile(path, r, &error)) failures |= 16;
          if (error != "The rectification file could not be written: Not a regular file.") failures |= 32;
          if (fs::is_regular_file(path)) failures |= 64;
          fs::remove(path);
        }
        // A pipe named as the old temporary file: neither read nor waited on.
        ::mkfifo((dir.path() / "RECTIFY.CFG.new").c_str(), 0644);
        std::string error;
        if (!SaveRectificationFile(path, r, &error) || Text(path) != text) failures |= 128;
        return failures;
      },
      10.0);
  EXPECT_EQ(status, 0);

  testing::TempDir dir;
  const fs::path path = dir.path() / kRectificationFile;
  // A link planted as the old temporary file: its target stays as it was.
  testing::WriteBytes(dir.path() / "victim", "precious", 8);
  fs::create_symlink(dir.path() / "victim", dir.path() / "RECTIFY.CFG.new");
  // A link in the file's place is written through.
  fs::create_directory(dir.path() / "elsewhere");
  fs::create_symlink("elsewhere/real.cfg", path);
  std::string error;
  ASSERT_TRUE(SaveRectificationFile(path, r, &error)) << error;
  EXPECT_EQ(Text(dir.path() / "victim"), "precious");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(path)));
  EXPECT_EQ(Text(dir.path() / "elsewhere" / "real.cfg"), text);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4); // nothing left over

  // A read-only file: left as it was, and the failure said.
  const fs::path locked = dir.path() / "locked";
  fs::create_directory(locked);
  testing::WriteBytes(locked / kRectificationFile, "kept", 4);
  fs::permissions(dir.path(), fs::perms(0755));
  fs::permissions(locked, fs::perms(0777));
  fs::permissions(locked / kRectificationFile, fs::perms(0444));
  const std::optional<int> refused = testing::AsNonRoot([&] {
    std::string why;
    if (SaveRectificationFile(locked / kRectificationFile, r, &why)) return 1;
    return why == "The rectification file could not be written: Permission denied." ? 0 : 2;
  });
  fs::permissions(locked, fs::perms(0755));
  if (!refused) GTEST_SKIP() << "running as root and no other user to run as";
  EXPECT_EQ(*refused, 0);
  EXPECT_EQ(Text(locked / kRectificationFile), "kept");
}

} // namespace
} // namespace orvane::rectify
