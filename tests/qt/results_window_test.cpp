// The Results window on real widgets: rows and statistics as the station's
// table has them, tolerances typed in, pass/fail colours, copy and export,
// delete and clear, the snap option remembered; F2 opens it.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QTableWidget>
#include <QTest>

#include <cstdlib>

#include "results/csv.h"
#include "results/session.h"
#include "results/table_file.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/front_end.h"
#include "ui/qt/results_window.h"

namespace orvane::qt {
namespace {

void Add(Station& st, const char* label, double value) {
  ResultsOf(st).table.SetNextLabel(label);
  ResultRow r;
  r.kind = kKindLength;
  r.value = value;
  r.unit = "in";
  AddResult(st, std::move(r));
}

TEST(QtResultsWindow, ShowsEditsAndExportsTheTable) {
  testing::StationFixture f;
  ResultsOf(f.station).now = [] { return int64_t{1796652000}; };
  for (double v : {10.01, 10.03, 10.02, 10.08}) Add(f.station, "width", v);
  Add(f.station, "height", 4.5);
  ResultsWindow w(f.station);
  w.show();
  ASSERT_EQ(w.rows()->rowCount(), 5);
  ASSERT_EQ(w.statistics()->rowCount(), 2);
  EXPECT_EQ(w.statistics()->item(0, 1)->text(), "4");
  EXPECT_EQ(w.statistics()->item(0, 2)->text(), "10.035");

  // A tolerance typed into the statistics: verdicts, colours, Cp and Cpk.
  w.statistics()->item(0, 7)->setText("10");
  w.statistics()->item(0, 8)->setText("0.05");
  const auto t = ResultsOf(f.station).table.ToleranceOf("width");
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->tolerance, 0.05);
  EXPECT_EQ(w.rows()->item(0, 10)->text(), "pass");
  EXPECT_EQ(w.rows()->item(3, 10)->text(), "fail");
  EXPECT_NE(w.rows()->item(0, 10)->background(), w.rows()->item(3, 10)->background());
  EXPECT_FALSE(w.statistics()->item(0, 9)->text().isEmpty()); // Cp
  EXPECT_TRUE(w.statistics()->item(1, 9)->text().isEmpty());  // one value: none
  const QString shot = orvane::testing::Screenshot(&w, "results_window");
  EXPECT_FALSE(shot.isEmpty());

  // A label edited in the table joins the other label's statistics.
  w.rows()->item(4, 3)->setText("width");
  EXPECT_EQ(ResultsOf(f.station).table.rows()[4].label, "width");
  ASSERT_EQ(w.statistics()->rowCount(), 1);

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
  EXPECT_EQ(w.rows()->rowCount(), 4);
  w.snap()->setChecked(true);
  EXPECT_TRUE(ResultsOf(f.station).table.snap);
  w.Clear();
  EXPECT_EQ(w.rows()->rowCount(), 0);
  // Every change is in the file at once.
  const std::vector<uint8_t> saved = testing::ReadBytes(f.station.PathOf(kResultsFileName));
  ResultsTable back;
  ASSERT_TRUE(ReadResultsText(std::string(saved.begin(), saved.end()), &back));
  EXPECT_TRUE(back.rows().empty());
  EXPECT_TRUE(back.snap);
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
  EXPECT_EQ(front.results_window()->rows()->rowCount(), 1);
}

} // namespace
} // namespace orvane::qt
