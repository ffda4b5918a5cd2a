#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "results/csv.h"
#include "results/session.h"
#include "results/snap.h"
#include "results/table_file.h"
#include "results/window_file.h"
#include "view/undo.h"
#include "support/station_fixture.h"

namespace orvane {
namespace {

using testing::AttachImage;
using testing::ReadBytes;
using testing::StationFixture;
using testing::WriteBytes;

ResultRow Length(double v) {
  ResultRow r;
  r.kind = kKindLength;
  r.value = v;
  r.unit = "px";
  return r;
}

TEST(ResultsSession, SurvivesARestartAndSetsADamagedFileAside) {
  StationFixture f;
  AddResult(f.station, Length(1.5));
  ResultsOf(f.station).table.SetTolerance("L1", {1.5, 0.1});
  SaveResults(f.station);
  const auto path = f.station.PathOf(kResultsFileName);
  const std::vector<uint8_t> saved = testing::StoredResults(f.dir.path());
  {
    Station again(f.dir.path(), &f.surface, &f.clock);
    ASSERT_EQ(ResultsOf(again).table.rows().size(), 1u);
    EXPECT_EQ(ResultsOf(again).table.rows()[0].value, 1.5);
    EXPECT_TRUE(ResultsOf(again).table.ToleranceOf("L1").has_value());
  }
  EXPECT_TRUE(f.surface.message_boxes().empty());
  // A torn table file met by the first start: set aside whole, the user
  // told; its torn row is left out, its whole lines (the tolerance, the
  // numbering) kept and stored.
  for (const char* name : {"RESULTS.DB", "RESULTS.DB-wal", "RESULTS.DB-shm"}) {
    std::filesystem::remove(f.dir.path() / name);
  }
  WriteBytes(path, saved.data(), saved.size() - 2);
  Station damaged(f.dir.path(), &f.surface, &f.clock);
  EXPECT_TRUE(ResultsOf(damaged).table.rows().empty());
  EXPECT_TRUE(ResultsOf(damaged).table.ToleranceOf("L1").has_value());
  ASSERT_EQ(f.surface.message_boxes().size(), 1u);
  EXPECT_NE(f.surface.message_boxes()[0].text.find("set aside as RESULTS.TAB.bad"), std::string::npos);
  EXPECT_EQ(ReadBytes(f.dir.path() / "RESULTS.TAB.bad").size(), saved.size() - 2);
  // The next result goes on in a good file, never taking the torn row's
  // number; the damaged one stays aside.
  EXPECT_EQ(AddResult(damaged, Length(2.0)).number, 2u);
  ResultsTable back;
  const std::vector<uint8_t> now = testing::StoredResults(f.dir.path());
  EXPECT_TRUE(ReadResultsText(std::string(now.begin(), now.end()), &back));
  EXPECT_EQ(back.rows().size(), 1u);
}

// A session killed while it appends: every row in RESULTS.CSV is whole, and
// numbered 1, 2, 3 ... without a gap; RESULTS.DB still reads.
TEST(ResultsSession, AppendFileAfterAKillLosesNoRowAndTearsNone) {
  testing::TempDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Station st(dir.path());
    ResultsOf(st).table.append_csv = true;
    for (double v = 0.0;; v += 1.0) AddResult(st, Length(v));
  }
  const auto csv = dir.path() / kResultsCsvName;
  for (int i = 0; i < 200 && testing::ReadBytes(csv).size() < 20000; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  const std::vector<uint8_t> bytes = ReadBytes(csv);
  const std::string text(bytes.begin(), bytes.end());
  ASSERT_GT(text.size(), 1000u);
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n"); // the last row is whole
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line + "\n", CsvRecord(ResultColumns()).substr(0, line.size() + 1));
  uint32_t expected = 1;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.back(), '\r');
    ASSERT_EQ(line.substr(0, line.find(',')), std::to_string(expected)) << line;
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 13) << line;
    ++expected;
  }
  EXPECT_GT(expected, 10u);
  const std::vector<uint8_t> tab = testing::StoredResults(dir.path());
  ResultsTable table;
  ASSERT_TRUE(ReadResultsText(std::string(tab.begin(), tab.end()), &table));
  // The table file is saved before the row is appended: never behind it,
  // so a restart never gives a number the file already has.
  EXPECT_GE(table.rows().size(), expected - 1);
  Station again(dir.path());
  EXPECT_GT(AddResult(again, Length(0.0)).number, expected - 1);
}

