#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "station/workspace.h"
#include "support/station_fixture.h"
#include "workspace/files.h"
#include "workspace/log.h"
#include "workspace/settings.h"
#include "workspace/solutions.h"

namespace orvane {
namespace {

using testing::ReadBytes;
using testing::StationFixture;
using testing::WriteBytes;

RoiRecord Roi(int32_t l, int32_t t, int32_t r, int32_t b) {
  return RoiRecord{l, t, r, b, r - l, b - t, 0, 0, 0, 0, 0};
}

TEST(RoiPull, MovesOnePixelPerRepetitionUntilInside) {
  auto rec = std::make_unique<SolutionRecord>();
  rec->roi_count = 1;
  rec->rois[0] = Roi(600, 100, 700, 200);
  PullRoisInside(*rec, 320, 240);
  // right must drop below W - 2 = 318: 383 repetitions move both corners.
  EXPECT_EQ(rec->rois[0].right, 317);
  EXPECT_EQ(rec->rois[0].left, 217);
  EXPECT_EQ(rec->rois[0].width, 100);
  EXPECT_EQ(rec->rois[0].top, 100);
  EXPECT_EQ(rec->rois[0].height, 100);
  EXPECT_EQ(rec->rois[0].rel_left, 0.0f);
}

TEST(RoiPull, StopsWhenBothCornersReachOne) {
  auto rec = std::make_unique<SolutionRecord>();
  rec->roi_count = 1;
  rec->rois[0] = Roi(5, 5, 50, 50);
  PullRoisInside(*rec, 3, 3); // W - 2 = 1: nothing fits
  EXPECT_EQ(rec->rois[0].left, 1);
  EXPECT_EQ(rec->rois[0].right, 1);
  EXPECT_EQ(rec->rois[0].top, 1);
  EXPECT_EQ(rec->rois[0].bottom, 1);
  EXPECT_EQ(rec->rois[0].width, 0);
}

TEST(RoiPull, CornersFarApartFromADamagedFileStayDefined) {
  auto rec = std::make_unique<SolutionRecord>();
  rec->roi_count = 1;
  rec->rois[0] = RoiRecord{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0, 0, 0, 0, 0, 0, 0};
  PullRoisInside(*rec, 320, 240);
  // Negative corners count as outside (unsigned comparison) and never move;
  // the far corner walks down by one per repetition, 50,000 times at most.
  EXPECT_EQ(rec->rois[0].left, INT32_MIN);
  EXPECT_EQ(rec->rois[0].right, INT32_MAX - 50000);
  EXPECT_EQ(rec->rois[0].width, static_cast<int32_t>(uint32_t{INT32_MAX - 50000} -
                                                     static_cast<uint32_t>(INT32_MIN)));
  EXPECT_EQ(rec->rois[0].height, rec->rois[0].width);
}

TEST(RoiPull, InsideRoisAndOtherCountsAreLeftAlone) {
  auto rec = std::make_unique<SolutionRecord>();
  rec->roi_count = 1;
  rec->rois[0] = Roi(10, 10, 317, 237);
  rec->rois[1] = Roi(600, 600, 700, 700); // beyond roi_count
  PullRoisInside(*rec, 320, 240);
  EXPECT_EQ(rec->rois[0].right, 317);
  EXPECT_EQ(rec->rois[0].bottom, 237);
  EXPECT_EQ(rec->rois[1].right, 700);
}

// The pull, one pixel a repetition for up to 50,000 repetitions, written out
// as a plain loop: the station's pull must leave every ROI exactly as this.
void PullOnePixelAtATime(SolutionRecord& rec, uint32_t width, uint32_t height) {
  const uint32_t wl = width - 2, hl = height - 2;
  const uint32_t count = std::min(rec.roi_count, kMaxRois);
  for (int rep = 0; rep < 50000; ++rep) {
    bool changed = false;
    for (uint32_t i = 0; i < count; ++i) {
      RoiRecord& r = rec.rois[i];
      if (uint32_t(r.left) >= wl || uint32_t(r.right) >= wl) {
        if (r.left > 1) --r.left;
        if (r.right > 1) --r.right;
        r.width = int32_t(uint32_t(r.right) - uint32_t(r.left));
        changed = true;
      }
      if (uint32_t(r.top) >= hl || uint32_t(r.bottom) >= hl) {
        if (r.top > 1) --r.top;
        if (r.bottom > 1) --r.bottom;
        r.height = int32_t(uint32_t(r.bottom) - uint32_t(r.top));
        changed = true;
      }
    }
    if (!changed) break;
  }
}

TEST(RoiPull, EndsExactlyWhereOnePixelRepetitionsEnd) {
  const int32_t corners[] = {INT32_MIN, -70000, -2, -1, 0, 1, 2, 3, 5, 100, 317, 318,
                             319, 320, 50317, 50318, 50319, 60000, INT32_MAX};
  const uint32_t sizes[] = {0, 1, 2, 3, 4, 320, 0x80000001u, UINT32_MAX};
  std::mt19937 random(16);
  auto corner = [&] {
    return random() % 4 == 0 ? int32_t(random()) : corners[random() % std::size(corners)];
  };
  auto mine = std::make_unique<SolutionRecord>();
  auto reference = std::make_unique<SolutionRecord>();
  for (int round = 0; round < 300; ++round) {
    mine->roi_count = round % 7 == 0 ? 1000 : random() % 5;
    for (RoiRecord& r : mine->rois) {
      r = RoiRecord{corner(), corner(), corner(), corner(), 7, 9, 0, 0, 0, 0, 0};
    }
    *reference = *mine;
    const uint32_t w = sizes[random() % std::size(sizes)], h = sizes[random() % std::size(sizes)];
    PullRoisInside(*mine, w, h);
    PullOnePixelAtATime(*reference, w, h);
    ASSERT_EQ(std::memcmp(mine.get(), reference.get(), sizeof *mine), 0) << round;
  }
}

TEST(RescaleAllRois, FollowsRelativeCornersAndClamps) {
  StationFixture f;
  OpenWorkspace(f.station);
  int refreshes = 0;
  f.station.hooks.refresh_panel = [&] { ++refreshes; };

  // Working record: the DXF Auto Output solution with two ROIs drawn at 640 x 480.
  ASSERT_EQ(LoadSolution(f.station, 3, f.station.working.get()), 0u);
  f.station.working->roi_count = 2;
  f.station.working->rois[0] = Roi(100, 50, 300, 250);
  SetRelativeCorners(f.station.working->rois[0], 640, 480);
  f.station.working->rois[1] = Roi(0, 0, 639, 479);
  f.station.working->rois[1].rel_right = 1.5f; // beyond the image: clamped
  f.station.working->rois[1].rel_bottom = 1.0f;
  f.station.image.width = 320;
  f.station.image.height = 240;
  RescaleAllRois(f.station, 320, 240);
  EXPECT_EQ(refreshes, 1);

  auto out = std::make_unique<SolutionRecord>();
  ASSERT_EQ(LoadSolution(f.station, 3, out.get()), 0u);
  ASSERT_EQ(out->roi_count, 2u);
  EXPECT_EQ(out->rois[0].left, 50);
  // 50 / 480 is stored as a float just below 0.1041667, so 240 times it
  // truncates to 24, not 25.
  EXPECT_EQ(out->rois[0].top, 24);
  EXPECT_EQ(out->rois[0].right, 150);
  EXPECT_EQ(out->rois[0].bottom, 124);
  EXPECT_EQ(out->rois[0].width, 100);
  EXPECT_EQ(out->rois[0].rel_left, f.station.working->rois[0].rel_left);
  EXPECT_EQ(out->rois[1].right, 319);
  EXPECT_EQ(out->rois[1].bottom, 239);
  EXPECT_EQ(out->rois[1].width, 319);

  // A zero size changes nothing and refreshes nothing.
  RescaleAllRois(f.station, 0, 240);
  EXPECT_EQ(refreshes, 1);
}

TEST(ResetAllRois, EmptiesEveryStoredSolutionButNotTheWorkingRecord) {
  StationFixture f;
  OpenWorkspace(f.station);
  auto rec = std::make_unique<SolutionRecord>();
  for (uint32_t i = 0; i < 6; ++i) {
    LoadSolution(f.station, i, rec.get());
    rec->roi_count = 1;
    SaveSolution(f.station, *rec);
  }
  f.station.working->roi_count = 1;
  ResetAllRois(f.station);
  for (uint32_t i = 0; i < 6; ++i) {
    LoadSolution(f.station, i, rec.get());
    EXPECT_EQ(rec->roi_count, 0u) << i;
  }
  EXPECT_EQ(f.station.working->roi_count, 1u);
}

TEST(Calibration, FollowsTheImageSize) {
  Settings s{};
  s.calibrated_width = 640;
  s.calibrated_height = 480;
  s.calibrated_scale_x = 20.0;
  s.calibrated_scale_y = 21.0;
  RescaleCalibration(s, 320, 240);
  EXPECT_EQ(s.scale_x, 10.0);
  EXPECT_EQ(s.scale_y, 10.5);
  s.calibrated_width = 0;
  RescaleCalibration(s, 320, 240);
  EXPECT_EQ(s.scale_x, 20.0);
}

TEST(EngineSettings, CopiesArgumentsAndBoundsDecimals) {
  EngineSettings e;
  uint8_t frame = 0, overlay = 0;
  SetEngineSettings(e, 640, 480, 1920, 3, &frame, &overlay, 1, kMetricUnitFactor, 20.0, 21.0, 0.0,
                    24.0, 12);
  EXPECT_EQ(e.decimals_dimensions, 5u);
  EXPECT_EQ(e.stride, 1920u);
  EXPECT_EQ(e.overlay, &overlay);
  SetEngineSettings(e, 640, 480, 1920, 3, &frame, &overlay, 1, 1.0, 20.0, 21.0, 0.0, 24.0, 9);
  EXPECT_EQ(e.decimals_dimensions, 9u);
  double sx, sy, s3, d;
  GetCalibration(e, &sx, &sy, &s3, &d);
  EXPECT_EQ(sx, 20.0);
  EXPECT_EQ(sy, 21.0);
  EXPECT_EQ(d, 24.0);
}

TEST(ColourTable, WindowColoursAndOutOfRange) {
  EXPECT_EQ(ColourOf(1), 0x800000u);
  EXPECT_EQ(ColourOf(6), 0x00C0C0u);
  EXPECT_EQ(ColourOf(15), 0xFFFFFFu);
  EXPECT_EQ(ColourOf(16), 0u);
}

TEST(ClampRoi, KeepsInsideRoisAndClampsOthers) {
  RoiRecord out;
  ASSERT_TRUE(ClampRoiToImage(Roi(10, 20, 30, 40), 640, 480, &out));
  EXPECT_EQ(out.left, 10);
  EXPECT_EQ(out.width, 20);
  ASSERT_TRUE(ClampRoiToImage(Roi(-5, -1, 9000, 480), 640, 480, &out));
  EXPECT_EQ(out.left, 0);
  EXPECT_EQ(out.top, 0);
  EXPECT_EQ(out.right, 639);
  EXPECT_EQ(out.bottom, 479);
  EXPECT_EQ(out.width, 639);
  EXPECT_FALSE(ClampRoiToImage(Roi(0, 0, 1, 1), 0, 480, &out));
}

TEST(Log, WritesNothingWhileOff) {
  StationFixture f;
  EXPECT_EQ(AppendLog(f.station, "\r\ntarnAutoCalibration()\r\n"), 0u);
  EXPECT_FALSE(std::filesystem::exists(f.dir.path() / "ORVANE.LOG"));
}

TEST(Log, StopsOnceTheSizeLimitIsReached) {
  StationFixture f;
  f.station.log_enabled = 1;
  std::vector<uint8_t> filler(999999, 'x');
  WriteBytes(f.dir.path() / "ORVANE.LOG", filler.data(), filler.size());
  EXPECT_EQ(AppendLog(f.station, "--\r\n"), 1u);
  EXPECT_EQ(ReadBytes(f.dir.path() / "ORVANE.LOG").size(), 1000003u);
  EXPECT_EQ(AppendLog(f.station, "--\r\n"), 0u);
  EXPECT_EQ(ReadBytes(f.dir.path() / "ORVANE.LOG").size(), 1000003u);
}

TEST(Files, WholeFileOperations) {
  StationFixture f;
  auto path = f.station.PathOf("A.BIN");
  const char data[] = "abcdef";
  EXPECT_EQ(WriteWholeFile(path, data, 6), 6u);
  EXPECT_EQ(AppendToFile(path, data, 3), 3u);
  std::vector<uint8_t> all;
  EXPECT_EQ(ReadWholeFile(path, all), 9u);
  EXPECT_EQ(std::string(all.begin(), all.end()), "abcdefabc");
  char buf[4] = {'-', '-', '-', '-'};
  EXPECT_EQ(ReadFileInto(path, buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  EXPECT_EQ(ReadFileInto(f.station.PathOf("MISSING"), buf, 4), 0u);
  EXPECT_EQ(ReadWholeFile(f.station.PathOf("MISSING"), all), 0u);
  EXPECT_EQ(f.station.PathOf("Saved\\IMAGE3.BMP"), f.dir.path() / "Saved" / "IMAGE3.BMP");
}

TEST(Files, FailedWriteLeavesNoTraceAndKeepsTheOldFile) {
  StationFixture f;
  // The destination is a folder, which no write can replace.
  std::filesystem::create_directory(f.dir.path() / "XORVANE.CFG");
  const char data[] = "new";
  EXPECT_EQ(WriteWholeFile(f.station.PathOf("XORVANE.CFG"), data, 3), 0u);
  EXPECT_TRUE(std::filesystem::is_directory(f.dir.path() / "XORVANE.CFG"));
  // No temporary file is left behind.
  size_t entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(f.dir.path())) ++entries;
  EXPECT_EQ(entries, 1u);
  // A folder that does not exist cannot take the file at all.
  EXPECT_EQ(WriteWholeFile(f.station.PathOf("NoSuchFolder\\X.CFG"), data, 3), 0u);

  // The settings then stay in memory; a later start begins from defaults again.
  LoadSettings(f.station);
  EXPECT_EQ(f.station.settings.format_tag, 230u);
}

TEST(Files, RewriteReplacesContentAtomically) {
  StationFixture f;
  auto path = f.station.PathOf("B.BIN");
  std::vector<uint8_t> big(5000, 1), small(10, 2);
  WriteWholeFile(path, big.data(), 5000);
  WriteWholeFile(path, small.data(), 10);
  EXPECT_EQ(ReadBytes(path), small);
}

} // namespace
} // namespace orvane
