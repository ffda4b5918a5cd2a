#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
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
      {"limits upside down", good + "limits\tL1\t1\t-0.1\t0.1\tmm\n"},
      {"limits without a unit field", good + "limits\tL1\t1\t0.1\t-0.1\n"},
      {"limits of no nominal", good + "limits\tL1\tnan\t0.1\t-0.1\tmm\n"},
      {"option not 0 or 1", good + "option\tsnap\t2\n"},
  };
  for (const auto& c : cases) {
    ResultsTable read;
    read.Add(Row("length", 42.0));
    EXPECT_FALSE(ReadResultsText(c.text, &read)) << c.what;
    ASSERT_EQ(read.rows().size(), 1u) << c.what; // untouched
  }
}

TEST(ResultUnits, ConvertExactlyOrNotAtAll) {
  const struct {
    const char* from;
    const char* to;
    double value;
    std::optional<double> want; // nothing: does not convert
  } cases[] = {
      {"in", "cm", 8.0, 20.32},
      {"in", "mm", 1.0, 25.4},
      {"cm", "in", 20.32, 8.0},
      {"mm", "\xC2\xB5m", 0.001, 1.0},
      {"\xC2\xB5m", "in", 25400.0, 1.0},
      {"px/in", "px/cm", 50.0, 50.0 / 2.54},
      {"deg", "deg", 89.9999975, 89.9999975},
      {"px", "in", 1.0, std::nullopt},
      {"deg", "mm", 1.0, std::nullopt},
      {"in", "px/in", 1.0, std::nullopt},
      {"um", "mm", 1.0, std::nullopt}, // only the table's own spelling
  };
  for (const auto& c : cases) {
    const std::optional<UnitRatio> r = UnitRatioOf(c.from, c.to);
    ASSERT_EQ(r.has_value(), c.want.has_value()) << c.from << " -> " << c.to;
    if (r) {
      EXPECT_DOUBLE_EQ(r->Apply(c.value), *c.want) << c.from << " -> " << c.to;
    }
  }
  EXPECT_EQ(CanonicalUnit("um"), std::string(kMicrometre));
}

// Mixed units under one label: converted to the label's unit (its
// tolerance's, else its first row's), or left out and counted.
TEST(ResultsTable, StatisticsAndVerdictsConvertToTheLabelsUnit) {
  struct Value {
    double v;
    const char* unit;
  };
  const struct {
    const char* what;
    std::vector<Value> rows;
    std::optional<Tolerance> tolerance;
    const char* unit;
    uint32_t n;
    double mean;
    uint32_t left_out;
    const char* left_out_units;
    std::vector<Verdict> verdicts;
  } cases[] = {
      {"inches then centimetres", {{8.0006, "in"}, {20.32, "cm"}}, std::nullopt, "in", 2, 8.0003, 0, "", {}},
      {"a tolerance in mm sets the unit",
       {{8.0, "in"}, {20.32, "cm"}, {203.3, "mm"}},
       Tolerance(203.2, 0.05, "mm"), "mm", 3, 203.2 + 0.1 / 3, 0, "",
       {Verdict::Pass, Verdict::Pass, Verdict::Fail}},
      {"pixels and degrees left out",
       {{1.0, "in"}, {100.0, "px"}, {2.0, "in"}, {45.0, "deg"}, {3.0, "px"}},
       Tolerance(1.5, 0.5), "in", 2, 1.5, 3, "px,deg",
       {Verdict::Pass, Verdict::None, Verdict::Pass, Verdict::None, Verdict::None}},
      {"an uncalibrated first row keeps lengths out", {{100.0, "px"}, {1.0, "in"}}, std::nullopt, "px", 1, 100.0, 1, "in", {}},
      {"asymmetric, both limits above the nominal",
       {{10.0, "in"}, {10.2, "in"}, {25.4 * 10.3, "mm"}, {10.30001, "in"}},
       Tolerance(10.0, 0.3, 0.1, "in"), "in", 4, (10.0 + 10.2 + 10.3 + 10.30001) / 4, 0, "",
       {Verdict::Fail, Verdict::Pass, Verdict::Pass, Verdict::Fail}},
      {"lower limit exactly, through a conversion",
       {{9.98999, "in"}, {2.54 * 9.99, "cm"}},
       Tolerance(10.0, 0.02, -0.01, ""), "in", 2, (9.99 + 9.98999) / 2, 0, "",
       {Verdict::Fail, Verdict::Pass}},
  };
  for (const auto& c : cases) {
    ResultsTable t;
    for (const Value& v : c.rows) {
      ResultRow r = Row("length", v.v, "d");
      r.unit = v.unit;
      t.Add(r);
    }
    if (c.tolerance) t.SetTolerance("d", *c.tolerance);
    const std::optional<LabelStatistics> s = t.StatisticsOf("d");
    ASSERT_TRUE(s) << c.what;
    EXPECT_EQ(s->unit, c.unit) << c.what;
    EXPECT_EQ(s->n, c.n) << c.what;
    EXPECT_NEAR(s->mean, c.mean, 1e-12 * std::fabs(c.mean)) << c.what;
    EXPECT_EQ(s->left_out, c.left_out) << c.what;
    EXPECT_EQ(s->left_out_units, c.left_out_units) << c.what;
    for (size_t i = 0; i < c.verdicts.size(); ++i) {
      EXPECT_EQ(t.VerdictOf(t.rows()[i]), c.verdicts[i]) << c.what << ", row " << i;
    }
  }
}

