// Cross-check with an independent DXF reader: the files of the three DXF
// solutions read with ezdxf (Debian's python3-ezdxf, seen by /usr/bin/python3)
// hold the expected entities, and ezdxf's audit finds nothing to report.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dxf/dxf_solutions.h"
#include "dxf/dxf_support.h"
#include "dxf/writer.h"

namespace orvane {
namespace {

using testing::AddRoi;
using testing::DefaultRecord;
using testing::TestImage;

struct Entity {
  std::string type;
  std::vector<double> values;
};

bool HaveEzdxf() {
  return std::system("/usr/bin/python3 -c 'import ezdxf' > /dev/null 2>&1") == 0;
}

// Runs the reader script over the file; fails the test on anything unexpected.
std::vector<Entity> ReadWithEzdxf(const std::filesystem::path& file) {
  const std::string script = std::string(ORVANE_FIXTURES) + "/../dxf/read_dxf.py";
  const std::string command = "/usr/bin/python3 '" + script + "' '" + file.string() + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot run " << command;
    return {};
  }
  std::string output;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  const int status = ::pclose(pipe);
  EXPECT_EQ(status, 0) << output;

  std::istringstream in(output);
  std::string word;
  int errors = -1;
  int fixes = -1;
  in >> word >> errors >> fixes;
  EXPECT_EQ(word, "audit") << output;
  EXPECT_EQ(errors, 0) << output;
  EXPECT_EQ(fixes, 0) << output;
  std::vector<Entity> entities;
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    Entity e;
    std::string layer;
    fields >> e.type >> layer;
    EXPECT_EQ(layer, "Layer1") << line;
    double v;
    while (fields >> v) e.values.push_back(v);
    entities.push_back(e);
  }
  return entities;
}

void ExpectEntities(const std::vector<Entity>& actual, const std::vector<Entity>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    ASSERT_EQ(actual[i].type, expected[i].type) << i;
    ASSERT_EQ(actual[i].values.size(), expected[i].values.size()) << i;
    for (size_t j = 0; j < actual[i].values.size(); ++j) {
      EXPECT_NEAR(actual[i].values[j], expected[i].values[j], 1e-6) << i << " " << j;
    }
  }
}

class EzdxfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveEzdxf()) GTEST_SKIP() << "/usr/bin/python3 cannot import ezdxf";
    testing::Calibrate(station, 37.5, 20.0); // k = 24 / (37.5 * 20) = 0.032 in.
  }

  // A light 300 x 200 image with a dark disc of radius 11 around (60, 60) and
  // a dark area right of column 150.
  void DrawScene() {
    image = std::make_unique<TestImage>(station, 300, 200, 220);
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 300; ++x) {
        const bool disc = (x - 60) * (x - 60) + (y - 60) * (y - 60) <= 121;
        if (disc || x >= 150) image->SetGrey(x, y, 30);
      }
    }
    grey.assign(image->frame(), image->frame() + station.image.size);
  }

  // Plain reference of the edge filter on the scene as drawn.
  bool IsEdge(int x, int y) const {
    if (x < 1 || y < 1 || x > 298 || y > 198) return false;
    auto v = [&](int px, int py) { return static_cast<int>(grey[(py * 300 + px) * 3 + 2]); };
    const int gx = v(x + 1, y - 1) + v(x + 1, y) + v(x + 1, y + 1) - v(x - 1, y - 1) -
                   v(x - 1, y) - v(x - 1, y + 1);
    const int gy = v(x - 1, y + 1) + v(x, y + 1) + v(x + 1, y + 1) - v(x - 1, y - 1) -
                   v(x, y - 1) - v(x + 1, y - 1);
    return std::fabs(gx / 6.0) >= 16.0 || std::fabs(gy / 6.0) >= 16.0;
  }

  Entity Point(int x, int y) const { return {"POINT", {x * k, (200 - y) * k, 0.0}}; }

  testing::StationFixture f;
  Station& station = f.station;
  std::unique_ptr<TestImage> image;
  std::vector<uint8_t> grey;
  const double k = 24.0 / (37.5 * 20.0);
};

