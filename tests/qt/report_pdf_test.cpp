// Inspection reports and chart files as their readers see them: the PDF's
// text read back with pdftotext (labels, values, verdicts, the identity, page
// numbers of a table long enough for several pages), its pages rendered with
// pdftoppm into the screenshots folder, and the charts' PNG, SVG and PDF.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "paper/chart_painter.h"
#include "paper/report_pdf.h"
#include "results/charts.h"
#include "results/report.h"

namespace orvane::paper {
namespace {

namespace fs = std::filesystem;

fs::path Shots() {
  const fs::path dir = fs::path(ORVANE_BUILD_DIR) / "qt_screenshots";
  fs::create_directories(dir);
  return dir;
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

size_t Count(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

// A table of `n` lengths L1..Ln, nominal 10 +- 0.05; value 10 + d_i.
ResultsTable Lengths(const std::vector<double>& deviations, const std::string& part) {
  ResultsTable table;
  for (size_t i = 0; i < deviations.size(); ++i) {
    ResultRow r;
    r.label = "L" + std::to_string(i + 1);
    r.kind = std::string(kKindLength);
    r.value = 10 + deviations[i];
    r.unit = "mm";
    r.uncertainty = 0.002;
    r.solution = "Bracket";
    r.time = 1796700000;
    r.calibration = "39.37 px/mm";
    r.part = part;
    table.Add(r);
    table.SetTolerance(r.label, Tolerance(10, 0.05));
  }
  return table;
}

// A picture: a light field with a dark plate, as a part under the camera.
ReportPicture Picture() {
  ReportPicture p{320, 240, std::vector<uint8_t>(320 * 240 * 3, 210)};
  for (uint32_t y = 60; y < 180; ++y) {
    for (uint32_t x = 60; x < 260; ++x) {
      for (int k = 0; k < 3; ++k) p.bgr[(y * 320 + x) * 3 + k] = 40;
    }
  }
  return p;
}

// Writes the report, reads its text and page count back, renders its pages.
struct ReadBack {
  std::string text;
  std::string info;
};
ReadBack WriteAndRead(const InspectionReport& report, PaperSize size, const std::string& name) {
  const fs::path pdf = Shots() / (name + ".pdf");
  std::string why;
  EXPECT_TRUE(WriteReportPdf(report, size, pdf, &why)) << why;
  Shell("pdftoppm -r 50 -png '" + pdf.string() + "' '" + (Shots() / name).string() + "'");
  return {Shell("pdftotext -layout '" + pdf.string() + "' -"), Shell("pdfinfo '" + pdf.string() + "'")};
}

ReportContext Context() { return {"Line 3", "A. Operator", "", "on; Figures: RMS 0.031 px"}; }

TEST(ReportPdf, PassingAndFailingPartsReadBack) {
  struct Case {
    const char* name;
    std::vector<double> deviations;
    const char* verdict;
  } cases[] = {{"report_pass", {0.01, -0.02, 0.0}, "PASS"}, {"report_fail", {0.01, 0.08, -0.01}, "FAIL"}};
  for (const Case& c : cases) {
    const ResultsTable table = Lengths(c.deviations, "SN-2026-0042");
    InspectionReport report = BuildReport(table, LastPartRows(table), Context());
    report.picture = Picture();
    const ReadBack back = WriteAndRead(report, PaperSize::A4, c.name);
    EXPECT_NE(back.info.find("(A4)"), std::string::npos) << back.info;
    EXPECT_TRUE(std::regex_search(back.info, std::regex("Pages: +1\\n"))) << back.info;
    for (const char* expected : {"Inspection report", "SN-2026-0042", "Bracket", "Line 3", "A. Operator",
                                 "39.37 px/mm", "RMS 0.031 px", "2026-12-08T"}) {
      EXPECT_NE(back.text.find(expected), std::string::npos) << c.name << ": " << expected;
    }
    EXPECT_TRUE(std::regex_search(back.text, std::regex("L2 +10 +0\\.05 +" +
                                                        std::string(c.deviations[1] > 0.05 ? "10\\.0800" : "9\\.9800") +
                                                        " +mm +0\\.0020 +" +
                                                        (c.deviations[1] > 0.05 ? "fail" : "pass"))))
        << back.text;
    EXPECT_NE(back.text.find(std::string("Verdict: ") + c.verdict), std::string::npos) << back.text;
    EXPECT_NE(back.text.find("Page 1 of 1"), std::string::npos);
  }
}

// 150 dimensions: the table runs over pages, its header on each, every
// label exactly once, "Page N of M" on every page, and the verdict last.
TEST(ReportPdf, LongTableContinuesOverPages) {
  const ResultsTable table = Lengths(std::vector<double>(150, 0.01), "");
  // Without identities the last part is every row.
  InspectionReport report = BuildReport(table, LastPartRows(table), Context());
  ASSERT_EQ(report.lines.size(), 150u);
  report.picture = Picture();
  const ReadBack back = WriteAndRead(report, PaperSize::Letter, "report_long");
  EXPECT_NE(back.info.find("(letter)"), std::string::npos) << back.info;
  std::smatch pages;
  ASSERT_TRUE(std::regex_search(back.info, pages, std::regex("Pages: +([0-9]+)")));
  const int n = std::stoi(pages[1]);
  EXPECT_GE(n, 3);
  for (int i = 1; i <= n; ++i) {
    EXPECT_EQ(Count(back.text, "Page " + std::to_string(i) + " of " + std::to_string(n)), 1u) << i;
  }
  EXPECT_EQ(Count(back.text, "Label"), size_t(n));
  for (int i = 1; i <= 150; ++i) {
    EXPECT_TRUE(std::regex_search(back.text, std::regex("\\bL" + std::to_string(i) + " +10 +0\\.05 +10\\.0100 +mm")))
        << "L" << i;
  }
  EXPECT_GT(back.text.find("Verdict: PASS"), back.text.find("L150"));
  EXPECT_EQ(Count(back.text, "\f"), size_t(n));
}

// The charts: PNG of its size, SVG text, a PDF whose text names the limits;
// another ending is refused and leaves the file as it was.
TEST(ChartFiles, PngSvgPdfAndRefusal) {
  ResultsTable table;
  const double values[] = {10.0, 10.2, 9.9, 10.1, 10.0, 10.3, 9.8, 10.1, 12.0, 10.0};
  for (double v : values) {
    ResultRow r;
    r.label = "W1";
    r.value = v;
    r.unit = "mm";
    table.Add(r);
  }
  table.SetTolerance("W1", Tolerance(10, 0.5));
  const LabelSeries series = SeriesOf(table, "W1");
  std::string why;
  for (const auto& [kind, name] : {std::pair{ChartKind::Individuals, "chart_individuals"},
                                   std::pair{ChartKind::Histogram, "chart_histogram"}}) {
    for (const char* ending : {".png", ".svg", ".pdf"}) {
      ASSERT_TRUE(ExportChart(series, kind, Shots() / (std::string(name) + ending), &why)) << why;
    }
    const QImage png(QString::fromStdString((Shots() / (std::string(name) + ".png")).string()));
    EXPECT_EQ(png.size(), QSize(1000, 600));
    std::ifstream svg(Shots() / (std::string(name) + ".svg"));
    std::stringstream s;
    s << svg.rdbuf();
    EXPECT_NE(s.str().find("<svg"), std::string::npos);
  }
  const std::string text = Shell("pdftotext '" + (Shots() / "chart_individuals.pdf").string() + "' -");
  // Limits to the values' own decimals and one more, not ten digits.
  EXPECT_NE(text.find("UCL 11.95\n"), std::string::npos) << text;
  EXPECT_NE(text.find("LCL 8.53\n"), std::string::npos) << text;
  const fs::path other = Shots() / "chart.gif";
  std::ofstream(other) << "kept";
  EXPECT_FALSE(ExportChart(series, ChartKind::Histogram, other, &why));
  EXPECT_EQ(why, "a chart is saved as .png, .svg or .pdf");
  std::ifstream kept(other);
  std::string content;
  kept >> content;
  EXPECT_EQ(content, "kept");
}

} // namespace
} // namespace orvane::paper