// Cp = (USL - LSL) / 6s and Cpk = min(USL - mean, mean - LSL) / 3s against
// 10 +0.04/-0.02: mean 10.02, s 0.0158114 (by hand, as above), USL 10.04,
// LSL 9.98: Cp = 0.06 / 0.0948683 = 0.632456, Cpk = 0.02 / 0.0474342 = 0.421637.
// In cm (the rows) against a tolerance in inches the same figures hold.
TEST(ResultsTable, AsymmetricCapabilityByHand) {
  for (const char* unit : {"in", "cm"}) {
    ResultsTable t;
    const double k = std::string(unit) == "cm" ? 2.54 : 1.0;
    for (double v : {10.01, 10.03, 10.02, 10.04, 10.00}) {
      ResultRow r = Row("length", v * k, "d");
      r.unit = unit;
      t.Add(r);
    }
    t.SetTolerance("d", Tolerance(10.0, 0.04, -0.02, "in"));
    const LabelStatistics s = t.Statistics().at(0);
    EXPECT_EQ(s.unit, "in");
    EXPECT_NEAR(s.cp, 0.632456, 1e-6) << unit;
    EXPECT_NEAR(s.cpk, 0.421637, 1e-6) << unit;
    LabelStatistics shown = s;
    ASSERT_TRUE(ShowIn(&shown, "mm"));
    EXPECT_NEAR(shown.mean, 254.508, 1e-9);
    EXPECT_EQ(shown.cp, s.cp);
    EXPECT_FALSE(ShowIn(&shown, "deg"));
  }
}

TEST(ResultsTable, DeviationsAsTyped) {
  const struct {
    const char* text;
    std::optional<std::pair<double, double>> want; // upper, lower
  } cases[] = {
      {"0.05", std::pair{0.05, -0.05}},     {"+0.02/-0.01", std::pair{0.02, -0.01}},
      {"+0.3/+0.1", std::pair{0.3, 0.1}},   {"-0.1/-0.3", std::pair{-0.1, -0.3}},
      {"+0/-0", std::pair{0.0, 0.0}},       {"-0.05", std::nullopt},
      {"0.02/-0.01", std::nullopt},         {"+0.01/+0.02", std::nullopt},
      {"+0.02/-0.01/", std::nullopt},       {"", std::nullopt},
      {"+/-", std::nullopt},                {"nan", std::nullopt},
      {"+inf/-1", std::nullopt},            {"0,05", std::nullopt},
  };
  for (const auto& c : cases) {
    Tolerance t(1.0, 9.0);
    ASSERT_EQ(ParseDeviations(c.text, &t), c.want.has_value()) << c.text;
    if (!c.want) {
      EXPECT_EQ(t.upper, 9.0) << c.text; // untouched
      continue;
    }
    EXPECT_EQ(t.upper, c.want->first) << c.text;
    EXPECT_EQ(t.lower, c.want->second) << c.text;
    Tolerance back;
    ASSERT_TRUE(ParseDeviations(DeviationsText(t), &back)) << DeviationsText(t);
    EXPECT_EQ(back.upper, t.upper);
    EXPECT_EQ(back.lower, t.lower);
  }
}