// An image with a dark band from x = `left` to `right` (pixel boundaries:
// pixel x covers [x, x + 1)), its edges blurred with a Gaussian of sigma 1 px
// as a lens would, area-sampled, over light ground, with noise of sigma 2.
void DrawBand(Station& st, double left, double right, uint32_t seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 2.0);
  auto phi = [](double t) { return 0.5 * std::erfc(-t / std::sqrt(2.0)); };
  ImageState& im = st.image;
  for (uint32_t x = 0; x < im.width; ++x) {
    double cover = 0.0;
    for (int i = 0; i < 16; ++i) {
      const double t = x + (i + 0.5) / 16.0;
      cover += (phi(t - left) - phi(t - right)) / 16.0;
    }
    for (uint32_t y = 0; y < im.height; ++y) {
      const double v = std::clamp(190.0 - 130.0 * cover + noise(rng), 0.0, 255.0);
      uint8_t* p = im.frame + y * im.stride + x * 3;
      p[0] = p[1] = p[2] = static_cast<uint8_t>(std::lround(v));
    }
  }
}

TEST(Snap, ClicksWithinReachLandOnTheEdgeAndOthersStay) {
  StationFixture f;
  AttachImage(f.station, 120, 60, 190);
  // Band edges at 40.3 and 80.7 in pixel-boundary terms: in the station's
  // coordinates (a whole number is a pixel's centre) 39.8 and 80.2.
  DrawBand(f.station, 40.3, 80.7, 7);
  const struct {
    double x, y;
    double expect; // NaN: no snap
  } clicks[] = {{39, 30, 39.8}, {36, 20, 39.8}, {45, 25, 39.8}, {83, 30, 80.2},
                {77, 40, 80.2}, {60, 30, NAN},  {20, 30, NAN}, {0, 0, NAN}};
  for (const auto& c : clicks) {
    const std::optional<SnapMark> m = SnapToEdge(f.station.image, c.x, c.y);
    if (std::isnan(c.expect)) {
      EXPECT_FALSE(m.has_value()) << c.x;
      continue;
    }
    ASSERT_TRUE(m.has_value()) << c.x;
    EXPECT_NEAR(m->x, c.expect, 0.05) << c.x;
    EXPECT_NEAR(m->y, c.y, 0.05) << c.x; // moved along the gradient only
    EXPECT_GT(m->sigma, 0.0);
    EXPECT_LT(m->sigma, 0.1);
  }
  const std::optional<SnappedWidth> w = SnapWidth(f.station.image, 38, 10, 82, 50);
  ASSERT_TRUE(w.has_value());
  EXPECT_NEAR(w->width, 40.4, 0.03);
  EXPECT_FALSE(SnapWidth(f.station.image, 50, 10, 70, 50).has_value()); // no edge near the sides
}

TEST(Snap, DiameterGaugeOnADisc) {
  StationFixture f;
  AttachImage(f.station, 160, 160, 190);
  const double cx = 80.3, cy = 77.6, r = 41.25; // station coordinates
  ImageState& im = f.station.image;
  for (uint32_t y = 0; y < im.height; ++y) {
    for (uint32_t x = 0; x < im.width; ++x) {
      int inside = 0; // 8 x 8 samples a pixel
      for (int i = 0; i < 64; ++i) {
        const double sx = x - 0.5 + (i % 8 + 0.5) / 8, sy = y - 0.5 + (i / 8 + 0.5) / 8;
        inside += std::hypot(sx - cx, sy - cy) < r;
      }
      uint8_t* p = im.frame + y * im.stride + x * 3;
      p[0] = p[1] = p[2] = static_cast<uint8_t>(190 - 130 * inside / 64);
    }
  }
  const double xs[3] = {cx + r + 2, cx - r * 0.5, cx - r * 0.5 + 2};
  const double ys[3] = {cy, cy + r * 0.866 - 2, cy - r * 0.866};
  const std::optional<GaugedCircle> c = GaugeCircle(im, xs, ys);
  ASSERT_TRUE(c.has_value());
  EXPECT_NEAR(c->x, cx, 0.02);
  EXPECT_NEAR(c->y, cy, 0.02);
  EXPECT_NEAR(c->radius, r, 0.02);
  const double line_x[3] = {10, 20, 30}, line_y[3] = {10, 20, 30};
  EXPECT_FALSE(GaugeCircle(im, line_x, line_y).has_value()); // collinear clicks
}