TEST_F(EzdxfTest, AutoOutputLinesCircleAndPoints) {
  DrawScene();
  SolutionRecord& record = DefaultRecord(station, 201, 24.0f);
  AddRoi(record, 130, 80, 170, 120, 2); // Line: the edge at column 150
  AddRoi(record, 40, 40, 80, 80, 3);    // Circle: the disc
  AddRoi(record, 40, 40, 80, 80, 1);    // Points: the disc's outline
  DxfAutoOutput(station, record);

  std::vector<Entity> expected;
  const TraceList& list = station.trace;
  ASSERT_GT(list.count(), 10u);
  auto close = [&](uint32_t a, uint32_t b) {
    return std::abs(list.x[a] - list.x[b]) < 10 && std::abs(list.y[a] - list.y[b]) < 10;
  };
  auto line = [&](uint32_t a, uint32_t b) {
    expected.push_back({"LINE",
                        {list.x[a] * k, (200 - list.y[a]) * k, 0.0, list.x[b] * k,
                         (200 - list.y[b]) * k, 0.0}});
  };
  for (uint32_t j = 0; j + 1 < list.count(); ++j) {
    if (close(j, j + 1)) line(j, j + 1);
  }
  if (close(0, list.count() - 1)) line(0, list.count() - 1);
  for (const Entity& e : expected) EXPECT_NEAR(e.values[0], 149.5 * k, 1.0 * k);

  double sum_x = 0, sum_y = 0, n = 0;
  for (int y = 40; y <= 80; ++y) {
    for (int x = 40; x <= 80; ++x) {
      if (grey[(y * 300 + x) * 3 + 2] == 30) {
        sum_x += x;
        sum_y += y;
        ++n;
      }
    }
  }
  expected.push_back(
      {"CIRCLE", {sum_x / n * k, (200 - sum_y / n) * k, 0.0, std::sqrt(n / 3.1415927) * k}});
  for (int y = 40; y <= 80; ++y) {
    for (int x = 40; x <= 80; ++x) {
      if (IsEdge(x, y)) expected.push_back(Point(x, y));
    }
  }
  ExpectEntities(ReadWithEzdxf(station.PathOf(kDxfFileName)), expected);
}

TEST_F(EzdxfTest, SimpleOutputPoints) {
  DrawScene();
  SolutionRecord& record = DefaultRecord(station, 202, 24.0f);
  AddRoi(record, 40, 40, 80, 80);
  AddRoi(record, 140, 20, 160, 30);
  DxfSimpleOutput(station, record);
  std::vector<Entity> expected;
  for (const auto& roi : {std::array{40, 40, 80, 80}, std::array{140, 20, 160, 30}}) {
    for (int y = roi[1] + 1; y < roi[3]; ++y) {
      for (int x = roi[0] + 1; x < roi[2]; ++x) {
        if (IsEdge(x, y)) expected.push_back(Point(x, y));
      }
    }
  }
  ASSERT_GT(expected.size(), 40u);
  ExpectEntities(ReadWithEzdxf(station.PathOf(kDxfFileName)), expected);
}

TEST_F(EzdxfTest, TraceOutputDrawnEntities) {
  image = std::make_unique<TestImage>(station, 640, 480);
  SolutionRecord& record = DefaultRecord(station, 203, 12.0f); // k = 0.016
  const double k16 = 12.0 / (37.5 * 20.0);
  record.entity_count = 3;
  record.entities[0].type = 5;
  record.entities[0].point_count = 3;
  record.entities[0].points[0] = {10.5, 20.25, 0};
  record.entities[0].points[1] = {600, 20, 0};
  record.entities[0].points[2] = {320, 470, 0};
  record.entities[1].type = 3;
  record.entities[1].points[0] = {320, 240, 0};
  record.entities[1].points[1] = {100, 0, 0};
  record.entities[2].type = 4;
  record.entities[2].points[0] = {0, 0, 0};
  record.entities[2].points[1] = {639, 479, 0};
  DxfTraceOutput(station, record);
  auto pt = [&](double x, double y) { return std::vector<double>{x * k16, (480 - y) * k16, 0.0}; };
  auto join = [](std::vector<double> a, const std::vector<double>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  std::vector<Entity> expected = {
      {"LINE", join(pt(10.5, 20.25), pt(600, 20))},
      {"LINE", join(pt(600, 20), pt(320, 470))},
      {"CIRCLE", join(pt(320, 240), {100 * k16})},
      {"LINE", join(pt(0, 0), pt(639, 479))},
  };
  ExpectEntities(ReadWithEzdxf(station.PathOf(kDxfFileName)), expected);
}

// The unit the header names is the one ezdxf reads as the drawing's unit,
// and the header group leaves nothing for its audit to fix.
TEST_F(EzdxfTest, UnitsInTheHeaderReadBack) {
  for (const auto& [factor, code] : {std::pair{1.0, 1}, std::pair{kMetricUnitFactor, 5}}) {
    DxfStringSink sink;
    sink.units = DxfUnitsCode(factor);
    DxfBegin(sink);
    DxfLine(sink, 0.0, 0.0, 0.0, 1.0, 2.0, 0.0);
    DxfEnd(sink);
    const std::filesystem::path file = f.dir.path() / "units.dxf";
    std::ofstream(file, std::ios::binary) << sink.text();
    const std::string command =
        "/usr/bin/python3 -c \"import ezdxf, sys; d = ezdxf.readfile(sys.argv[1]); "
        "a = d.audit(); print(d.header.get('\\$INSUNITS', -1), len(a.errors), len(a.fixes), "
        "len(d.modelspace()))\" '" + file.string() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256] = {};
    const size_t got = std::fread(buffer, 1, sizeof buffer - 1, pipe);
    ::pclose(pipe);
    EXPECT_EQ(std::string(buffer, got), std::to_string(code) + " 0 0 1\n") << factor;
  }
}

} // namespace
} // namespace orvane
