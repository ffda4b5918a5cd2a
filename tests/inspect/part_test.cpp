// The station's taught part on rendered plates: taught once, found after the
// plate moved and turned, its file kept across stations, a damaged file
// refused and set aside, bad rectangles refused with nothing changed.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "gauge/render.h"
#include "inspect/part.h"
#include "support/station_fixture.h"
#include "workspace/files.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using namespace gauge_render;

constexpr int kWidth = 400, kHeight = 300;
constexpr double kBack = 60, kPlate = 160;
// The plate (220 x 120) centred in the picture, and a rectangle about it.
constexpr PartRect kTaught{80, 80, 320, 220};

// The station's picture: the plate at (x, y) turned by `deg`, blurred 1 px
// with noise 2, grey in all three channels; `plate` false leaves a disc only.
void ShowPlate(Station& st, double x, double y, double deg, bool plate = true, uint64_t seed = 7) {
  testing::AttachImage(st, kWidth, kHeight);
  std::mt19937_64 rng(seed);
  const Picture8 pic = renderPicture(kWidth, kHeight, kBack, 1.0, 2.0, rng, [&](Canvas& c) {
    if (plate) drawPlate(c, x, y, deg * M_PI / 180.0, kPlate, kBack);
    else drawDisc(c, x, y, 50, kPlate);
  });
  for (size_t i = 0; i < pic.px.size(); ++i) {
    for (size_t k = 0; k < 3; ++k) st.image.frame[i * 3 + k] = pic.px[i];
  }
}

bool Taught(Station& st) {
  ShowPlate(st, 200, 150, 0);
  std::string why;
  return PartOf(st).Teach(kTaught, &why);
}

TEST(PartSession, FindsTheTaughtPlateMovedAndTurned) {
  testing::StationFixture f;
  ASSERT_TRUE(Taught(f.station));
  struct Case {
    double x, y, deg;
  };
  const Case cases[] = {{200, 150, 0},       {210.3, 143.7, 30},  {190.25, 160.5, -135},
                        {205.5, 150.25, 180}, {196.8, 152.1, 91.7}, {201.1, 148.9, -179.6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y << ", " << c.deg);
    ShowPlate(f.station, c.x, c.y, c.deg);
    std::string why = "stale";
    const std::vector<PartPose> found = PartOf(f.station).Find(false, &why);
    EXPECT_EQ(why, "");
    ASSERT_EQ(found.size(), 1u);
    // The station's frame, not the locator's accuracy (its own tests hold
    // that): a pixel or sign mixed up is off by far more.
    EXPECT_NEAR(found[0].x, c.x, 0.1);
    EXPECT_NEAR(found[0].y, c.y, 0.1);
    EXPECT_NEAR(std::remainder(found[0].angle_deg - c.deg, 360.0), 0.0, 0.05);
    EXPECT_GT(found[0].angle_deg, -180.0);
    EXPECT_LE(found[0].angle_deg, 180.0);
    EXPECT_GT(found[0].score, 0.9);
    EXPECT_GT(found[0].u_x, 0.0);
  }
  // A picture without the plate: a search that ran and found nothing.
  ShowPlate(f.station, 200, 150, 0, false);
  std::string why = "stale";
  EXPECT_TRUE(PartOf(f.station).Find(true, &why).empty());
  EXPECT_EQ(why, "");
}

