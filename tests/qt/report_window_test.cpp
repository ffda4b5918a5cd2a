// The Results window's charts and report line on real widgets: the charts
// follow the label chosen in the statistics and save as files; the part's
// identity typed in rides on new rows; the report of the last part is
// written and reads back; a picture without a code says so.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include <cstdio>

#include "results/session.h"
#include "results/trace_file.h"
#include "support/pdf_text.h"
#include "support/station_fixture.h"
#include "tests/qt/qt_support.h"
#include "ui/qt/chart_panel.h"
#include "ui/qt/report_strip.h"
#include "ui/qt/results_window.h"

namespace orvane::qt {
namespace {

void Add(Station& st, const char* label, double value) {
  ResultsOf(st).table.SetNextLabel(label);
  ResultRow r;
  r.kind = kKindLength;
  r.value = value;
  r.unit = "mm";
  AddResult(st, std::move(r));
}

using testing::PdfText;

TEST(QtResultsReports, ChartsIdentityAndReport) {
  testing::StationFixture f;
  ResultsOf(f.station).now = [] { return int64_t{1796652000}; };
  ResultsOf(f.station).table.SetTolerance("width", Tolerance(10, 0.1));
  const double widths[] = {10.01, 10.03, 9.98, 10.02, 10.0, 10.04, 9.99, 10.02, 10.35, 10.01, 10.0, 9.97};
  for (double v : widths) Add(f.station, "width", v);
  ResultsWindow w(f.station);
  w.show();
  ASSERT_EQ(w.statistics()->model()->rowCount(), 1);
  w.statistics()->selectRow(0);
  EXPECT_EQ(w.charts()->label(), "width");
  EXPECT_EQ(w.charts()->individuals()->series().values.size(), std::size(widths));
  EXPECT_FALSE(orvane::testing::Screenshot(&w, "results_charts").isEmpty());
  const auto svg = f.dir.path() / "width.svg";
  EXPECT_TRUE(w.charts()->SaveTo(1, QString::fromStdString(svg.string())));
  EXPECT_GT(testing::ReadBytes(svg).size(), 1000u);
  EXPECT_FALSE(w.charts()->SaveTo(0, QString::fromStdString((f.dir.path() / "width.txt").string())));
  EXPECT_TRUE(w.charts()->line()->text().startsWith("Chart not saved"));

  // The identity typed in: on the rows that follow, and in the report.
  w.report()->part()->setText("SN-77");
  Q_EMIT w.report()->part()->editingFinished();
  w.report()->operator_name()->setText("K. Tester");
  Q_EMIT w.report()->operator_name()->editingFinished();
  Add(f.station, "hole", 4.02);
  Add(f.station, "width", 10.2);
  EXPECT_EQ(ResultsOf(f.station).table.rows().back().part, "SN-77");
  // The operator and the choice of automatic reports are kept in the folder.
  w.report()->ChooseReportFolder("reports");
  EXPECT_TRUE(w.report()->auto_report()->isChecked());
  std::optional<TraceSettings> kept = ReadTraceFile(f.dir.path());
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->operator_name, "K. Tester");
  EXPECT_EQ(kept->report_folder, "reports");
  EXPECT_TRUE(kept->report_auto);
  w.report()->auto_report()->setChecked(false);
  EXPECT_FALSE(ReadTraceFile(f.dir.path())->report_auto);
  const auto pdf = f.dir.path() / "report.pdf";
  ASSERT_TRUE(w.report()->WriteReport(QString::fromStdString(pdf.string())));
  EXPECT_EQ(w.report()->line()->text(), "Report written: 2 dimensions, FAIL");
  const std::string text = PdfText(pdf);
  for (const char* expected : {"SN-77", "K. Tester", "hole", "4.02", "10.2", "fail", "Verdict: FAIL"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  }
  EXPECT_EQ(text.find("10.35"), std::string::npos); // an earlier part's row

  // The summary of every row: each row without an identity is a part of its
  // own (10 pass, 10.35 fails), the identified part fails; both labels with
  // their statistics and charts.
  const auto summary = f.dir.path() / "summary.pdf";
  ASSERT_TRUE(w.report()->WriteSummary(QString::fromStdString(summary.string())));
  const std::string all = PdfText(summary);
  for (const char* expected : {"Summary report", "Yield: 11 of 13 parts passed (84.6 %)", "width - individuals (mm)",
                               "hole - histogram (mm)", "n 13 mean", "Page 1 of 1"}) {
    EXPECT_NE(all.find(expected), std::string::npos) << expected << "\n" << all;
  }

  // No picture, no code: said, and the identity is none.
  w.report()->ReadCode();
  EXPECT_EQ(ResultsOf(f.station).part_id, "");
  EXPECT_EQ(w.report()->part()->text(), "");
  EXPECT_TRUE(w.report()->line()->text().startsWith("No code could be read"));
}

} // namespace
} // namespace orvane::qt
