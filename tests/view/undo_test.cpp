#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "results/csv.h"
#include "results/session.h"
#include "results/table_file.h"
#include "solutions/measurement.h"
#include "view/undo.h"
#include "view/view_support.h"

namespace orvane {
namespace {

using testing::ViewStation;

// Everything an edit may change, as bytes and texts.
struct State {
  std::vector<uint8_t> record;
  uint32_t set_complete = 0;
  std::string rows; // the rows, the tolerances and the pending label
  size_t marks = 0; // snapped points, circles and gauge clicks
  bool operator==(const State&) const = default;
};

std::string RowsText(const ResultsTable& t) {
  std::string text = TableCsv(t);
  for (const auto& [label, tol] : t.tolerances()) {
    text += "tolerance " + label + " " + std::to_string(tol.nominal) + " " + DeviationsText(tol) + " " + tol.unit + "\n";
  }
  return text + "next label " + t.next_label() + "\n";
}

State StateOf(ViewStation& t) {
  State s;
  const auto* bytes = reinterpret_cast<const uint8_t*>(t.station.working.get());
  s.record.assign(bytes, bytes + sizeof(SolutionRecord));
  s.set_complete = t.station.view.set_complete;
  const ResultsSession& session = ResultsOf(t.station);
  s.rows = RowsText(session.table);
  s.marks = session.snaps.size() + session.circles.size() + session.gauge_clicks.size();
  return s;
}

// The table as "RESULTS.DB" holds it.
std::string SavedRows(ViewStation& t) {
  ResultsTable table;
  const std::filesystem::path path = t.station.PathOf(kResultsDbName);
  if (!std::filesystem::exists(path)) return RowsText(table); // never written: empty
  const std::vector<uint8_t> bytes = testing::StoredResults(t.station.folder());
  if (!ReadResultsText(std::string(bytes.begin(), bytes.end()), &table)) return "unreadable";
  return RowsText(table);
}

void Click(ViewStation& t, int32_t x, int32_t y, uint32_t keys = kKeyLeftButton) {
  t.Press(x, y, keys);
  t.Release(x, y);
}

// A two-point set from (40, 50) to (140, 50) in mode 1: row 1, L1.
void MeasureOnce(ViewStation& t) {
  t.station.view.mouse_mode = 1;
  t.AnswerDistance("10");
  Click(t, 40, 50);
  Click(t, 140, 50);
}

struct EditCase {
  const char* what;
  uint32_t mode;
  std::function<void(ViewStation&)> before; // brings the state the edit starts from
  std::function<void(ViewStation&)> edit;
};

const EditCase kEdits[] = {
    {"ROI drawn", 0, nullptr, [](ViewStation& t) { t.Drag(20, 20, 80, 70); }},
    {"ROI moved", 0, [](ViewStation& t) { t.AddRoi(20, 20, 80, 70); }, [](ViewStation& t) { t.Drag(50, 45, 60, 55); }},
    {"ROI resized", 0, [](ViewStation& t) { t.AddRoi(20, 20, 80, 70); }, [](ViewStation& t) { t.Drag(80, 70, 100, 90); }},
    {"ROI deleted", 0, [](ViewStation& t) { t.AddRoi(20, 20, 80, 70); }, [](ViewStation& t) { t.Drag(80, 70, 25, 90); }},
    {"measuring point placed", 1,
     [](ViewStation& t) { t.AnswerDistance("10"); Click(t, 40, 50); }, [](ViewStation& t) { Click(t, 140, 50); }},
    {"measuring point moved", 1, MeasureOnce, [](ViewStation& t) { t.Drag(140, 50, 120, 90); }},
    {"measuring point placed", 2,
     [](ViewStation& t) { t.AnswerDistance("10"); Click(t, 40, 50); Click(t, 140, 50); },
     [](ViewStation& t) { Click(t, 140, 150); }},
    {"measurement set ended", 1,
     [](ViewStation& t) { t.AnswerDistance("10"); Click(t, 40, 50); },
     [](ViewStation& t) { t.RightPress(40, 50); t.RightRelease(40, 50); }},
    {"diameter gauge point", 1, nullptr, [](ViewStation& t) { Click(t, 100, 100, kKeyLeftButton | kKeyAlt); }},
    {"circle drawn", 3, nullptr, [](ViewStation& t) { t.Drag(100, 100, 103, 104); }},
    {"circle changed", 3, [](ViewStation& t) { t.Drag(100, 100, 110, 100); }, [](ViewStation& t) { t.Drag(100, 100, 150, 120); }},
    {"line drawn", 4, nullptr, [](ViewStation& t) { t.Drag(10, 10, 200, 100); }},
    {"polyline drawn", 5, nullptr, [](ViewStation& t) { Click(t, 10, 10); }},
    {"polyline vertex added", 5, [](ViewStation& t) { Click(t, 10, 10); }, [](ViewStation& t) { Click(t, 60, 30); }},
    {"line deleted", 4, [](ViewStation& t) { t.Drag(10, 10, 200, 100); },
     [](ViewStation& t) { t.RightPress(200, 100); t.RightRelease(200, 100); }},
    {"row 1 deleted", 1, MeasureOnce, [](ViewStation& t) { DeleteResults(t.station, {1}); }},
    {"row 1 relabelled", 1, MeasureOnce, [](ViewStation& t) { RelabelResult(t.station, 1, "plate"); }},
    {"tolerance of L1", 1, MeasureOnce, [](ViewStation& t) { SetResultTolerance(t.station, "L1", Tolerance{100, 1}); }},
    {"results cleared", 1, MeasureOnce, [](ViewStation& t) { ClearResults(t.station); }},
};

TEST(Undo, EveryEditUndoesToTheExactStateBeforeItAndRedoes) {
  for (const EditCase& c : kEdits) {
    SCOPED_TRACE(c.what);
    ViewStation t{testing::kManualCalibration};
    ResultsOf(t.station).now = [] { return int64_t{5}; };
    t.station.view.mouse_mode = c.mode;
    if (c.before) c.before(t);
    const size_t depth = UndoDepth(t.station);
    const State before = StateOf(t);
    const uint32_t next = ResultsOf(t.station).table.next_number();
    c.edit(t);
    const State after = StateOf(t);
    ASSERT_FALSE(after == before);
    ASSERT_EQ(UndoDepth(t.station), depth + 1);
    for (int round = 0; round < 2; ++round) {
      const UndoStep undone = Undo(t.station);
      EXPECT_EQ(undone.what, c.what);
      EXPECT_EQ(StateOf(t), before);
      EXPECT_EQ(SavedRows(t), RowsText(ResultsOf(t.station).table));
      EXPECT_EQ(t.station.view.bits, t.station.image.display); // shown anew
      EXPECT_EQ(Redo(t.station).what, c.what);
      EXPECT_EQ(StateOf(t), after);
      EXPECT_EQ(SavedRows(t), RowsText(ResultsOf(t.station).table));
    }
    Undo(t.station);
    // Undone rows keep their numbers to themselves; Clear's numbering comes back.
    const uint32_t now = ResultsOf(t.station).table.next_number();
    if (std::strcmp(c.what, "results cleared") == 0) {
      EXPECT_EQ(now, next);
    } else {
      EXPECT_GE(now, next);
    }
  }
}

TEST(Undo, SixtyEditsKeepFiftyAndANewEditEndsRedo) {
  ViewStation t{testing::kDxfTraceOutput};
  t.station.view.mouse_mode = 4;
  std::vector<State> states{StateOf(t)};
  for (int i = 0; i < 60; ++i) {
    const int32_t x = 5 + (i % 10) * 30, y = 10 + (i / 10) * 35;
    t.Drag(x, y, x + 20, y + 20);
    states.push_back(StateOf(t));
  }
  ASSERT_GE(UndoDepth(t.station), 50u);
  const size_t kept = UndoDepth(t.station);
  for (size_t i = 1; i <= kept; ++i) {
    ASSERT_EQ(Undo(t.station).what, "line drawn");
    ASSERT_EQ(StateOf(t), states[60 - i]) << i;
  }
  EXPECT_TRUE(Undo(t.station).what.empty());
  EXPECT_EQ(UndoStepText(Undo(t.station)), "undo: nothing to undo");
  Redo(t.station);
  Redo(t.station);
  EXPECT_EQ(RedoDepth(t.station), kept - 2);
  t.Drag(5, 200, 50, 210); // a new edit
  EXPECT_EQ(RedoDepth(t.station), 0u);
  EXPECT_EQ(UndoStepText(Redo(t.station)), "redo: nothing to redo");
}

TEST(Undo, ChangesMadeOutsideTheHistoryEndIt) {
  const std::function<void(ViewStation&)> outside[] = {
      [](ViewStation& t) { ManualMeasurement(t.station, t.rec()); }, // Process empties the sets
      [](ViewStation& t) { AddResult(t.station, ResultRow{}); },      // a solution's result
      [](ViewStation& t) { t.Select(testing::kManualCalibration); },  // another solution
  };
  for (const auto& change : outside) {
    ViewStation t{testing::kManualMeasurement};
    MeasureOnce(t);
    ASSERT_EQ(UndoDepth(t.station), 2u);
    change(t);
    const State now = StateOf(t);
    EXPECT_TRUE(Undo(t.station).what.empty());
    EXPECT_EQ(StateOf(t), now);
  }
}

TEST(Undo, KeysAndALostRelease) {
  ViewStation t{testing::kDxfTraceOutput};
  t.station.view.mouse_mode = 3;
  t.Press(100, 100);
  t.Move(110, 100);
  // The release never comes; Ctrl+Z takes the circle as far as it was drawn.
  const std::optional<UndoStep> step = OnEditKey(t.station, 'Z', kKeyControl);
  ASSERT_TRUE(step.has_value());
  EXPECT_EQ(step->what, "circle drawn");
  EXPECT_EQ(t.rec().entity_count, 0u);
  EXPECT_EQ(OnEditKey(t.station, 'Y', kKeyControl)->what, "circle drawn");
  EXPECT_EQ(OnEditKey(t.station, 'Z', kKeyControl)->what, "circle drawn");
  EXPECT_EQ(OnEditKey(t.station, 'Z', kKeyControl | kKeyShift)->what, "circle drawn");
  EXPECT_EQ(t.rec().entity_count, 1u);
  EXPECT_FALSE(OnEditKey(t.station, 'Z', 0).has_value());
  EXPECT_FALSE(OnEditKey(t.station, 'Z', kKeyControl | kKeyAlt).has_value());
  EXPECT_FALSE(OnEditKey(t.station, 'X', kKeyControl).has_value());
}

} // namespace
} // namespace orvane
