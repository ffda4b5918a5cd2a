// The DXF export's own options: the file's reader, the unit named in the
// drawing's header (and nothing else changed), and the copy of the drawing.
#include "dxf/dxf_options.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "dxf/dxf_solutions.h"
#include "dxf/dxf_support.h"

namespace orvane {
namespace {

using testing::AddRoi;
using testing::DefaultRecord;
using testing::DrawingText;
using testing::TestImage;

TEST(DxfOptionsFile, ReadsExactlyItsOwnText) {
  struct Case {
    const char* text;
    bool ok;
    bool units;
  };
  const Case cases[] = {
      {"ORVANE DXF options 1\nunits on\n", true, true},
      {"ORVANE DXF options 1\r\nunits on\r\n", true, true},
      {"ORVANE DXF options 1\nunits off", true, false},
      {"ORVANE DXF options 1\n", true, false},
      {"ORVANE DXF options 1", true, false},
      {"", false, false},
      {"ORVANE DXF options 2\nunits on\n", false, false},
      {"ORVANE DXF options 1\nunits yes\n", false, false},
      {"ORVANE DXF options 1\nunits on\nunits off\n", false, false},
      {"ORVANE DXF options 1\n\nunits on\n", false, false},
      {"ORVANE DXF options 1\nunits on \n", false, false},
      {"ORVANE DXF options 1\nunits on\n\n", true, true},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<DxfOptions> options = ParseDxfOptions(c.text, &error);
    EXPECT_EQ(options.has_value(), c.ok) << c.text;
    EXPECT_EQ(error.empty(), c.ok) << c.text;
    if (options) {
      EXPECT_EQ(options->units, c.units) << c.text;
    }
  }
  std::string long_text = "ORVANE DXF options 1\nunits on\n";
  long_text.resize(kMaxDxfOptionsBytes + 1, '\n');
  std::string error;
  EXPECT_FALSE(ParseDxfOptions(long_text, &error));
  for (const bool units : {false, true}) {
    EXPECT_EQ(ParseDxfOptions(FormatDxfOptions({units}), &error), DxfOptions{units});
  }
}

// Missing, damaged, oversized or not a regular file: the options are off, a
// damaged file is said once a session, and nothing waits on a pipe.
TEST(DxfOptionsFile, AnythingButAGoodFileLeavesTheOptionsOff) {
  testing::StationFixture f;
  const std::filesystem::path path = f.station.PathOf(kDxfOptionsFile);
  EXPECT_FALSE(LoadDxfOptions(f.station).units);
  EXPECT_TRUE(f.surface.message_boxes().empty());

  ASSERT_TRUE(SaveDxfOptions(f.station, {true}));
  EXPECT_TRUE(LoadDxfOptions(f.station).units);

  std::ofstream(path, std::ios::binary | std::ios::trunc) << "ORVANE DXF options 1\nunits maybe\n";
  EXPECT_FALSE(LoadDxfOptions(f.station).units);
  EXPECT_FALSE(LoadDxfOptions(f.station).units);
  ASSERT_EQ(f.surface.message_boxes().size(), 1u);
  EXPECT_NE(f.surface.message_boxes()[0].text.find("line 2"), std::string::npos);

  testing::StationFixture other;
  ASSERT_EQ(::mkfifo(other.station.PathOf(kDxfOptionsFile).c_str(), 0600), 0);
  EXPECT_FALSE(LoadDxfOptions(other.station).units);
  EXPECT_EQ(other.surface.message_boxes().size(), 1u);
  EXPECT_FALSE(SaveDxfOptions(other.station, {true})); // a pipe is never replaced
  EXPECT_TRUE(std::filesystem::is_fifo(other.station.PathOf(kDxfOptionsFile)));

  testing::StationFixture third;
  std::string big = FormatDxfOptions({true});
  big.resize(kMaxDxfOptionsBytes + 10, '\n');
  std::ofstream(third.station.PathOf(kDxfOptionsFile), std::ios::binary) << big;
  EXPECT_FALSE(LoadDxfOptions(third.station).units);
}

// With the option on, each solution's drawing is the one it writes without
// it plus the one header group, with the unit of the station's measurement.
TEST(DxfOptionsDrawing, UnitsGroupIsTheOnlyDifference) {
  for (const double factor : {1.0, kMetricUnitFactor}) {
    for (const uint32_t id : {201u, 202u, 203u}) {
      testing::StationFixture f;
      Station& station = f.station;
      testing::Calibrate(station, 50.0, 24.0, factor);
      std::optional<TestImage> image;
      SolutionRecord& record = DefaultRecord(station, id);
      AddRoi(record, 5, 5, 35, 25, 1);
      record.entity_count = 1;
      record.entities[0].type = static_cast<uint32_t>(EntityType::Line);
      record.entities[0].points[1] = {10, 10, 0};
      // A fresh picture each run: DXF Simple Output leaves its edge image.
      auto run = [&] {
        image.emplace(station, 40, 30, 50);
        for (int32_t y = 0; y < 30; ++y) image->SetGrey(20, y, 220);
        if (id == 201) DxfAutoOutput(station, record);
        if (id == 202) DxfSimpleOutput(station, record);
        if (id == 203) DxfTraceOutput(station, record);
        return DrawingText(station);
      };
      const std::string plain = run();
      ASSERT_TRUE(SaveDxfOptions(station, {true}));
      const std::string with_units = run();
      const std::string code = factor == 1.0 ? "1" : "5";
      std::string expected = plain;
      const std::string open = "0\r\nSECTION\r\n2\r\nHEADER\r\n";
      ASSERT_EQ(expected.rfind(open, 0), 0u);
      expected.insert(open.size(), "9\r\n$INSUNITS\r\n70\r\n" + code + "\r\n");
      EXPECT_EQ(with_units, expected) << id << " " << factor;
      EXPECT_GT(plain.size(), 120u) << "the drawing holds entities";
      ASSERT_TRUE(SaveDxfOptions(station, {false}));
      EXPECT_EQ(run(), plain);
    }
  }
}

TEST(DxfCopy, IsTheDrawingByteForByte) {
  testing::StationFixture f;
  Station& station = f.station;
  std::string error;
  const std::filesystem::path copy = f.dir.path() / "part.DXF";
  EXPECT_FALSE(SaveDxfCopy(station, copy, &error));
  EXPECT_NE(error.find("no DXF drawing"), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(copy));

  testing::Calibrate(station, 50.0, 24.0);
  TestImage image(station, 40, 30);
  SolutionRecord& record = DefaultRecord(station, 203);
  record.entity_count = 1;
  record.entities[0].type = static_cast<uint32_t>(EntityType::Line);
  record.entities[0].points[1] = {10, 10, 0};
  DxfTraceOutput(station, record);
  const std::string drawing = DrawingText(station);

  EXPECT_FALSE(SaveDxfCopy(station, f.dir.path() / "XORVANE.CFG", &error));
  EXPECT_FALSE(std::filesystem::exists(f.dir.path() / "XORVANE.CFG"));
  ASSERT_EQ(SaveDxfCopy(station, copy, &error), copy) << error;
  std::ifstream in(copy, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), drawing);
  EXPECT_EQ(DrawingText(station), drawing);
  EXPECT_FALSE(SaveDxfCopy(station, f.dir.path() / "no such folder" / "a.dxf", &error));
  EXPECT_NE(error.find("Unable to write"), std::string::npos) << error;
}

} // namespace
} // namespace orvane