// Every refusal says why and changes nothing: the model taught before and
// its file stay as they were.
TEST(PartSession, RefusesWhatCannotBeTaughtOrSearched) {
  testing::StationFixture fresh;
  std::string why;
  EXPECT_TRUE(PartOf(fresh.station).Find(false, &why).empty());
  EXPECT_EQ(why, "no part is taught");
  EXPECT_FALSE(PartOf(fresh.station).Teach(kTaught, &why));
  EXPECT_EQ(why, "no picture");
  EXPECT_FALSE(fs::exists(fresh.station.PathOf(kPartModelName)));

  testing::StationFixture f;
  ASSERT_TRUE(Taught(f.station));
  const std::vector<uint8_t> before = testing::ReadBytes(f.station.PathOf(kPartModelName));
  struct Case {
    PartRect rect;
    const char* says;
  };
  const Case cases[] = {
      {{120, 80, 120, 220}, "the rectangle is empty"},
      {{320, 80, 80, 220}, "the rectangle is empty"},
      {{80, 80, 320, 300.5}, "reaches outside the 400 x 300 picture"},
      {{-0.5, 80, 320, 220}, "reaches outside"},
      {{NAN, 80, 320, 220}, "must be numbers"},
      {{100, 100, 104, 104}, "at least 8 pixels"},
      {{2, 2, 60, 60}, "too few edges"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    why.clear();
    EXPECT_FALSE(PartOf(f.station).Teach(c.rect, &why));
    EXPECT_NE(why.find(c.says), std::string::npos) << why;
    EXPECT_EQ(testing::ReadBytes(f.station.PathOf(kPartModelName)), before);
    EXPECT_EQ(PartOf(f.station).ModelBytes(), before);
  }
  f.station.image.frame = nullptr;
  EXPECT_TRUE(PartOf(f.station).Find(false, &why).empty());
  EXPECT_EQ(why, "no picture");
}

TEST(PartSession, TheModelFileServesTheNextStationAndADamagedOneIsSetAside) {
  testing::TempDir dir;
  const fs::path file = dir.path() / kPartModelName;
  {
    FakeSurface surface;
    Station st(dir.path(), &surface);
    ASSERT_TRUE(Taught(st));
    EXPECT_EQ(testing::ReadBytes(file), PartOf(st).ModelBytes());
    EXPECT_TRUE(surface.notes().empty());
  }
  {
    FakeSurface surface;
    Station st(dir.path(), &surface);
    ShowPlate(st, 203.5, 146.25, 45);
    const std::vector<PartPose> found = PartOf(st).Find(false);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_NEAR(found[0].x, 203.5, 0.1);
    EXPECT_NEAR(found[0].angle_deg, 45, 0.05);
  }
  std::vector<uint8_t> damaged = testing::ReadBytes(file);
  damaged[damaged.size() / 2] ^= 0x40;
  testing::WriteBytes(file, damaged.data(), damaged.size());
  FakeSurface surface;
  Station st(dir.path(), &surface);
  ShowPlate(st, 200, 150, 0);
  EXPECT_EQ(PartOf(st).model(), nullptr);
  EXPECT_EQ(PartOf(st).model(), nullptr);
  ASSERT_EQ(surface.notes().size(), 1u); // said once
  EXPECT_NE(surface.notes()[0].find("PART.QGM is damaged"), std::string::npos);
  EXPECT_EQ(testing::ReadBytes(file), damaged);
  std::string why;
  EXPECT_TRUE(PartOf(st).Find(false, &why).empty());
  EXPECT_EQ(why, "no part is taught");
  // Teaching again keeps the damaged file aside, and says so.
  ASSERT_TRUE(PartOf(st).Teach(kTaught, &why)) << why;
  EXPECT_EQ(testing::ReadBytes(dir.path() / "PART.QGM.bad"), damaged);
  EXPECT_EQ(testing::ReadBytes(file), PartOf(st).ModelBytes());
  ASSERT_EQ(surface.notes().size(), 2u);
  EXPECT_EQ(surface.notes()[1], "The damaged part model was set aside as PART.QGM.bad.");
  EXPECT_TRUE(IsStationFile(dir.path(), file));
  EXPECT_TRUE(IsStationFile(dir.path(), dir.path() / "PART.QGM.bad"));
  testing::WriteBytes(dir.path() / "PART.QGM.tmpAb12Cd", "x", 1);
  EXPECT_EQ(RemoveLeftoverTemporaries(dir.path()), 1u);
}

TEST(PartSession, ARoundPartIsTaughtWithANote) {
  testing::StationFixture f;
  ShowPlate(f.station, 200, 150, 0, false);
  std::string why;
  ASSERT_TRUE(PartOf(f.station).Teach({130, 80, 270, 220}, &why)) << why;
  ASSERT_FALSE(f.surface.notes().empty());
  EXPECT_NE(f.surface.notes()[0].find("cannot fix its turn"), std::string::npos);
}

TEST(PartSession, PoseWordsAndFrames) {
  struct Case {
    PartPose pose;
    const char* words;
  };
  const Case cases[] = {
      {{12.34567, 0.0004, 30.0, 0.98765}, "12.346 0.000 30.000 0.988"},
      {{-0.0004, 5, -179.9996, 1.0}, "0.000 5.000 180.000 1.000"},
      {{1, 2, -179.9994, 0.5}, "1.000 2.000 -179.999 0.500"},
      {{1, 2, 180.0, 0.7}, "1.000 2.000 180.000 0.700"},
  };
  for (const Case& c : cases) EXPECT_EQ(PartPoseWords(c.pose), c.words);
  const PartPose pose{100, 50, 90, 1};
  double x = 0, y = 0, px = 0, py = 0;
  PartToPicture(pose, 10, 0, &x, &y); // +x of the part points down the picture
  EXPECT_NEAR(x, 100, 1e-12);
  EXPECT_NEAR(y, 60, 1e-12);
  const PartPose turned{3.5, -2, -37.5, 1};
  PartToPicture(turned, 12.25, -7, &x, &y);
  PictureToPart(turned, x, y, &px, &py);
  EXPECT_NEAR(px, 12.25, 1e-12);
  EXPECT_NEAR(py, -7, 1e-12);
}

} // namespace
} // namespace orvane
