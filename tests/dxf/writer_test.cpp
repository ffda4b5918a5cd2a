#include "dxf/writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dxf/dxf_support.h"

namespace orvane {
namespace {

using testing::Golden;

// The records of the "records" golden file: a point at row 0 of 240 rows with
// k = 0.1, a point 100 pixels in at 50 pixels per inch (distance = calibration
// distance, English units), and numbers in every form FormatNumber takes.
void WriteRecords(DxfSink& sink) {
  DxfBegin(sink);
  DxfPoint(sink, DxfX(0, 0.1), DxfY(0, 240, 0.1), 0.0);
  const double k = DxfScale(24.0, 50.0, 24.0, 1.0).value();
  DxfPoint(sink, DxfX(100, k), DxfY(240, 240, k), 0.0 * k);
  DxfLine(sink, 0.05, 12.25, 0.0, -2.5, 123456.5, 0.0);
  DxfCircle(sink, 12345.678, 0.5, 0.0, 0.05);
  DxfEnd(sink);
}

class DxfWriterTest : public ::testing::Test {
 protected:
  testing::StationFixture f;
  std::filesystem::path path = f.station.PathOf(kDxfFileName);
};

TEST_F(DxfWriterTest, EmptyRunIsHeaderCommentEntitiesAndEnd) {
  DxfFileSink sink(path);
  DxfBegin(sink);
  DxfEnd(sink);
  EXPECT_EQ(testing::DrawingText(f.station), Golden("empty"));
}

TEST_F(DxfWriterTest, RecordsMatchGoldenFileInFileAndMemory) {
  {
    DxfFileSink sink(path);
    WriteRecords(sink);
  }
  EXPECT_EQ(testing::DrawingText(f.station), Golden("records"));
  DxfStringSink memory;
  WriteRecords(memory);
  EXPECT_EQ(memory.text(), Golden("records"));
}

TEST_F(DxfWriterTest, SecondRunReplacesTheFirst) {
  {
    DxfFileSink sink(path);
    WriteRecords(sink);
  }
  DxfFileSink sink(path);
  DxfBegin(sink);
  DxfEnd(sink);
  EXPECT_EQ(testing::DrawingText(f.station), Golden("empty"));
}

// The drawing is replaced whole when the run ends: until then (and for ever,
// when the run never ends) the previous drawing stays as it was.
TEST_F(DxfWriterTest, PreviousDrawingStaysWholeUntilTheRunEnds) {
  {
    DxfFileSink sink(path);
    WriteRecords(sink);
  }
  {
    DxfFileSink abandoned(path);
    DxfBegin(abandoned);
    DxfPoint(abandoned, 1.0, 2.0, 0.0);
    EXPECT_EQ(testing::DrawingText(f.station), Golden("records"));
  }
  EXPECT_EQ(testing::DrawingText(f.station), Golden("records"));
  DxfFileSink sink(path);
  DxfBegin(sink);
  DxfEnd(sink);
  EXPECT_EQ(sink.error(), 0);
  EXPECT_EQ(testing::DrawingText(f.station), Golden("empty"));
  size_t files = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(path.parent_path())) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left beside it
}

// A run whose folder cannot be made writes nothing and gives the reason; the
// next run writes its whole drawing.
TEST_F(DxfWriterTest, UnwritableFolderGivesTheReasonAndTheNextRunWrites) {
  testing::WriteBytes(f.station.PathOf("DXF"), "x", 1); // a file where the folder belongs
  {
    DxfFileSink sink(path);
    DxfBegin(sink);
    DxfPoint(sink, 1.0, 1.0, 0.0);
    DxfEnd(sink);
    EXPECT_EQ(sink.error(), ENOTDIR);
  }
  std::filesystem::remove(f.station.PathOf("DXF"));
  DxfFileSink sink(path);
  WriteRecords(sink);
  EXPECT_EQ(sink.error(), 0);
  EXPECT_EQ(testing::DrawingText(f.station), Golden("records"));
}

TEST(DxfScaleTest, PixelSizeInUserUnits) {
  // Distance equal to the calibration distance: S = Pc / u.
  EXPECT_DOUBLE_EQ(DxfScale(24.0, 50.0, 24.0, 1.0).value(), 1.0 / 50.0);
  // Twice as far away, each pixel covers twice the length.
  EXPECT_DOUBLE_EQ(DxfScale(48.0, 50.0, 24.0, 1.0).value(), 2.0 / 50.0);
  // Metric: the distance is in centimetres and so is the drawing.
  const double u = 2.5399999618530273;
  const double s = (50.0 * (1.0 / u)) / ((60.96 * (1.0 / u)) / 24.0);
  EXPECT_EQ(DxfScale(60.96, 50.0, 24.0, u).value(), 1.0 / s);
  EXPECT_NEAR(DxfScale(24.0 * u, 50.0, 24.0, u).value(), u / 50.0, 1e-12);
}

TEST(DxfScaleTest, NoScaleWithoutDistanceCalibrationOrUnit) {
  EXPECT_FALSE(DxfScale(0.0, 50.0, 24.0, 1.0));
  EXPECT_FALSE(DxfScale(24.0, 50.0, 0.0, 1.0));
  EXPECT_FALSE(DxfScale(24.0, 50.0, 24.0, 0.0));
}

// A density of 0 or a non-finite one would fill the drawing with "inf" and
// "nan" coordinates.
TEST(DxfScaleTest, NoScaleFromAZeroOrNonFiniteDensity) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(DxfScale(24.0, 0.0, 24.0, 1.0));
  EXPECT_FALSE(DxfScale(24.0, inf, 24.0, 1.0));
  EXPECT_FALSE(DxfScale(24.0, nan, 24.0, 1.0));
  EXPECT_FALSE(DxfScale(nan, 50.0, 24.0, 1.0));
  EXPECT_FALSE(DxfScale(24.0, 50.0, inf, 1.0));
  EXPECT_FALSE(DxfScale(1e-320, 50.0, 1e300, 1.0));
}

} // namespace
} // namespace orvane
