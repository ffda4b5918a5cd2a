// The rectification file: written and read back to the last bit, and every
// kind of damage refused with a reason.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rectify/rectification_file.h"
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
  ASSERT_TRUE(SaveRectificationFile(path, r));
  RectificationRecord back;
  std::string error;
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

} // namespace
} // namespace orvane::rectify
