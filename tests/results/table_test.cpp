#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "results/csv.h"
#include "results/table.h"
#include "results/table_file.h"
#include "support/station_fixture.h"

namespace orvane {
namespace {

ResultRow Row(std::string kind, double value, std::string label = {}) {
  ResultRow r;
  r.kind = std::move(kind);
  r.value = value;
  r.label = std::move(label);
  r.unit = "in";
  return r;
}

TEST(ResultsTable, LabelsNumbersAndVerdicts) {
  ResultsTable t;
  EXPECT_EQ(t.Add(Row("length", 1.0)).label, "L1");
  EXPECT_EQ(t.Add(Row("angle", 90.0)).label, "A1");
  t.SetNextLabel("width");
  EXPECT_EQ(t.Add(Row("length", 2.0)).label, "width");
  EXPECT_EQ(t.Add(Row("length", 3.0)).label, "L2"); // the label named one result only
  EXPECT_EQ(t.Add(Row("calibration", 50.0)).label, "CAL1");
  t.Erase({2, 4});
  ASSERT_EQ(t.rows().size(), 3u);
  EXPECT_EQ(t.Add(Row("dxf", 3.0)).number, 6u); // numbers are never reused
  t.SetTolerance("width", {2.0, 0.1});
  EXPECT_EQ(t.VerdictOf(t.rows()[1]), Verdict::Pass);
  EXPECT_EQ(t.VerdictOf(t.rows()[0]), Verdict::None);
  EXPECT_EQ(t.VerdictOf(Row("length", 2.1 + 1e-9, "width")), Verdict::Fail);
  EXPECT_EQ(t.VerdictOf(Row("length", 1.9, "width")), Verdict::Pass);
  t.Clear();
  EXPECT_TRUE(t.rows().empty());
  EXPECT_EQ(t.Add(Row("length", 1.0)).label, "L1");
  EXPECT_TRUE(t.ToleranceOf("width").has_value()); // tolerances outlive a clear
}

// Hand calculation: mean 10.02; deviations -0.01 0.01 0 0.02 -0.02, squares
// 0.001 in all, s = sqrt(0.001 / 4) = 0.0158114; with 10 +- 0.05:
// Cp = 0.1 / (6 s) = 1.054093, Cpk = (10.05 - 10.02) / (3 s) = 0.632456.
TEST(ResultsTable, StatisticsAndCapabilityByHand) {
  ResultsTable t;
  for (double v : {10.01, 10.03, 10.02, 10.04, 10.00}) t.Add(Row("length", v, "d"));
  t.Add(Row("length", 7.0, "e"));
  t.SetTolerance("d", {10.0, 0.05});
  const std::vector<LabelStatistics> s = t.Statistics();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].label, "d");
  EXPECT_EQ(s[0].n, 5u);
  EXPECT_NEAR(s[0].mean, 10.02, 1e-12);
  EXPECT_NEAR(s[0].sd, 0.0158114, 1e-7);
  EXPECT_NEAR(s[0].min, 10.00, 1e-12);
  EXPECT_NEAR(s[0].max, 10.04, 1e-12);
  EXPECT_NEAR(s[0].range, 0.04, 1e-12);
  EXPECT_NEAR(s[0].cp, 1.054093, 1e-6);
  EXPECT_NEAR(s[0].cpk, 0.632456, 1e-6);
  // One value: no spread, no capability.
  EXPECT_EQ(s[1].n, 1u);
  EXPECT_TRUE(std::isnan(s[1].sd));
  EXPECT_TRUE(std::isnan(s[1].cp));
}

TEST(ResultsFile, RoundTripsExactly) {
  ResultsTable t;
  t.snap = true;
  t.Add(Row("length", 0.1 + 0.2));
  ResultRow odd = Row("angle", 1e-300, "tab\there\nnew line \\ back");
  odd.uncertainty = 0.0031;
  odd.note = "Größe, \"quoted\"";
  t.Add(odd);
  t.SetTolerance("L1", {0.3, 0.001});
  const std::string text = WriteResultsText(t);
  ResultsTable back;
  ASSERT_TRUE(ReadResultsText(text, &back));
  EXPECT_EQ(WriteResultsText(back), text);
  EXPECT_EQ(back.rows()[0].value, 0.1 + 0.2);
  EXPECT_EQ(back.rows()[1].label, odd.label);
  EXPECT_EQ(back.rows()[1].note, odd.note);
  EXPECT_TRUE(std::isnan(back.rows()[0].uncertainty));
  EXPECT_TRUE(back.snap);
  EXPECT_EQ(back.Add(Row("length", 1.0)).label, "L2"); // counters survive
}

