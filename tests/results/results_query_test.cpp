// What the Results window reads of RESULTS.DB: rows and parts picked by a
// filter in SQL, read a window at a time exactly as stored, rows recorded
// later taken in, and statistics over the picked rows as the table takes them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/csv.h"
#include "results/query.h"
#include "results/session.h"
#include "support/station_fixture.h"

namespace orvane {
namespace {

constexpr int64_t kDay1 = 1796601600; // 2026-12-07T00:00:00Z

ResultRow Dim(const char* label, double v) {
  ResultRow r;
  r.kind = kKindLength;
  r.label = label;
  r.value = v;
  r.unit = "mm";
  return r;
}

void Part(Station& st, int64_t time, const char* number, const char* program, const char* verdict,
          std::vector<ResultRow> rows) {
  ResultsOf(st).now = [time] { return time; };
  PartRecord p;
  p.number = number;
  p.program = program;
  p.verdict = verdict;
  ASSERT_NE(AddPart(st, p, std::move(rows)).id, 0u);
}

// Rows 1 (a plain result), 2-3 part 1, 4-5 part 2, 6 part 3, 7 part "X7".
void Record(Station& st) {
  ResultsOf(st).now = [] { return kDay1 + 60; };
  AddResult(st, Dim("L1", 1.0));
  Part(st, kDay1 + 120, "1", "FLANGE", "pass", {Dim("D1", 10.0), Dim("D2", 5.0)});
  Part(st, kDay1 + 86400 + 5, "2", "FLANGE", "fail", {Dim("D1", 10.2), Dim("D2", 5.0)});
  Part(st, kDay1 + 86400 + 7, "3", "BRACKET", "pass", {Dim("D1", 9.9)});
  Part(st, kDay1 + 2 * 86400, "X7", "BRACKET", "fail", {Dim("D2", 4.9)});
}

std::vector<uint32_t> Numbers(ResultsSource& source, int64_t count) {
  std::vector<ShownRow> rows;
  EXPECT_TRUE(source.Read(0, count + 5, &rows)) << source.error();
  std::vector<uint32_t> out;
  for (const ShownRow& r : rows) out.push_back(r.row.number);
  return out;
}

TEST(ResultsQuery, FiltersPickRowsAndPartsInSql) {
  testing::StationFixture f;
  Record(f.station);
  const std::string me = ResultsStationName(f.station);
  ResultsFilter label, program, parts, from3, day2, day3, other, mine, both;
  label.label = "D1";
  program.program = "FLANGE";
  parts.part_first = 2;
  parts.part_last = 3;
  from3.part_first = 3;
  day2.time_first = kDay1 + 86400;
  day2.time_last = kDay1 + 2 * 86400 - 1;
  day3.time_first = kDay1 + 2 * 86400;
  other.station = "elsewhere";
  mine.station = me;
  both.label = "D2";
  both.program = "BRACKET";
  const struct {
    const char* what;
    ResultsFilter filter;
    std::vector<uint32_t> rows;
    PartCounts parts;
  } cases[] = {
      {"everything", {}, {1, 2, 3, 4, 5, 6, 7}, {4, 2, 2}},
      {"label", label, {2, 4, 6}, {3, 2, 1}},
      {"program", program, {2, 3, 4, 5}, {2, 1, 1}},
      {"part range", parts, {4, 5, 6}, {2, 1, 1}},
      {"open range, a number that is none", from3, {6}, {1, 1, 0}},
      {"one day", day2, {4, 5, 6}, {2, 1, 1}},
      {"from a day on", day3, {7}, {1, 0, 1}},
      {"another station", other, {}, {0, 0, 0}},
      {"this station", mine, {1, 2, 3, 4, 5, 6, 7}, {4, 2, 2}},
      {"label and program", both, {7}, {1, 0, 1}},
  };
  std::unique_ptr<ResultsSource> source = LocalResults(ResultsOf(f.station).db->handle(), ResultsStationName(f.station));
  for (const auto& c : cases) {
    const int64_t n = source->Select(c.filter);
    EXPECT_EQ(n, static_cast<int64_t>(c.rows.size())) << c.what << ": " << source->error();
    EXPECT_EQ(Numbers(*source, n), c.rows) << c.what;
    PartCounts counts;
    ASSERT_TRUE(source->Parts(&counts)) << c.what << ": " << source->error();
    EXPECT_EQ(counts.inspected, c.parts.inspected) << c.what;
    EXPECT_EQ(counts.passed, c.parts.passed) << c.what;
    EXPECT_EQ(counts.failed, c.parts.failed) << c.what;
  }
  EXPECT_EQ(source->Stations(), std::vector<std::string>{me});
}

// Windows of rows read back as the table holds them, cell for cell; the
// rows recorded after the selection come in at its end; the statistics of
// the values read are the table's own.
TEST(ResultsQuery, RowsReadAWindowAtATimeAsTheTableHoldsThem) {
  testing::StationFixture f;
  Record(f.station);
  ResultsTable& table = ResultsOf(f.station).table;
  table.SetTolerance("D1", Tolerance(10.0, 0.15));
  ASSERT_TRUE(SaveResults(f.station));
  std::unique_ptr<ResultsSource> source = LocalResults(ResultsOf(f.station).db->handle(), ResultsStationName(f.station));
  ASSERT_EQ(source->Select({}), 7);
  std::vector<ShownRow> rows;
  ASSERT_TRUE(source->Read(5, 10, &rows));
  ASSERT_EQ(rows.size(), 2u); // the window stops at the end
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(ResultCells(table, rows[i].row), ResultCells(table, table.rows()[5 + i]));
    EXPECT_EQ(rows[i].row.stored_id, table.rows()[5 + i].stored_id);
  }
  std::vector<ResultRow> values;
  ASSERT_TRUE(source->Values(&values));
  const std::vector<LabelStatistics> want = table.Statistics(), got = StatisticsOfRows(values, table.tolerances());
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].label, want[i].label);
    EXPECT_EQ(got[i].n, want[i].n);
    for (auto field : {&LabelStatistics::mean, &LabelStatistics::sd, &LabelStatistics::cp, &LabelStatistics::cpk}) {
      EXPECT_EQ(ResultNumber(got[i].*field), ResultNumber(want[i].*field)) << got[i].label;
    }
  }

  ResultsFilter d1;
  d1.label = "D1";
  ASSERT_EQ(source->Select(d1), 3);
  Part(f.station, kDay1 + 3 * 86400, "4", "FLANGE", "pass", {Dim("D1", 10.1), Dim("D2", 5.1)});
  AddResult(f.station, Dim("D2", 5.0));
  EXPECT_EQ(source->SelectNew(), 4);
  EXPECT_EQ(Numbers(*source, 4), (std::vector<uint32_t>{2, 4, 6, 8}));
}

