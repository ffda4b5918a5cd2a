#include "dxf/dxf_solutions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

#include "dxf/dxf_support.h"
#include "dxf/writer.h"
#include "solutions/process.h"

namespace orvane {
namespace {

using testing::AddRoi;
using testing::CountType;
using testing::DefaultRecord;
using testing::DrawingExists;
using testing::DrawingText;
using testing::Golden;
using testing::ParseEntities;
using testing::TestImage;

constexpr int32_t kPoints = 1;
constexpr int32_t kLine = 2;
constexpr int32_t kCircle = 3;

// A station calibrated at 50 pixels per inch at 24 inches: with the default
// distance of 24 inches one pixel is k = 0.02 in.
class DxfSolutionTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::Calibrate(station, 50.0, 24.0); }
  testing::StationFixture f;
  Station& station = f.station;
  static constexpr double k = 0.02;
};

// A vertical step: columns from `step` on are bright. The edge filter finds
// the two columns step - 1 and step.
void DrawStep(TestImage& image, int32_t width, int32_t height, int32_t step) {
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = step; x < width; ++x) image.SetGrey(x, y, 200);
  }
}

std::vector<std::pair<double, double>> PointCoordinates(const std::string& text) {
  std::vector<std::pair<double, double>> points;
  for (const auto& e : ParseEntities(text)) {
    if (e.type == "POINT") points.emplace_back(e.Number(10), e.Number(20));
  }
  return points;
}

TEST_F(DxfSolutionTest, WithoutRoiTheyAskForOneAndWriteNothing) {
  TestImage image(station, 40, 30);
  for (uint32_t id : {201u, 202u}) {
    SolutionRecord& record = DefaultRecord(station, id);
    EXPECT_EQ(id == 201 ? DxfAutoOutput(station, record) : DxfSimpleOutput(station, record), 0);
  }
  ASSERT_EQ(f.surface.message_boxes().size(), 2u);
  for (const auto& box : f.surface.message_boxes()) {
    EXPECT_EQ(box.text, "This function requires at least one region of interest.");
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
  }
  EXPECT_FALSE(DrawingExists(station));
}

TEST_F(DxfSolutionTest, UncalibratedRunsStopSilentlyWithoutFile) {
  testing::Calibrate(station, 50.0, 0.0);
  TestImage image(station, 40, 30);
  DrawStep(image, 40, 30, 20);
  for (uint32_t id : {201u, 202u, 203u}) {
    SolutionRecord& record = DefaultRecord(station, id);
    AddRoi(record, 2, 2, 37, 27, kPoints);
    if (id == 201) DxfAutoOutput(station, record);
    if (id == 202) DxfSimpleOutput(station, record);
    if (id == 203) DxfTraceOutput(station, record);
  }
  EXPECT_TRUE(f.surface.message_boxes().empty());
  EXPECT_FALSE(DrawingExists(station));
  EXPECT_EQ(image.Byte2(30, 5), 200); // Simple Output left the frame alone
}

TEST_F(DxfSolutionTest, SimpleOutputWritesInteriorEdgesAndLeavesEdgeImage) {
  TestImage image(station, 40, 30);
  DrawStep(image, 40, 30, 20);
  SolutionRecord& record = DefaultRecord(station, 202);
  AddRoi(record, 16, 10, 23, 12);
  EXPECT_EQ(DxfSimpleOutput(station, record), 0);
  EXPECT_EQ(DrawingText(station), Golden("simple"));
  // The frame now holds the edge image: white edges, black everywhere else.
  EXPECT_EQ(image.Byte2(19, 11), 255);
  EXPECT_EQ(image.Byte2(20, 11), 255);
  EXPECT_EQ(image.Byte2(30, 11), 0);
  EXPECT_EQ(image.Byte2(19, 20), 0);
}

TEST_F(DxfSolutionTest, SimpleOutputWritesAPixelOfTwoRoisTwice) {
  TestImage image(station, 40, 30);
  DrawStep(image, 40, 30, 20);
  SolutionRecord& record = DefaultRecord(station, 202);
  AddRoi(record, 10, 2, 30, 20);
  AddRoi(record, 10, 10, 30, 27);
  DxfSimpleOutput(station, record);
  // The edges are the two step columns on the interior rows of either ROI,
  // 3..26; the walk of the first ROI finds rows 3..20 and that of the second
  // rows 10..26, so rows 10..20 come out twice.
  EXPECT_EQ(PointCoordinates(DrawingText(station)).size(), 2u * (18 + 17));
}

