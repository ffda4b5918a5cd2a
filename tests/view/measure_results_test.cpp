#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "inspect/program_session.h"
#include "results/session.h"
#include "results/table_file.h"
#include "solutions/measurement.h"
#include "view/measure_results.h"
#include "view/undo.h"
#include "view/view_support.h"
#include "tests/inspect/plate_station.h"

namespace orvane {
namespace {

using testing::ViewStation;

// Light ground with dark bands over the pixels from x = 100 to 199 and 250
// to 299: their edges lie half-way between pixels, at 99.5, 199.5, 249.5 and
// 299.5 in the station's coordinates (a whole number is a pixel's centre).
void DrawBand(Station& st) {
  ImageState& im = st.image;
  for (uint32_t y = 0; y < im.height; ++y) {
    for (uint32_t x = 0; x < im.width; ++x) {
      uint8_t* p = im.frame + y * im.stride + x * 3;
      p[0] = p[1] = p[2] = (x >= 100 && x < 200) || (x >= 250 && x < 300) ? 40 : 200;
    }
  }
}

void Click(ViewStation& t, int32_t x, int32_t y) {
  t.Press(x, y);
  t.Release(x, y);
}

// The rows "RESULTS.DB" holds.
std::vector<ResultRow> SavedRows(ViewStation& t) {
  const std::vector<uint8_t> bytes = testing::StoredResults(t.station.folder());
  ResultsTable table;
  EXPECT_TRUE(ReadResultsText(std::string(bytes.begin(), bytes.end()), &table));
  return table.rows();
}

struct DragCase {
  bool snap;
  int32_t to_x;       // where the second point is dragged, from (197, 60)
  double expect_x;    // where it lies after the release
  bool uncertainty;   // the length's uncertainty is known
};

TEST(MeasuredRows, ADraggedPointTakesItsRowsAlongSnappedAsAClick) {
  const DragCase cases[] = {
      {false, 150, 150.5, false}, // moved by whole pixels, where the mouse leaves it
      {true, 150, 150.5, false},  // no edge within reach: stays, no uncertainty
      {true, 252, 249.5, true},   // snaps to the second band's left edge
  };
  for (const DragCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.snap) + " " + std::to_string(c.to_x));
    ViewStation t{testing::kManualMeasurement};
    DrawBand(t.station);
    ResultsSession& session = ResultsOf(t.station);
    session.table.snap = true;
    session.table.append_csv = true;
    session.now = [] { return int64_t{100}; };
    t.station.view.mouse_mode = 1;
    t.AnswerDistance("10");
    Click(t, 97, 60);  // snaps to 99.5
    Click(t, 197, 60); // snaps to 199.5
    ASSERT_EQ(session.table.rows().size(), 1u);
    EXPECT_NEAR(session.table.rows()[0].value, 100.0, 0.05);
    EXPECT_FALSE(std::isnan(session.table.rows()[0].uncertainty));

    session.table.snap = c.snap;
    session.now = [] { return int64_t{200}; };
    t.Press(199, 60);
    t.Move(c.to_x, 60);
    t.Release(c.to_x, 60);
    const MeasPoint& q = t.rec().meas_point[0][1];
    EXPECT_NEAR(q.x, c.expect_x, 0.05);
    ASSERT_EQ(session.table.rows().size(), 1u);
    const ResultRow& row = session.table.rows()[0];
    EXPECT_EQ(row.number, 1u);
    EXPECT_EQ(row.label, "L1");
    EXPECT_DOUBLE_EQ(row.value, MeasuredLength(t.station, t.rec().meas_point[0][0], q));
    EXPECT_EQ(!std::isnan(row.uncertainty), c.uncertainty);
    EXPECT_EQ(row.note, "edited");
    EXPECT_EQ(row.time, 200);
    const std::vector<ResultRow> saved = SavedRows(t);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_DOUBLE_EQ(saved[0].value, row.value);
    EXPECT_EQ(saved[0].note, "edited");
    // The appended file has the row again, edited, as its last line.
    const std::vector<uint8_t> csv = testing::ReadBytes(t.station.PathOf(kResultsCsvName));
    const std::string text(csv.begin(), csv.end());
    const size_t last = text.rfind("\r\n", text.size() - 3);
    ASSERT_NE(last, std::string::npos);
    EXPECT_EQ(text.substr(last + 2, 2), "1,");
    EXPECT_EQ(text.substr(text.size() - 9), ",edited\r\n");
  }
}

TEST(MeasuredRows, TheMiddlePointOfThreeMovesBothLengthsAndTheAngle) {
  ViewStation t{testing::kManualMeasurement};
  ResultsSession& session = ResultsOf(t.station);
  t.station.view.mouse_mode = 2;
  t.AnswerDistance("10");
  Click(t, 20, 100);
  Click(t, 120, 100);
  Click(t, 120, 200);
  ASSERT_EQ(session.table.rows().size(), 3u);
  EXPECT_NEAR(session.table.rows()[2].value, 90.0, 1e-5);
  t.Drag(120, 100, 70, 180);
  const std::vector<ResultRow>& rows = session.table.rows();
  EXPECT_NEAR(rows[0].value, 94.33981, 1e-4); // (20,100)-(70,180)
  EXPECT_NEAR(rows[1].value, 53.85165, 1e-4); // (70,180)-(120,200)
  EXPECT_NEAR(rows[2].value, 143.80679, 1e-4); // the angle at (70,180)
  for (const ResultRow& row : rows) EXPECT_EQ(row.note, "edited");

  // Undo puts the values back; a point of a set whose rows were deleted
  // changes no other row.
  EXPECT_EQ(Undo(t.station).what, "measuring point moved");
  EXPECT_DOUBLE_EQ(rows[0].value, 100.0);
  EXPECT_DOUBLE_EQ(rows[1].value, 100.0);
  EXPECT_EQ(rows[0].note, "");
  DeleteResults(t.station, {1, 2, 3});
  t.Drag(120, 100, 60, 100);
  EXPECT_TRUE(session.table.rows().empty());
}