// A symmetric tolerance without a unit keeps the line older files have; an
// asymmetric one, or one with its own unit, takes the limits line; both read
// back exactly. CSV cells show the tolerance in the row's unit.
TEST(ResultsFile, LimitsLineRoundTripsAndCsvCellsFollowTheRow) {
  ResultsTable t;
  t.Add(Row("length", 8.0, "sym"));
  t.Add(Row("length", 10.2, "asym"));
  ResultRow metric = Row("length", 25.4 * 10.2, "asym");
  metric.unit = "mm";
  t.Add(metric);
  t.Add(Row("length", 1.0, "own"));
  t.SetTolerance("sym", Tolerance(8.0, 0.01));
  t.SetTolerance("asym", Tolerance(10.0, 0.3, 0.1, ""));
  t.SetTolerance("own", Tolerance(25.4, 0.1, "mm"));
  const std::string text = WriteResultsText(t);
  EXPECT_NE(text.find("tolerance\tsym\t8\t0.01\n"), std::string::npos) << text;
  EXPECT_NE(text.find("limits\tasym\t10\t0.3\t0.1\t\n"), std::string::npos) << text;
  EXPECT_NE(text.find("limits\town\t25.4\t0.1\t-0.1\tmm\n"), std::string::npos) << text;
  ResultsTable back;
  ASSERT_TRUE(ReadResultsText(text, &back));
  EXPECT_EQ(WriteResultsText(back), text);
  EXPECT_EQ(back.tolerances(), t.tolerances());

  const std::vector<std::string> sym = ResultCells(t, t.rows()[0]);
  EXPECT_EQ(sym[8], "8");
  EXPECT_EQ(sym[9], "0.01");
  EXPECT_EQ(ResultCells(t, t.rows()[1])[9], "+0.3/+0.1");
  const std::vector<std::string> mm = ResultCells(t, t.rows()[2]);
  EXPECT_EQ(mm[6], "mm");
  EXPECT_EQ(mm[8], "254");
  EXPECT_EQ(mm[9], "+7.62/+2.54");
  EXPECT_EQ(mm[10], "pass");
  // Shown in µm: value, unit and tolerance; the stored row keeps its unit.
  const std::vector<std::string> um = ResultCells(t, t.rows()[3], kMicrometre);
  EXPECT_EQ(um[5], "25400");
  EXPECT_EQ(um[6], std::string(kMicrometre));
  EXPECT_EQ(um[8], "25400");
  EXPECT_EQ(um[9], "100");
  EXPECT_EQ(t.rows()[3].unit, "in");
}

// The label index behind the statistics follows every edit: after random
// appends, relabels, erasures, tolerance changes and clears, the statistics
// equal those computed plainly from the rows.
TEST(ResultsTable, StatisticsMatchAPlainComputationThroughEdits) {
  std::mt19937 random(7);
  ResultsTable t;
  const char* labels[] = {"a", "b", "c", "d"};
  const char* units[] = {"in", "cm", "px"};
  for (int step = 0; step < 600; ++step) {
    const int what = static_cast<int>(random() % 20);
    if (what < 14 || t.rows().empty()) {
      ResultRow r = Row("length", static_cast<double>(random() % 1000) / 10.0, labels[random() % 4]);
      r.unit = units[random() % 3];
      if (random() % 10 == 0) r.value = kUnknown;
      t.Add(r);
    } else if (what < 16) {
      t.Relabel(t.rows()[random() % t.rows().size()].number, labels[random() % 4]);
    } else if (what < 18) {
      t.Erase({t.rows()[random() % t.rows().size()].number});
    } else if (what < 19) {
      t.SetTolerance(labels[random() % 4], Tolerance(50.0, 10.0, units[random() % 2]));
    } else if (random() % 5 == 0) {
      t.Clear();
    }
    // The plain computation: labels in order of their first finite value.
    std::vector<std::string> order;
    for (const ResultRow& r : t.rows()) {
      if (std::isfinite(r.value) && std::find(order.begin(), order.end(), r.label) == order.end()) {
        order.push_back(r.label);
      }
    }
    const std::vector<LabelStatistics> stats = t.Statistics();
    ASSERT_EQ(stats.size(), order.size()) << "step " << step;
    for (size_t i = 0; i < order.size(); ++i) {
      const std::string unit = t.LabelUnit(order[i]);
      double sum = 0.0;
      uint32_t n = 0, out = 0;
      for (const ResultRow& r : t.rows()) {
        if (r.label != order[i] || !std::isfinite(r.value)) continue;
        const std::optional<UnitRatio> k = UnitRatioOf(r.unit, unit);
        if (!k) {
          ++out;
          continue;
        }
        sum += k->Apply(r.value);
        ++n;
      }
      ASSERT_EQ(stats[i].label, order[i]) << "step " << step;
      EXPECT_EQ(stats[i].n, n) << "step " << step;
      EXPECT_EQ(stats[i].left_out, out) << "step " << step;
      if (n > 0) {
        EXPECT_NEAR(stats[i].mean, sum / n, 1e-9) << "step " << step;
      }
    }
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