TEST_F(DxfSolutionTest, SimpleOutputClampsADamagedRoiIntoTheImage) {
  TestImage image(station, 40, 30);
  DrawStep(image, 40, 30, 20);
  SolutionRecord& record = DefaultRecord(station, 202);
  AddRoi(record, -50, -7, 4000, 90000);
  DxfSimpleOutput(station, record);
  EXPECT_EQ(PointCoordinates(DrawingText(station)).size(), 2u * 28);
}

TEST_F(DxfSolutionTest, AutoOutputWritesEachPixelOfOverlappingRoisOnce) {
  TestImage image(station, 40, 30);
  DrawStep(image, 40, 30, 20);
  SolutionRecord& record = DefaultRecord(station, 201);
  AddRoi(record, 10, 5, 25, 15, kPoints);
  AddRoi(record, 15, 10, 30, 25, kPoints);
  EXPECT_EQ(DxfAutoOutput(station, record), 0);

  // Plain reference: the edge pixels of each ROI in scan order, first finding
  // wins.
  std::vector<std::pair<double, double>> expected;
  std::set<std::pair<int, int>> seen;
  for (const auto& [top, bottom] : {std::pair{5, 15}, std::pair{10, 25}}) {
    for (int y = top; y <= bottom; ++y) {
      for (int x : {19, 20}) {
        if (seen.insert({x, y}).second) expected.emplace_back(x * k, (30 - y) * k);
      }
    }
  }
  const auto points = PointCoordinates(DrawingText(station));
  ASSERT_EQ(points.size(), expected.size());
  for (size_t i = 0; i < points.size(); ++i) {
    EXPECT_NEAR(points[i].first, expected[i].first, 1e-8) << i;
    EXPECT_NEAR(points[i].second, expected[i].second, 1e-8) << i;
  }
}

// A bright band, columns 100..149: two vertical edges. The Line ROI sees only
// the left one, and its trace erases it along the whole image; the Points ROI
// after it finds only the right edge.
TEST_F(DxfSolutionTest, AutoOutputPointsMissTheEdgeALineRoiTraced) {
  TestImage image(station, 200, 200);
  for (int32_t y = 0; y < 200; ++y) {
    for (int32_t x = 100; x < 150; ++x) image.SetGrey(x, y, 200);
  }
  SolutionRecord& record = DefaultRecord(station, 201);
  AddRoi(record, 70, 70, 160, 130, kPoints);
  DxfAutoOutput(station, record);
  const auto all = PointCoordinates(DrawingText(station));
  ASSERT_EQ(all.size(), 4u * 61);

  AddRoi(record, 70, 70, 130, 130, kLine);
  std::swap(record.rois[0], record.rois[1]);
  DxfAutoOutput(station, record);
  const std::string text = DrawingText(station);
  const auto entities = ParseEntities(text);
  EXPECT_GT(CountType(entities, "LINE"), 10u);
  EXPECT_EQ(entities.front().type, "LINE"); // LINEs first, then the points
  std::vector<std::pair<double, double>> right_edge;
  for (const auto& p : all) {
    if (p.first > 120 * k) right_edge.push_back(p);
  }
  EXPECT_EQ(PointCoordinates(text), right_edge);
}

// A dark disc of exactly 400 pixels on a light background, a smaller dark
// square of 144 pixels and a speck of 20 in the same Circle ROI.
TEST_F(DxfSolutionTest, AutoOutputFitsACircleToTheLargestBlob) {
  testing::Calibrate(station, 1.0, 24.0); // k = 1: the file keeps 9 decimals of R
  TestImage image(station, 120, 100, 220);
  std::vector<std::pair<double, std::pair<int, int>>> by_distance;
  for (int y = 20; y <= 60; ++y) {
    for (int x = 20; x <= 60; ++x) {
      by_distance.push_back({std::hypot(x - 40.3, y - 40.6), {x, y}});
    }
  }
  std::sort(by_distance.begin(), by_distance.end());
  double sum_x = 0;
  double sum_y = 0;
  for (int i = 0; i < 400; ++i) {
    const auto [x, y] = by_distance[i].second;
    image.SetGrey(x, y, 40);
    sum_x += x;
    sum_y += y;
  }
  for (int y = 70; y < 82; ++y) {
    for (int x = 70; x < 82; ++x) image.SetGrey(x, y, 60);
  }
  for (int y = 10; y < 14; ++y) {
    for (int x = 90; x < 95; ++x) image.SetGrey(x, y, 30);
  }
  SolutionRecord& record = DefaultRecord(station, 201);
  AddRoi(record, 5, 5, 110, 95, kCircle);
  AddRoi(record, 88, 8, 97, 16, kCircle); // only the speck: no circle
  DxfAutoOutput(station, record);

  const auto entities = ParseEntities(DrawingText(station));
  ASSERT_EQ(entities.size(), 1u);
  ASSERT_EQ(entities[0].type, "CIRCLE");
  EXPECT_NEAR(entities[0].Number(40), std::sqrt(400 / 3.1415927), 1e-9);
  EXPECT_NEAR(entities[0].Number(10), sum_x / 400, 1e-9);
  EXPECT_NEAR(entities[0].Number(20), 100 - sum_y / 400, 1e-9);
  EXPECT_EQ(entities[0].Number(30), 0.0);
}