TEST(ResultsFile, DamagedTextIsRefusedWhole) {
  ResultsTable t;
  t.Add(Row("length", 1.0));
  t.Add(Row("length", 2.0));
  const std::string good = WriteResultsText(t);
  const std::string row2 = good.substr(good.rfind("row\t"));
  const std::string before = good.substr(0, good.size() - row2.size());
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"other magic", "ORVANE-RESULTS\t2\n"},
      {"torn last line", good.substr(0, good.size() - 3)},
      {"unknown record", good + "colour\tred\n"},
      {"row short of a field", before + "row\t3\t0\ta\tb\tlength\t1\tin\tnan\ts\tc\n"},
      {"value not a number", before + "row\t3\t0\ta\tb\tlength\tone\tin\tnan\ts\tc\tn\n"},
      {"infinity spelled otherwise", before + "row\t3\t0\ta\tb\tlength\tINF\tin\tnan\ts\tc\tn\n"},
      {"the last number", before + "row\t4294967295\t0\ta\tb\tlength\t1\tin\tnan\ts\tc\tn\n"},
      {"rows out of order", before + "row\t1\t0\ta\tb\tlength\t1\tin\tnan\ts\tc\tn\n"},
      {"numbered past next", before + "row\t9\t0\ta\tb\tlength\t1\tin\tnan\ts\tc\tn\n"},
      {"bad escape", before + "row\t3\t0\ta\\q\tb\tlength\t1\tin\tnan\ts\tc\tn\n"},
      {"negative tolerance", good + "tolerance\tL1\t1\t-0.5\n"},
      {"option not 0 or 1", good + "option\tsnap\t2\n"},
  };
  for (const auto& c : cases) {
    ResultsTable read;
    read.Add(Row("length", 42.0));
    EXPECT_FALSE(ReadResultsText(c.text, &read)) << c.what;
    ASSERT_EQ(read.rows().size(), 1u) << c.what; // untouched
  }
}

// Infinite values (a gauge on a tiny hole, a point at an absurd distance)
// are written so that they read back, and Windows line ends are read.
TEST(ResultsFile, NonFiniteValuesAndWindowsLineEndsReadBack) {
  ResultsTable t;
  const double inf = std::numeric_limits<double>::infinity();
  ResultRow far = Row("diameter", inf);
  far.uncertainty = inf;
  t.Add(far);
  t.Add(Row("length", -inf));
  t.Add(Row("length", kUnknown));
  const std::string text = WriteResultsText(t);
  ResultsTable back;
  ASSERT_TRUE(ReadResultsText(text, &back)) << text;
  EXPECT_EQ(WriteResultsText(back), text);
  EXPECT_EQ(back.rows()[0].value, inf);
  EXPECT_EQ(back.rows()[0].uncertainty, inf);
  EXPECT_EQ(back.rows()[1].value, -inf);
  EXPECT_TRUE(std::isnan(back.rows()[2].value));
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  ResultsTable windows;
  ASSERT_TRUE(ReadResultsText(crlf, &windows));
  EXPECT_EQ(WriteResultsText(windows), text);
}