// Clear asks through the window's message box: no keeps every row, yes
// empties the table; an empty table is cleared without a question.
TEST(ResultsSession, ClearAsksFirst) {
  StationFixture f;
  AddResult(f.station, Length(1.0));
  AddResult(f.station, Length(2.0));
  f.surface.QueueAnswer(MessageAnswer::No);
  EXPECT_FALSE(ClearResults(f.station));
  ASSERT_EQ(f.surface.message_boxes().size(), 1u);
  EXPECT_EQ(f.surface.message_boxes()[0].buttons, MessageButtons::YesNo);
  EXPECT_NE(f.surface.message_boxes()[0].text.find("Clear all 2 results"), std::string::npos);
  EXPECT_EQ(ResultsOf(f.station).table.rows().size(), 2u);
  f.surface.QueueAnswer(MessageAnswer::Yes);
  EXPECT_TRUE(ClearResults(f.station));
  EXPECT_TRUE(ResultsOf(f.station).table.rows().empty());
  ResultsTable back;
  const std::vector<uint8_t> saved = testing::StoredResults(f.dir.path());
  ASSERT_TRUE(ReadResultsText(std::string(saved.begin(), saved.end()), &back));
  EXPECT_TRUE(back.rows().empty());
  EXPECT_TRUE(ClearResults(f.station));
  EXPECT_EQ(f.surface.message_boxes().size(), 2u);
}

// The Results window's own file: what it writes reads back; anything else
// gives the defaults (and the defaults written over it later).
TEST(ResultsWindowFile, RoundTripsAndRefusesWhatItWouldNotWrite) {
  ResultsWindowState s;
  s.has_geometry = true;
  s.x = -20;
  s.y = 40;
  s.width = 900;
  s.height = 500;
  s.show_unit = std::string(kMicrometre);
  ResultsWindowState back;
  ASSERT_TRUE(ReadResultsWindowText(WriteResultsWindowText(s), &back));
  EXPECT_EQ(WriteResultsWindowText(back), WriteResultsWindowText(s));
  EXPECT_TRUE(ReadResultsWindowText(WriteResultsWindowText({}), &back));
  EXPECT_FALSE(back.has_geometry);
  const std::string magic = "ORVANE-RESULTS-WINDOW\t1\n";
  for (const std::string& bad : {std::string(), magic + "geometry\t1\t2\t0\t5\n",
                                magic + "geometry\t1\t2\t3\n", magic + "geometry\t1\t2\t3\t99999999999\n",
                                magic + "show\tpx\n", magic + "show\tmm", magic + "colour\tred\n",
                                magic + std::string(5000, '\n')}) {
    ResultsWindowState untouched = s;
    EXPECT_FALSE(ReadResultsWindowText(bad, &untouched)) << bad;
    EXPECT_EQ(untouched.width, 900);
  }
  StationFixture f;
  EXPECT_FALSE(LoadResultsWindowState(f.dir.path()).has_geometry);
  ASSERT_TRUE(SaveResultsWindowState(f.dir.path(), s));
  EXPECT_EQ(LoadResultsWindowState(f.dir.path()).x, -20);
  std::filesystem::remove(f.dir.path() / kResultsWindowFileName);
  std::filesystem::create_directory(f.dir.path() / kResultsWindowFileName);
  EXPECT_FALSE(LoadResultsWindowState(f.dir.path()).has_geometry); // a folder in its place
}

} // namespace
} // namespace orvane