TEST_F(DxfSolutionTest, AutoOutputDarkBackgroundTakesBrightBlobs) {
  TestImage image(station, 60, 60, 10);
  for (int y = 20; y < 40; ++y) {
    for (int x = 20; x < 40; ++x) image.SetGrey(x, y, 250);
  }
  SolutionRecord& record = DefaultRecord(station, 201);
  record.params[2].value = 0.0f; // "Dark"
  AddRoi(record, 5, 5, 55, 55, kCircle);
  DxfAutoOutput(station, record);
  const auto entities = ParseEntities(DrawingText(station));
  ASSERT_EQ(entities.size(), 1u);
  EXPECT_NEAR(entities[0].Number(40), std::sqrt(400 / 3.1415927) * k, 1e-8);
  EXPECT_NEAR(entities[0].Number(10), 29.5 * k, 1e-8);
}

TEST_F(DxfSolutionTest, TraceOutputWritesDrawnEntities) {
  TestImage image(station, 320, 240);
  SolutionRecord& record = DefaultRecord(station, 203);
  auto add = [&](EntityType type, std::vector<std::pair<double, double>> points) {
    DrawEntity& e = record.entities[record.entity_count++];
    e.type = static_cast<uint32_t>(type);
    e.point_count = static_cast<uint32_t>(points.size());
    for (size_t i = 0; i < points.size(); ++i) e.points[i] = {points[i].first, points[i].second, 0};
  };
  add(EntityType::Polyline, {{10, 20}, {60, 20}, {60, 120}});
  add(EntityType::Polyline, {{5, 5}});
  add(EntityType::Line, {{0, 240}, {320, 0}});
  add(EntityType::Circle, {{100, 100}, {25, 0}});
  add(static_cast<EntityType>(7), {{1, 1}, {2, 2}});
  add(EntityType::Line, {{2.5, 237.5}, {50, 237.5}});
  EXPECT_EQ(DxfTraceOutput(station, record), 0);
  EXPECT_EQ(DrawingText(station), Golden("trace"));
  // The same drawing into memory, byte for byte.
  DxfStringSink memory;
  WriteTraceDrawing(memory, record, k, 240);
  EXPECT_EQ(memory.text(), Golden("trace"));
}

TEST_F(DxfSolutionTest, TraceOutputWithNoOrNegativeCountWritesNoEntity) {
  TestImage image(station, 320, 240);
  SolutionRecord& record = DefaultRecord(station, 203);
  record.entities[0].type = static_cast<uint32_t>(EntityType::Line);
  DxfTraceOutput(station, record);
  EXPECT_EQ(DrawingText(station), Golden("empty"));
  record.entity_count = 0x80000000u; // negative as a signed count
  DxfTraceOutput(station, record);
  EXPECT_EQ(DrawingText(station), Golden("empty"));
}

// A damaged stored point never reaches the drawing as "nan" or "inf".
TEST_F(DxfSolutionTest, TraceOutputLeavesOutNonFinitePoints) {
  TestImage image(station, 320, 240);
  SolutionRecord& record = DefaultRecord(station, 203);
  record.entity_count = 3;
  record.entities[0].type = static_cast<uint32_t>(EntityType::Line);
  record.entities[0].points[0] = {std::nan(""), 1, 0};
  record.entities[0].points[1] = {10, 10, 0};
  record.entities[1].type = static_cast<uint32_t>(EntityType::Circle);
  record.entities[1].points[0] = {10, 10, 0};
  record.entities[1].points[1] = {HUGE_VAL, 0, 0};
  record.entities[2].type = static_cast<uint32_t>(EntityType::Line);
  record.entities[2].points[0] = {10, 20, 0};
  record.entities[2].points[1] = {30, 20, 0};
  DxfTraceOutput(station, record);
  const std::string text = DrawingText(station);
  EXPECT_EQ(CountType(ParseEntities(text), "LINE"), 1u);
  EXPECT_EQ(CountType(ParseEntities(text), "CIRCLE"), 0u);
  EXPECT_EQ(text.find("nan"), std::string::npos);
  EXPECT_EQ(text.find("inf"), std::string::npos);
}

