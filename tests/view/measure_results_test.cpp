#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "results/session.h"
#include "results/table_file.h"
#include "solutions/measurement.h"
#include "view/measure_results.h"
#include "view/undo.h"
#include "view/view_support.h"

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

} // namespace
} // namespace orvane