// While a program is taught, a measurement's snapped clicks become point
// steps and its lengths distances between them, which follow the part: the
// plate's width from its two sides, and the small hole's diameter from its
// two rims (where the snap's own caliper reaches the far rim as well).
TEST(MeasuredRows, SnappedClicksBecomeProgramStepsThatFollowThePart) {
  ViewStation t{testing::kManualMeasurement, 640, 480};
  testing::TeachPlateProgram(t.station);
  ProgramSession& session = ProgramOf(t.station);
  const std::vector<ProgramStep>& steps = session.program->steps;
  const size_t taught = steps.size();
  ResultsOf(t.station).table.snap = true;
  t.station.view.mouse_mode = 1;
  struct Set {
    int32_t x0, y0, x1, y1;
    bool recording;
    size_t steps; // the program's steps after the set
  };
  const Set sets[] = {
      {207, 200, 432, 200, false, taught},    // not recording: nothing
      {207, 250, 432, 250, true, taught + 3}, // P2, P3 and L5 between them
      {301, 208, 318, 208, true, taught + 6}, // the hole's rims: P4, P5, L6
      {432, 270, 260, 270, true, taught + 7}, // P6, then a click without an edge
  };
  std::vector<double> lengths; // what each set measured as the operator clicked it
  for (const Set& set : sets) {
    session.recording = set.recording;
    t.AnswerDistance("10");
    Click(t, set.x0, set.y0);
    Click(t, set.x1, set.y1);
    EXPECT_EQ(steps.size(), set.steps) << set.x0 << " " << session.record_problem;
    lengths.push_back(ResultsOf(t.station).table.rows().back().value);
  }
  ASSERT_EQ(steps.size(), taught + 7);
  EXPECT_NEAR(lengths[1], 220.0, 0.1);
  EXPECT_NEAR(lengths[2], 13.5, 0.2) << "the rims of a hole of 14 on a row half a pixel off its centre";
  EXPECT_EQ(steps[taught + 2].label, "L5");
  EXPECT_EQ(steps[taught + 2].a + " " + steps[taught + 2].b, "P2 P3");
  EXPECT_EQ(steps[taught + 6].label, "P6");
  EXPECT_EQ(session.record_problem, "P7: the click found no edge to snap to");
  ResultsOf(t.station).table.snap = false;
  t.AnswerDistance("10");
  Click(t, 207, 330);
  EXPECT_EQ(session.record_problem, "P7: snapping is off");
  session.recording = false;

  const struct {
    double x, y, deg;
  } poses[] = {{320, 240, 0}, {300, 250, 37}, {340, 230, -120}, {310, 245, 180}};
  for (const auto& pose : poses) {
    testing::ShowPlate(t.station, pose.x, pose.y, pose.deg);
    std::string why;
    const std::optional<ProgramRun> run = RunOpenProgram(t.station, &why);
    ASSERT_TRUE(run && run->found) << why;
    std::map<std::string, double> values;
    for (const DimensionResult& d : run->dimensions) values[d.label] = d.value;
    EXPECT_NEAR(values["L5"], lengths[1], 0.1) << pose.deg;
    EXPECT_NEAR(values["L6"], lengths[2], 0.2) << pose.deg; // a small rim, sampled anew when turned
  }
}

// A bar narrower than the snap's reach between grounds of two greys: the
// caliper that snapped to the fainter edge also reaches the stronger one,
// which a point step would take, so the step's caliper is a shorter one.
TEST(MeasuredRows, ASnappedStepKeepsItsOwnEdgeBesideAStrongerOne) {
  ViewStation t{testing::kManualMeasurement};
  ImageState& im = t.station.image;
  for (uint32_t y = 0; y < im.height; ++y) {
    for (uint32_t x = 0; x < im.width; ++x) {
      uint8_t* p = im.frame + y * im.stride + x * 3;
      p[0] = p[1] = p[2] = x < 100 ? 150 : x < 106 ? 40 : 240; // edges at 99.5 and 105.5
    }
  }
  std::string why;
  ASSERT_TRUE(NewProgram(t.station, "BAR", &why)) << why; // fixtured: no part taught
  ProgramOf(t.station).recording = true;
  ResultsOf(t.station).table.snap = true;
  t.station.view.mouse_mode = 1;
  t.AnswerDistance("10");
  Click(t, 98, 60);
  Click(t, 107, 60);
  const std::optional<ProgramRun> run = RunOpenProgram(t.station, &why);
  ASSERT_TRUE(run && run->dimensions.size() == 1) << why << ProgramOf(t.station).record_problem;
  EXPECT_NEAR(run->dimensions[0].value, 6.0, 0.05);
}

} // namespace
} // namespace orvane