// A stored point that is finite but overflows once scaled (k = 2 here: half a
// pixel an inch) is left out as well, rather than written as "inf".
TEST_F(DxfSolutionTest, TraceOutputLeavesOutPointsThatOverflowOnceScaled) {
  testing::Calibrate(station, 0.5, 24.0);
  TestImage image(station, 320, 240);
  SolutionRecord& record = DefaultRecord(station, 203);
  record.entity_count = 4;
  record.entities[0].type = static_cast<uint32_t>(EntityType::Line);
  record.entities[0].points[0] = {1e308, 1, 0};
  record.entities[0].points[1] = {10, 10, 0};
  record.entities[1].type = static_cast<uint32_t>(EntityType::Circle);
  record.entities[1].points[0] = {10, -1e308, 0};
  record.entities[1].points[1] = {5, 0, 0};
  record.entities[2].type = static_cast<uint32_t>(EntityType::Circle);
  record.entities[2].points[0] = {10, 10, 0};
  record.entities[2].points[1] = {1e308, 0, 0};
  record.entities[3].type = static_cast<uint32_t>(EntityType::Line);
  record.entities[3].points[0] = {10, 20, 0};
  record.entities[3].points[1] = {30, 20, 0};
  DxfTraceOutput(station, record);
  const std::string text = DrawingText(station);
  const auto entities = ParseEntities(text);
  ASSERT_EQ(CountType(entities, "LINE"), 1u);
  EXPECT_EQ(entities[0].Number(10), 20.0);
  EXPECT_EQ(CountType(entities, "CIRCLE"), 0u);
  EXPECT_EQ(text.find("inf"), std::string::npos);
}

// Counts from a damaged record stop at the record's capacities: 100 points of
// a polyline, 100 ROIs.
TEST_F(DxfSolutionTest, DamagedCountsStayInsideTheRecord) {
  TestImage image(station, 320, 240);
  SolutionRecord& record = DefaultRecord(station, 203);
  record.entity_count = 1;
  record.entities[0].type = static_cast<uint32_t>(EntityType::Polyline);
  record.entities[0].point_count = 5000;
  DxfTraceOutput(station, record);
  EXPECT_EQ(CountType(ParseEntities(DrawingText(station)), "LINE"), 99u);

  SolutionRecord& simple = DefaultRecord(station, 202);
  for (int i = 0; i < 100; ++i) AddRoi(simple, 0, 0, 10, 10);
  simple.roi_count = 1u << 20;
  DxfSimpleOutput(station, simple);
  EXPECT_TRUE(DrawingText(station).ends_with("EOF\r\n"));
}

TEST_F(DxfSolutionTest, DispatcherRunsTheThreeSolutions) {
  TestImage image(station, 40, 30);
  DrawStep(image, 40, 30, 20);
  for (uint32_t id : {201u, 202u, 203u}) {
    std::filesystem::remove_all(station.PathOf("DXF"));
    SolutionRecord& record = DefaultRecord(station, id);
    AddRoi(record, 16, 10, 23, 12, kPoints);
    uint32_t elapsed = 99;
    EXPECT_EQ(RunSolution(station, record, &elapsed), 0);
    const auto entities = ParseEntities(DrawingText(station));
    // 201 filters the whole image, so all three ROI rows have edges; 202
    // filters only the ROI's interior row; 203 looks at drawn entities only.
    EXPECT_EQ(CountType(entities, "POINT"), id == 201 ? 6u : id == 202 ? 2u : 0u) << id;
    EXPECT_TRUE(DrawingText(station).ends_with("0\r\nEOF\r\n")) << id;
  }
}

TEST(DxfPointListTest, KeepsFirstDistinctPositionsUpToCapacity) {
  DxfPointList list(10, 10, 3);
  list.Add(4, 5);
  list.Add(1, 2);
  list.Add(4, 5);
  list.Add(9, 9);
  list.Add(0, 0);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.x(0), 4);
  EXPECT_EQ(list.y(0), 5);
  EXPECT_EQ(list.x(1), 1);
  EXPECT_EQ(list.x(2), 9);
}

} // namespace
} // namespace orvane
