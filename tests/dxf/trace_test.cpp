#include "dxf/trace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "draw/format.h"
#include "dxf/dxf_support.h"
#include "dxf/writer.h"

namespace orvane {
namespace {

using testing::CountType;
using testing::ParseEntities;
using testing::TestImage;

constexpr int32_t kLine = 2;

// Tracing on an edge map drawn by hand, one Line ROI, k = 1.
class TraceTest : public ::testing::Test {
 protected:
  void Start(uint32_t width, uint32_t height) {
    image = std::make_unique<TestImage>(station, width, height);
    edges = EdgeMap::Allocate(station.image);
    record = std::make_unique<SolutionRecord>();
  }
  void Trace(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    testing::AddRoi(*record, left, top, right, bottom, kLine);
    sink.Replace("");
    TraceOutline(station, edges, *record, record->roi_count - 1, 1.0, sink);
  }
  // The LINE records written so far.
  std::vector<testing::DxfEntity> Lines() const {
    return ParseEntities("0\r\nSECTION\r\n2\r\nENTITIES\r\n" + sink.text() + "0\r\nENDSEC\r\n");
  }
  std::string ReadLog() const {
    const auto bytes = testing::ReadBytes(station.PathOf("ORVANE.LOG"));
    return {bytes.begin(), bytes.end()};
  }

