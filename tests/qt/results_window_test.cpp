// The Results window on real widgets: rows and statistics as the station's
// table has them, tolerances typed in, pass/fail colours, copy and export,
// delete and clear (asked first), the snap option remembered; F2 opens it as
// a tool window of the main window that remembers its place; the label for
// the next result; lengths shown in mm or µm; a new result updates one row.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QWindow>

#include <sqlite3.h>

#include <cstdlib>

#include "results/csv.h"
#include "results/session.h"
#include "results/table_file.h"
#include "results/window_file.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/front_end.h"
#include "ui/qt/results_window.h"

namespace orvane::qt {
namespace {

void Add(Station& st, const char* label, double value, const char* unit = "in") {
  ResultsOf(st).table.SetNextLabel(label);
  ResultRow r;
  r.kind = kKindLength;
  r.value = value;
  r.unit = unit;
  AddResult(st, std::move(r));
}

QString Cell(QTableView* view, int row, int column) {
  return view->model()->index(row, column).data().toString();
}
void Type(QTableView* view, int row, int column, const QString& text) {
  view->model()->setData(view->model()->index(row, column), text, Qt::EditRole);
}
int Rows(QTableView* view) { return view->model()->rowCount(); }

// Statistics columns.
constexpr int kUnit = 1, kN = 2, kMean = 3, kNominal = 8, kTolerance = 9, kCp = 10, kLeftOut = 12;

// A station starting on a database of 200,000 results (10,000 parts of 20
// dimensions): every row reaches the window, the newest in view.
TEST(QtResultsWindow, OpensOnALargeDatabase) {
  testing::StationFixture f;
  {
    ResultsTable table;
    for (int i = 0; i < 200000; ++i) {
      ResultRow r;
      r.kind = kKindLength;
      r.label = "D" + std::to_string(i % 20 + 1);
      r.value = 10.0 + 0.001 * (i % 97);
      r.unit = "mm";
      r.time = 1796652000 + i;
      r.solution = "FLANGE";
      r.source = "camera 0";
      table.Add(std::move(r));
    }
    table.SetTolerance("D1", Tolerance(10.05, 0.03));
    ResultsDb db;
    ASSERT_EQ(db.Open(f.station.PathOf(kResultsDbName)), DbOpen::Ok);
    ASSERT_TRUE(db.Store(table));
  }
  ResultsWindow w(f.station);
  w.resize(900, 600);
  w.show();
  EXPECT_EQ(Rows(w.rows()), 200000);
  EXPECT_EQ(Rows(w.statistics()), 20);
  EXPECT_EQ(Cell(w.rows(), 199999, 0), "200000");
  EXPECT_FALSE(orvane::testing::Screenshot(&w, "results_window_large_db").isEmpty());
}

// 10,000 inspected parts of 20 dimensions: the counts over all of them,
// then a filter typed into the row of fields picks one label of one
// program's parts in a range, its statistics and counts with it; a day that
// is none is marked and changes nothing.
TEST(QtResultsWindow, FiltersAndCountsInspectedParts) {
  testing::StationFixture f;
  {
    ResultsTable table;
    for (int i = 0; i < 200000; ++i) {
      ResultRow r;
      r.kind = kKindLength;
      r.label = "D" + std::to_string(i % 20 + 1);
      r.value = 10.0 + 0.001 * (i % 97);
      r.unit = "mm";
      r.time = 1796652000 + i / 20;
      r.solution = "FLANGE";
      r.source = "camera 0";
      table.Add(std::move(r));
    }
    ResultsDb db;
    ASSERT_EQ(db.Open(f.station.PathOf(kResultsDbName)), DbOpen::Ok);
    ASSERT_TRUE(db.Store(table));
    // Part n: rows 20n-19 ... 20n; every 25th failed; odd ones FLANGE.
    ASSERT_EQ(sqlite3_exec(db.handle(),
                           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
                           "INSERT INTO parts(id, number, program, verdict, identity, taken_at) "
                           "SELECT i, i, CASE WHEN i % 2 THEN 'FLANGE' ELSE 'BRACKET' END, "
                           "CASE WHEN i % 25 THEN 'pass' ELSE 'fail' END, '', 1796652000 + i - 1 FROM n; "
                           "UPDATE results SET part = (number - 1) / 20 + 1;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  ResultsWindow w(f.station);
  w.resize(1100, 700);
  w.show();
  EXPECT_EQ(Rows(w.rows()), 200000);
  EXPECT_EQ(w.part_counts()->text(), "Parts: 10000 inspected, 9600 passed, 400 failed, yield 96.0 %");
  EXPECT_FALSE(w.filter_row()->isVisible());
  w.filter_button()->click();
  ASSERT_TRUE(w.filter_row()->isVisible());
  const char* typed[] = {"D7", "FLANGE", "101", "200", "2026-12-07", ""};
  for (int i = 0; i < 6; ++i) w.filter_field(i)->setText(QString::fromLatin1(typed[i]));
  w.ApplyFilter();
  ASSERT_EQ(Rows(w.rows()), 50);
  EXPECT_EQ(Cell(w.rows(), 0, 0), "2007"); // part 101's D7
  EXPECT_EQ(Cell(w.rows(), 0, 3), "D7");
  ASSERT_EQ(Rows(w.statistics()), 1);
  EXPECT_EQ(Cell(w.statistics(), 0, kN), "50");
  EXPECT_EQ(w.part_counts()->text(), "Parts: 50 inspected, 48 passed, 2 failed, yield 96.0 %");
  EXPECT_FALSE(orvane::testing::Screenshot(&w, "results_window_filtered").isEmpty());
  w.filter_field(5)->setText(QStringLiteral("2026-02-30"));
  w.ApplyFilter();
  EXPECT_EQ(Rows(w.rows()), 50);
  EXPECT_FALSE(w.filter_field(5)->styleSheet().isEmpty());
  w.filter_button()->click(); // the row hidden: its filter goes with it
  EXPECT_TRUE(w.filter_field(0)->text().isEmpty());
  EXPECT_EQ(Rows(w.rows()), 200000);
  // The number column fits the last (widest) number, not only the first rows'.
  EXPECT_GE(w.rows()->columnWidth(0), w.rows()->sizeHintForIndex(w.rows()->model()->index(199999, 0)).width());
  EXPECT_EQ(Rows(w.statistics()), 20);
  w.filter_button()->click();
  EXPECT_FALSE(orvane::testing::Screenshot(&w, "results_window_parts").isEmpty());
}

TEST(QtResultsWindow, ShowsEditsAndExportsTheTable) {
  testing::StationFixture f;
  ResultsOf(f.station).now = [] { return int64_t{1796652000}; };
  for (double v : {10.01, 10.03, 10.02, 10.08}) Add(f.station, "width", v);
  Add(f.station, "height", 4.5);
  ResultsWindow w(f.station);
  w.show();
  ASSERT_EQ(Rows(w.rows()), 5);
  ASSERT_EQ(Rows(w.statistics()), 2);
  EXPECT_EQ(Cell(w.statistics(), 0, kN), "4");
  EXPECT_EQ(Cell(w.statistics(), 0, kMean), "10.035");
  EXPECT_EQ(Cell(w.statistics(), 0, kUnit), "in");

  // A tolerance typed into the statistics: verdicts, colours, Cp and Cpk.
  Type(w.statistics(), 0, kNominal, "10");
  EXPECT_FALSE(ResultsOf(f.station).table.ToleranceOf("width")); // half entered
  EXPECT_EQ(Cell(w.statistics(), 0, kNominal), "10");
  Type(w.statistics(), 0, kTolerance, "0.05");
  const auto t = ResultsOf(f.station).table.ToleranceOf("width");
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->upper, 0.05);
  EXPECT_EQ(Cell(w.rows(), 0, 10), "pass");
  EXPECT_EQ(Cell(w.rows(), 3, 10), "fail");
  EXPECT_NE(w.rows()->model()->index(0, 10).data(Qt::BackgroundRole),
            w.rows()->model()->index(3, 10).data(Qt::BackgroundRole));
  EXPECT_FALSE(Cell(w.statistics(), 0, kCp).isEmpty());
  EXPECT_TRUE(Cell(w.statistics(), 1, kCp).isEmpty()); // one value: none
  // An asymmetric tolerance as typed.
  Type(w.statistics(), 0, kTolerance, "+0.06/-0.01");
  EXPECT_EQ(ResultsOf(f.station).table.ToleranceOf("width")->lower, -0.01);
  EXPECT_EQ(Cell(w.rows(), 3, 9), "+0.06/-0.01");
  EXPECT_EQ(Cell(w.rows(), 3, 10), "fail");
  const QString shot = orvane::testing::Screenshot(&w, "results_window");
  EXPECT_FALSE(shot.isEmpty());

  // A label edited in the table joins the other label's statistics.
  Type(w.rows(), 4, 3, "width");
  EXPECT_EQ(ResultsOf(f.station).table.rows()[4].label, "width");
  ASSERT_EQ(Rows(w.statistics()), 1);

  // Copy the selected rows, tab-separated under the header.
  w.rows()->selectRow(1);
  w.Copy();
  const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[1].startsWith("2\t2026-"));
  EXPECT_TRUE(lines[1].contains("\t10.03\tin\t"));

  // Export, then delete the selection and clear.
  const auto csv = f.dir.path() / "export.csv";
  w.ExportTo(QString::fromStdString(csv.string()));
  EXPECT_EQ(testing::ReadBytes(csv).size(), TableCsv(ResultsOf(f.station).table).size());
  w.DeleteSelected();
  EXPECT_EQ(Rows(w.rows()), 4);
  w.snap()->setChecked(true);
  EXPECT_TRUE(ResultsOf(f.station).table.snap);
  w.Clear();
  EXPECT_EQ(Rows(w.rows()), 0);
  // Every change is in the database at once.
  const std::vector<uint8_t> saved = testing::StoredResults(f.station.folder());
  ResultsTable back;
  ASSERT_TRUE(ReadResultsText(std::string(saved.begin(), saved.end()), &back));
  EXPECT_TRUE(back.rows().empty());
  EXPECT_TRUE(back.snap);
}

// Inches and centimetres under one label, a scale under it too: the
// statistics in the label's unit with the scale counted out; shown in mm
// and µm on choice, the choice remembered, the stored rows unchanged.
TEST(QtResultsWindow, ShowsLengthsInMillimetresAndMicrometres) {
  testing::StationFixture f;
  Add(f.station, "plate", 8.0006, "in");
  Add(f.station, "plate", 20.32, "cm");
  Add(f.station, "plate", 50.0, "px/in");
  Add(f.station, "A", 90.0, "deg");
  auto w = std::make_unique<ResultsWindow>(f.station);
  w->resize(1100, 420);
  w->show();
  EXPECT_EQ(Cell(w->statistics(), 0, kMean), "8.0003");
  EXPECT_EQ(Cell(w->statistics(), 0, kLeftOut), "1 (px/in)");
  w->show_unit()->setCurrentIndex(1);
  EXPECT_EQ(Cell(w->statistics(), 0, kUnit), "mm");
  EXPECT_EQ(Cell(w->statistics(), 0, kMean), "203.20762");
  EXPECT_EQ(Cell(w->rows(), 1, 5), "203.2");
  EXPECT_EQ(Cell(w->rows(), 1, 6), "mm");
  EXPECT_EQ(Cell(w->rows(), 2, 6), "px/in"); // not a length: as measured
  EXPECT_EQ(Cell(w->statistics(), 1, kUnit), "deg");
  // A tolerance typed while mm are shown is kept in mm, which becomes the
  // label's unit.
  Type(w->statistics(), 0, kNominal, "203.2");
  Type(w->statistics(), 0, kTolerance, "+0.1/-0.3");
  ASSERT_TRUE(ResultsOf(f.station).table.ToleranceOf("plate"));
  EXPECT_EQ(ResultsOf(f.station).table.ToleranceOf("plate")->unit, "mm");
  EXPECT_EQ(Cell(w->rows(), 0, 10), "pass"); // 203.21524 mm
  orvane::testing::Screenshot(w.get(), "results_window_mm");
  w->show_unit()->setCurrentIndex(0);
  EXPECT_EQ(Cell(w->statistics(), 0, kUnit), "mm");
  EXPECT_EQ(Cell(w->rows(), 0, 9), "+0.003937007874/-0.01181102362"); // in the row's inches
  w->show_unit()->setCurrentIndex(2);
  EXPECT_EQ(Cell(w->rows(), 0, 5), "203215.24");
  EXPECT_EQ(ResultsOf(f.station).table.rows()[1].unit, "cm");
  EXPECT_EQ(TableCsv(ResultsOf(f.station).table).find("203215"), std::string::npos);
  w.reset();
  ResultsWindow again(f.station);
  EXPECT_EQ(again.show_unit()->currentIndex(), 2);
  EXPECT_EQ(Cell(again.rows(), 0, 6), QString::fromUtf8("\xC2\xB5m"));
  EXPECT_EQ(Cell(again.statistics(), 0, kMean), "203207.62");
}

// A new result inserts one row and updates its label's statistics alone; a
// deletion shows the table again whole.
TEST(QtResultsWindow, ANewResultUpdatesOneRow) {
  testing::StationFixture f;
  for (int i = 0; i < 40; ++i) Add(f.station, i % 2 ? "a" : "b", i);
  ResultsWindow w(f.station);
  QSignalSpy inserted(w.rows_model(), &QAbstractItemModel::rowsInserted);
  QSignalSpy reset(w.rows_model(), &QAbstractItemModel::modelReset);
  QSignalSpy stats_changed(w.statistics_model(), &QAbstractItemModel::dataChanged);
  QSignalSpy stats_reset(w.statistics_model(), &QAbstractItemModel::modelReset);
  Add(f.station, "a", 1000.0);
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted[0][1].toInt(), 40);
  EXPECT_EQ(inserted[0][2].toInt(), 40);
  EXPECT_EQ(reset.count(), 0);
  EXPECT_EQ(stats_reset.count(), 0);
  ASSERT_EQ(stats_changed.count(), 1);
  EXPECT_EQ(stats_changed[0][0].toModelIndex().row(), 1); // "a", second to appear
  EXPECT_EQ(Cell(w.statistics(), 1, kN), "21");
  Add(f.station, "c", 1.0);
  EXPECT_EQ(Rows(w.statistics()), 3);
  ResultsOf(f.station).table.Erase({1});
  SaveResults(f.station);
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(Rows(w.rows()), 41);
  // The first "b" went: "a" now appears first.
  EXPECT_EQ(Cell(w.statistics(), 0, 0), "a");
  EXPECT_EQ(Cell(w.statistics(), 1, kN), "19");
}

TEST(QtResultsWindow, NextLabelFieldAndClearThatAsks) {
  testing::StationFixture f;
  Add(f.station, "x", 1.0);
  ResultsWindow w(f.station);
  w.show();
  QTest::keyClicks(w.next_label(), "bore");
  EXPECT_EQ(ResultsOf(f.station).table.next_label(), "bore");
  ResultRow r;
  r.kind = kKindLength;
  r.value = 2.0;
  r.unit = "in";
  AddResult(f.station, r);
  EXPECT_EQ(ResultsOf(f.station).table.rows().back().label, "bore");
  EXPECT_TRUE(w.next_label()->text().isEmpty()); // one result only
  // Clear asks; No keeps every row.
  f.surface.QueueAnswer(MessageAnswer::No);
  w.Clear();
  EXPECT_EQ(Rows(w.rows()), 2);
  ASSERT_FALSE(f.surface.message_boxes().empty());
  EXPECT_EQ(f.surface.message_boxes().back().buttons, MessageButtons::YesNo);
}

TEST(QtResultsWindow, F2OpensItAndNewResultsAppear) {
  unsetenv("ORVANE_VIRTUAL_CAMERA");
  testing::TempDir dir;
  FrontEnd front(dir.path());
  ASSERT_TRUE(front.Start("orvane"));
  front.Show();
  QApplication::setActiveWindow(front.surface().window());
  ASSERT_TRUE(QTest::qWaitForWindowActive(front.surface().window(), 2000));
  EXPECT_EQ(front.results_window(), nullptr);
  QTest::keyClick(front.surface().window(), Qt::Key_F2);
  ASSERT_NE(front.results_window(), nullptr);
  EXPECT_TRUE(front.results_window()->isVisible());
  Add(front.station(), "L", 1.0);
  EXPECT_EQ(Rows(front.results_window()->rows()), 1);
}

// A tool window of the main window (kept above it by the window manager),
// where it was left at the next opening; Clear asks in a real message box.
TEST(QtResultsWindow, StaysAboveTheMainWindowAndRemembersItsPlace) {
  unsetenv("ORVANE_VIRTUAL_CAMERA");
  testing::TempDir dir;
  {
    FrontEnd front(dir.path());
    ASSERT_TRUE(front.Start("orvane"));
    front.Show();
    front.ShowResults();
    ResultsWindow* w = front.results_window();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), front.surface().window());
    EXPECT_EQ(w->windowType(), Qt::Tool);
    ASSERT_NE(w->windowHandle(), nullptr);
    EXPECT_EQ(w->windowHandle()->transientParent(), front.surface().window()->windowHandle());
    w->resize(820, 420);
    w->move(40, 60);
    Add(front.station(), "L", 1.0);
    // Clicking the main window leaves it shown.
    QTest::mouseClick(front.surface().window(), Qt::LeftButton);
    EXPECT_TRUE(w->isVisible());
    bool asked = false;
    testing::WhenModal([&](QWidget* box) {
      asked = true;
      auto* message = qobject_cast<QMessageBox*>(box);
      ASSERT_NE(message, nullptr);
      EXPECT_TRUE(message->text().startsWith("Clear all 1 result"));
      orvane::testing::Screenshot(box, "results_clear_asks");
      message->button(QMessageBox::No)->click();
    });
    w->Clear();
    EXPECT_TRUE(asked);
    EXPECT_EQ(Rows(w->rows()), 1);
    w->hide();
  }
  const ResultsWindowState saved = LoadResultsWindowState(dir.path());
  ASSERT_TRUE(saved.has_geometry);
  EXPECT_EQ(saved.width, 820);
  EXPECT_EQ(saved.height, 420);
  FrontEnd front(dir.path());
  ASSERT_TRUE(front.Start("orvane"));
  front.ShowResults();
  EXPECT_EQ(front.results_window()->size(), QSize(820, 420));
  EXPECT_EQ(front.results_window()->pos(), QPoint(saved.x, saved.y));
  EXPECT_EQ(saved.x, 40);
  EXPECT_EQ(saved.y, 60);
}

} // namespace
} // namespace orvane::qt