TEST(ResultsQuery, FilterFieldsAndCounts) {
  // A text typed into one of the number and day fields.
  const struct {
    std::string FilterFields::*field;
    const char* text;
    bool ok;
  } cases[] = {
      {&FilterFields::part_first, "12", true},       {&FilterFields::part_first, "1x", false},
      {&FilterFields::part_last, "-3", false},        {&FilterFields::part_last, "", true},
      {&FilterFields::day_first, "2026-02-28", true}, {&FilterFields::day_first, "2026-02-30", false},
      {&FilterFields::day_last, "2026-1-01", false},  {&FilterFields::day_last, "2026-13-01", false},
      {&FilterFields::day_last, "-026-01-01", false},
  };
  for (const auto& c : cases) {
    FilterFields typed;
    typed.*c.field = c.text;
    ResultsFilter filter;
    filter.label = "kept";
    std::string bad;
    EXPECT_EQ(ParseFilterFields(typed, &filter, &bad), c.ok) << c.text;
    EXPECT_EQ(bad, c.ok ? "" : c.text);
    EXPECT_EQ(filter.label, c.ok ? "" : "kept") << c.text;
  }
  ResultsFilter f;
  ASSERT_TRUE(ParseFilterFields({"D1", "FLANGE", "", "10", "20", "2026-12-07", "2026-12-08"}, &f, nullptr));
  EXPECT_EQ(f.part_first, 10);
  EXPECT_EQ(f.part_last, 20);
  EXPECT_EQ(f.time_first, kDay1);
  EXPECT_EQ(f.time_last, kDay1 + 2 * 86400 - 1);

  EXPECT_EQ(PartCountsText({12, 10, 2}), "Parts: 12 inspected, 10 passed, 2 failed, yield 83.3 %");
  EXPECT_EQ(PartCountsText({3, 0, 3}), "Parts: 3 inspected, 0 passed, 3 failed, yield 0.0 %");
  EXPECT_EQ(PartCountsText({}), "");
}

} // namespace
} // namespace orvane