  testing::StationFixture f;
  Station& station = f.station;
  std::unique_ptr<TestImage> image;
  EdgeMap edges;
  std::unique_ptr<SolutionRecord> record;
  DxfStringSink sink;
};

// A two-pixel-wide horizontal edge, rows 50 and 51, columns 10..189, through
// the middle of the ROI: the sweep meets it on both sides of the centre.
TEST_F(TraceTest, StraightEdgeGivesTwoBranchesInOppositeDirections) {
  Start(200, 100);
  for (int32_t x = 10; x < 190; ++x) {
    edges.Set(x, 50);
    edges.Set(x, 51);
  }
  station.log_enabled = 1;
  Trace(80, 30, 120, 70);

  const TraceList& list = station.trace;
  ASSERT_GE(list.count(), 4u);
  EXPECT_EQ(list.x[0], 100);
  EXPECT_EQ(list.y[0], 50);
  uint32_t second = 0;
  for (uint32_t j = 1; j < list.count(); ++j) {
    if (list.x[j] == 100 && list.y[j] == 50) second = j;
  }
  ASSERT_GT(second, 1u) << "the second branch starts at the centre too";
  // The first run of the sweep lies around 180 degrees: the branch goes left
  // to the end of the edge. The second run is closed after 360 degrees, so
  // its angle is above 360, and that branch goes right.
  EXPECT_NEAR(list.angle[0], 180.0, 5.0);
  EXPECT_GT(list.angle[second], 360.0);
  for (uint32_t j = 1; j < second; ++j) EXPECT_LT(list.x[j], list.x[j - 1]) << j;
  for (uint32_t j = second + 1; j < list.count(); ++j) EXPECT_GT(list.x[j], list.x[j - 1]) << j;
  EXPECT_LE(list.x[second - 1], 15);
  EXPECT_GE(list.x[list.count() - 1], 184);
  for (uint32_t j = 0; j < list.count(); ++j) {
    EXPECT_TRUE(list.y[j] == 50 || list.y[j] == 51) << j;
  }

  // The trace consumed the edge.
  EXPECT_FALSE(edges.IsEdge(60, 50));
  EXPECT_FALSE(edges.IsEdge(150, 51));

  // Every LINE joins neighbours: the jump from the left end back to the
  // centre is not drawn, nor is the closing segment.
  const auto entities = Lines();
  EXPECT_EQ(CountType(entities, "LINE"), list.count() - 2);
  for (const auto& e : entities) {
    EXPECT_LT(std::fabs(e.Number(10) - e.Number(11)), 10.0);
    EXPECT_LT(std::fabs(e.Number(20) - e.Number(21)), 10.0);
  }

  // The log: the start line, the count and one line per entry, the angle
  // with 5 decimals and not reduced into 0..360.
  const std::string log = ReadLog();
  const std::string head = "--\r\nPoints " + std::to_string(list.count()) + "\r\n";
  ASSERT_EQ(log.substr(0, head.size()), head);
  size_t lines = 0;
  for (size_t p = head.size(); (p = log.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
  EXPECT_EQ(lines, list.count());
  const std::string first = "100,50," + FormatNumber(list.angle[0], 5) + "\r\n";
  EXPECT_EQ(log.substr(head.size(), first.size()), first);
  EXPECT_NE(log.find("\r\n100,50,36"), std::string::npos) << log.substr(0, 400);
}

// Around a centre at (100, 50), the probes of the sweep at radius 12 fall on
// (106, 60) for exactly the 3 angles 57..59 and on (104, 61) for exactly the
// 4 angles 67..70.
TEST_F(TraceTest, RunOfThreeClosedInsideTheSweepIsDropped) {
  Start(200, 100);
  edges.Set(100, 50);
  edges.Set(106, 60);
  station.log_enabled = 1;
  Trace(95, 45, 105, 55);
  EXPECT_EQ(station.trace.count(), 0u);
  EXPECT_TRUE(sink.text().empty());
  EXPECT_EQ(ReadLog(), "--\r\nPoints 0\r\n");
}

TEST_F(TraceTest, RunOfFourClosedInsideTheSweepIsTraced) {
  Start(200, 100);
  edges.Set(100, 50);
  edges.Set(104, 61);
  Trace(95, 45, 105, 55);
  // Nothing lies 5 pixels from the centre: the branch ends where it starts,
  // with its start and end entries, a zero-length segment between them and
  // the closing segment back to the first.
  const TraceList& list = station.trace;
  ASSERT_EQ(list.count(), 2u);
  for (uint32_t j = 0; j < 2; ++j) {
    EXPECT_EQ(list.x[j], 100);
    EXPECT_EQ(list.y[j], 50);
    EXPECT_FLOAT_EQ(list.angle[j], 68.5f);
  }
  const auto entities = Lines();
  ASSERT_EQ(CountType(entities, "LINE"), 2u);
  EXPECT_EQ(entities[0].Number(10), 100.0);
  EXPECT_EQ(entities[0].Number(20), 50.0); // H - y = 100 - 50
}

// The only probes inside a 15 x 15 image around a centre at (6.25, 6.25) are
// those at 44, 45 and 46 degrees, all on the edge pixel (14, 14). With no
// probe off the edges the sweep starts at 0, and the run of 3 is still open
// when it ends, so it is traced.
TEST_F(TraceTest, RunOfThreeOpenAtTheEndIsTraced) {
  Start(15, 15);
  for (auto [x, y] : {std::pair{5, 7}, {7, 5}, {6, 6}, {6, 7}, {7, 6}, {6, 5}, {5, 6}, {8, 8}}) {
    edges.Set(x, y);
  }
  edges.Set(14, 14);
  Trace(0, 0, 10, 10);
  const TraceList& list = station.trace;
  ASSERT_GE(list.count(), 2u);
  EXPECT_EQ(list.x[0], 6);
  EXPECT_EQ(list.y[0], 6);
  EXPECT_FLOAT_EQ(list.angle[0], 45.0f);
}

TEST_F(TraceTest, RoiWithoutEdgesTracesNothingFromTheCorner) {
  Start(100, 100);
  edges.Set(50, 50); // outside the ROI and far from the corner
  station.log_enabled = 1;
  Trace(20, 20, 40, 40);
  EXPECT_EQ(station.trace.count(), 0u);
  EXPECT_TRUE(sink.text().empty());
  EXPECT_EQ(ReadLog(), "--\r\nPoints 0\r\n");
  EXPECT_TRUE(edges.IsEdge(50, 50));
}

TEST_F(TraceTest, LogStaysClosedWhileSwitchedOff) {
  Start(200, 100);
  for (int32_t x = 10; x < 190; ++x) edges.Set(x, 50);
  Trace(80, 30, 120, 70);
  EXPECT_GT(station.trace.count(), 0u);
  EXPECT_FALSE(std::filesystem::exists(station.PathOf("ORVANE.LOG")));
}

// A stored ROI far outside the image is clamped before any pixel is read.
TEST_F(TraceTest, DamagedRoiIsClampedIntoTheImage) {
  Start(60, 40);
  for (int32_t x = 0; x < 60; ++x) {
    edges.Set(x, 20);
    edges.Set(x, 21);
  }
  Trace(-100000, -5, 100000, 1 << 30);
  EXPECT_EQ(station.trace.x[0], 29);
  EXPECT_EQ(station.trace.y[0], 20);
}

} // namespace
} // namespace orvane