// Read leniently, a damaged line is left out and listed, and the rest kept;
// what is not a results file at all is still refused whole.
TEST(ResultsFile, DamagedLinesAreLeftOutAndTheRestKept) {
  ResultsTable t;
  for (double v : {1.0, 2.0, 3.0}) t.Add(Row("length", v));
  t.SetTolerance("L1", {1.0, 0.5});
  const std::string good = WriteResultsText(t);
  const auto row = [&](int n) {
    const size_t at = good.find("row\t" + std::to_string(n) + "\t");
    return good.substr(at, good.find('\n', at) + 1 - at);
  };
  const auto without = [&](const std::string& line, const std::string& instead) {
    std::string s = good;
    return s.replace(s.find(line), line.size(), instead);
  };
  const struct {
    const char* what;
    std::string text;
    size_t refused;
    std::vector<uint32_t> numbers;
    uint32_t next;
  } cases[] = {
      {"whole", good, 0, {1, 2, 3}, 4},
      {"torn last line", good.substr(0, good.size() - 3), 1, {1, 2}, 4},
      {"a value not a number", without(row(2), "row\t2\t0\t\tL2\tlength\ttwo\tpx\tnan\t\t\t\n"), 1, {1, 3}, 4},
      {"a row out of order", without(row(2) + row(3), row(3) + row(2)), 1, {1, 3}, 4},
      {"an unknown record", without(row(1), "colour\tred\n" + row(1)), 1, {1, 2, 3}, 4},
      {"rows past a stale next", without("next\t4\n", "next\t2\n"), 0, {1, 2, 3}, 4},
      {"a bad next", without("next\t4\n", "next\t0\n"), 1, {1, 2, 3}, 4},
      {"no line but the first", "ORVANE-RESULTS\t1\r\n", 0, {}, 1},
  };
  for (const auto& c : cases) {
    ResultsTable read;
    std::vector<std::string_view> refused;
    ASSERT_TRUE(ReadResultsText(c.text, &read, &refused)) << c.what;
    EXPECT_EQ(refused.size(), c.refused) << c.what;
    std::vector<uint32_t> numbers;
    for (const ResultRow& r : read.rows()) numbers.push_back(r.number);
    EXPECT_EQ(numbers, c.numbers) << c.what;
    EXPECT_EQ(read.next_number(), c.next) << c.what;
    EXPECT_EQ(read.ToleranceOf("L1").has_value(), !c.numbers.empty()) << c.what;
    // What was kept writes a file the strict reader takes.
    ResultsTable again;
    EXPECT_TRUE(ReadResultsText(WriteResultsText(read), &again)) << c.what;
  }
  for (const std::string& other : {std::string(), std::string("ORVANE-RESULTS\t2\n") + good.substr(good.find('\n') + 1),
                                   std::string("row\t1\n"), good.substr(0, 10)}) {
    ResultsTable read;
    std::vector<std::string_view> refused;
    EXPECT_FALSE(ReadResultsText(other, &read, &refused)) << other;
  }
}

// The CSV as an independent reader sees it, with the writer running in a
// German locale (',' decimals) to show that no number depends on it.
TEST(ResultsCsv, PythonReadsWhatWeWriteInAGermanLocale) {
  const char* old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old ? old : "C";
  const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  std::locale::global(german ? std::locale("de_DE.UTF-8") : std::locale::classic());
  ResultsTable t;
  ResultRow a = Row("length", 1234.5678, "Länge, \"außen\"");
  a.uncertainty = 0.000123;
  a.note = "two\r\nlines";
  t.Add(a);
  t.Add(Row("angle", -0.5));
  t.SetTolerance(a.label, {1234.5, 0.1});
  const std::string text = TableCsv(t);
  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, saved.c_str());

  testing::TempDir dir;
  const auto csv = dir.path() / "out.csv";
  const auto expected = dir.path() / "expected.txt";
  std::ofstream(csv, std::ios::binary) << text;
  {
    std::ofstream e(expected, std::ios::binary);
    e << "|";
    for (const auto& c : ResultColumns()) e << c << "|";
    e << "\n";
    for (const ResultRow& r : t.rows()) {
      e << "|";
      for (const auto& c : ResultCells(t, r)) e << c << "|";
      e << "\n";
    }
  }
  EXPECT_NE(text.find("1234.5678"), std::string::npos);
  EXPECT_NE(text.find(",0.000123,"), std::string::npos);
  const std::string command =
      "LC_ALL=de_DE.UTF-8 /usr/bin/python3 -c \"import csv,sys\n"
      "rows=list(csv.reader(open(sys.argv[1],newline='',encoding='utf-8'),strict=True))\n"
      "text=''.join('|'+''.join(c+'|' for c in r)+'\\n' for r in rows)\n"
      "sys.exit(0 if text==open(sys.argv[2],newline='',encoding='utf-8').read() else 1)\" " +
      csv.string() + " " + expected.string();
  EXPECT_EQ(std::system(command.c_str()), 0) << text;
}

} // namespace
} // namespace orvane
