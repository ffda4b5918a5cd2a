#include "results/query.h"

#include <sqlite3.h>

#include <charconv>
#include <cstdio>
#include <ctime>

#include "results/csv.h"
#include "results/db_rows.h"
#include "results/session.h"

namespace orvane {

using sqlite_rows::kRowColumns;
using sqlite_rows::ReadRow;
using sqlite_rows::Statement;

bool ParseFilterDay(std::string_view text, bool end, int64_t* seconds) {
  int year = 0, month = 0, day = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  const auto number = [&](size_t at, size_t n, int* out) {
    if (text[at] < '0' || text[at] > '9') return false; // no sign
    const auto r = std::from_chars(text.data() + at, text.data() + at + n, *out);
    return r.ec == std::errc() && r.ptr == text.data() + at + n;
  };
  if (!number(0, 4, &year) || !number(5, 2, &month) || !number(8, 2, &day)) return false;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  const time_t t = timegm(&tm);
  // timegm carries 2026-02-30 into March: such a day is not one.
  if (tm.tm_mon != month - 1 || tm.tm_mday != day || month < 1 || month > 12) return false;
  *seconds = static_cast<int64_t>(t) + (end ? 86399 : 0);
  return true;
}

bool ParseFilterFields(const FilterFields& in, ResultsFilter* filter, std::string* bad) {
  ResultsFilter f;
  f.label = in.label;
  f.program = in.program;
  f.station = in.station;
  const auto part = [&](const std::string& text, std::optional<int64_t>* out) {
    if (text.empty()) return true;
    int64_t n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || n < 0) return false;
    *out = n;
    return true;
  };
  const auto day = [&](const std::string& text, bool end, std::optional<int64_t>* out) {
    int64_t t = 0;
    if (text.empty()) return true;
    if (!ParseFilterDay(text, end, &t)) return false;
    *out = t;
    return true;
  };
  const std::pair<const std::string*, bool> checks[] = {
      {&in.part_first, part(in.part_first, &f.part_first)}, {&in.part_last, part(in.part_last, &f.part_last)},
      {&in.day_first, day(in.day_first, false, &f.time_first)}, {&in.day_last, day(in.day_last, true, &f.time_last)}};
  for (const auto& [text, ok] : checks) {
    if (ok) continue;
    if (bad != nullptr) *bad = *text;
    return false;
  }
  *filter = std::move(f);
  return true;
}

std::string PartCountsText(const PartCounts& c) {
  if (c.inspected <= 0) return {};
  char yield[32];
  std::snprintf(yield, sizeof yield, "%.1f", 100.0 * static_cast<double>(c.passed) / static_cast<double>(c.inspected));
  return "Parts: " + std::to_string(c.inspected) + " inspected, " + std::to_string(c.passed) + " passed, " +
         std::to_string(c.failed) + " failed, yield " + yield + " %";
}

std::string StationPartCounts(Station& st) {
  ResultsSession& session = ResultsOf(st);
  if (!session.db) return {};
  std::unique_ptr<ResultsSource> source = LocalResults(session.db->handle(), ResultsStationName(st));
  PartCounts counts;
  return source->Select({}) >= 0 && source->Parts(&counts) ? PartCountsText(counts) : std::string();
}

std::vector<LabelStatistics> StatisticsOfRows(std::vector<ResultRow> rows,
                                              const std::map<std::string, Tolerance>& tolerances) {
  ResultsTable table;
  table.Restore(std::move(rows), tolerances, {}, 1);
  return table.Statistics();
}

std::vector<std::string> ShownCells(const ResultsTable& table, const ShownRow& shown, std::string_view unit) {
  if (!shown.remote) return ResultCells(table, shown.row, unit);
  ResultsTable own;
  if (shown.tolerance) {
    Tolerance t = *shown.tolerance;
    if (t.unit.empty()) t.unit = shown.row.unit;
    own.SetTolerance(shown.row.label, std::move(t));
  }
  return ResultCells(own, shown.row, unit);
}

FilterSql FilterConditions(const ResultsFilter& f, bool parts, bool server,
                           std::string (*placeholder)(size_t n)) {
  FilterSql out;
  const auto add = [&](const std::string& condition_before, const std::string& value, bool number,
                       const std::string& condition_after = {}) {
    out.texts.push_back(value);
    out.numbers.push_back(number);
    out.where += " AND " + condition_before + placeholder(out.texts.size()) +
                 (number && server ? "::bigint" : "") + condition_after;
  };
  if (!f.label.empty()) {
    if (!parts) {
      add("r.label = ", f.label, false);
    } else {
      add(server ? "EXISTS (SELECT 1 FROM results r WHERE r.station = p.station AND r.part = p.local_id AND r.label = "
                 : "EXISTS (SELECT 1 FROM results r WHERE r.part = p.id AND r.label = ",
          f.label, false, ")");
    }
  }
  if (!f.program.empty()) add("p.program = ", f.program, false);
  // The station's own database holds its rows alone: its source says
  // whether they are the station's asked for.
  if (!f.station.empty() && server) add(parts ? "p.station = " : "r.station = ", f.station, false);
  // A part's number is text (a program may read it off the part): only
  // numbers are in a range.
  const std::string part_number =
      server ? "(CASE WHEN p.number ~ '^[0-9]{1,18}$' THEN p.number::bigint END)"
             : "(CASE WHEN p.number <> '' AND p.number NOT GLOB '*[^0-9]*' AND length(p.number) <= 18 "
               "THEN CAST(p.number AS INTEGER) END)";
  if (f.part_first) add(part_number + " >= ", std::to_string(*f.part_first), true);
  if (f.part_last) add(part_number + " <= ", std::to_string(*f.part_last), true);
  const std::string taken = parts ? "p.taken_at" : "r.taken_at";
  if (f.time_first) add(taken + " >= ", std::to_string(*f.time_first), true);
  if (f.time_last) add(taken + " <= ", std::to_string(*f.time_last), true);
  out.needs_parts = parts || !f.program.empty() || f.part_first || f.part_last;
  return out;
}

namespace {

std::string Question(size_t) { return "?"; }

void Bind(Statement& s, const FilterSql& f, int first = 1) {
  for (size_t i = 0; i < f.texts.size(); ++i) {
    if (f.numbers[i]) {
      s.Int(first + static_cast<int>(i), std::stoll(f.texts[i]));
    } else {
      s.Text(first + static_cast<int>(i), f.texts[i]);
    }
  }
}

// The station's own database: the picked rows' ids are kept in order, and
// rows are read by id as they are shown.
class Local final : public ResultsSource {
 public:
  Local(sqlite3* db, std::string station) : db_(db), station_(std::move(station)) {}

  int64_t Select(const ResultsFilter& filter) override {
    picked_ = filter;
    filter_ = Conditions(false);
    ids_.clear();
    last_number_ = -1;
    return SelectNew();
  }

  int64_t SelectNew() override {
    const std::string sql = "SELECT r.id, r.number FROM results r" + Join() + " WHERE r.number > ?" +
                            filter_.where + " ORDER BY r.number, r.id";
    Statement s(db_, sql.c_str());
    if (!s.ok()) return Failed();
    s.Int(1, last_number_);
    Bind(s, filter_, 2);
    int step;
    while ((step = s.Step()) == SQLITE_ROW) {
      ids_.push_back(s.ColumnInt(0));
      last_number_ = s.ColumnInt(1);
    }
    return step == SQLITE_DONE ? static_cast<int64_t>(ids_.size()) : Failed();
  }

  bool Read(int64_t first, int64_t count, std::vector<ShownRow>* rows) override {
    if (read_ == nullptr) {
      const std::string sql = std::string("SELECT ") + kRowColumns + " FROM results WHERE id = ?";
      if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &read_, nullptr) != SQLITE_OK) return Failed() == 0;
    }
    rows->clear();
    for (int64_t i = first; i < first + count && i < static_cast<int64_t>(ids_.size()); ++i) {
      Statement s(read_);
      s.Int(1, ids_[static_cast<size_t>(i)]);
      if (s.Step() != SQLITE_ROW) return Failed() == 0;
      rows->emplace_back().row = ReadRow(s, 0);
      rows->back().row.stored_id = static_cast<uint64_t>(ids_[static_cast<size_t>(i)]);
    }
    return true;
  }

  bool Values(std::vector<ResultRow>* rows) override {
    const std::string sql = "SELECT r.label, r.value, r.unit FROM results r" + Join() + " WHERE 1" +
                            filter_.where + " ORDER BY r.number, r.id";
    Statement s(db_, sql.c_str());
    if (!s.ok()) return Failed() == 0;
    Bind(s, filter_);
    rows->clear();
    int step;
    while ((step = s.Step()) == SQLITE_ROW) {
      ResultRow& r = rows->emplace_back();
      r.label = s.ColumnText(0);
      r.value = s.ColumnReal(1);
      r.unit = s.ColumnText(2);
    }
    return step == SQLITE_DONE || Failed() == 0;
  }

  bool Parts(PartCounts* counts) override {
    const FilterSql f = Conditions(true);
    const std::string sql = "SELECT count(*), count(*) FILTER (WHERE p.verdict = 'pass'), "
                            "count(*) FILTER (WHERE p.verdict = 'fail') FROM parts p WHERE 1" + f.where;
    Statement s(db_, sql.c_str());
    if (!s.ok()) return Failed() == 0;
    Bind(s, f);
    if (s.Step() != SQLITE_ROW) return Failed() == 0;
    *counts = {s.ColumnInt(0), s.ColumnInt(1), s.ColumnInt(2)};
    return true;
  }

  std::vector<std::string> Stations() override { return {station_}; }

  ~Local() override { sqlite3_finalize(read_); }

 private:
  std::string Join() const { return filter_.needs_parts ? " LEFT JOIN parts p ON p.id = r.part" : ""; }
  FilterSql Conditions(bool parts) const {
    FilterSql f = FilterConditions(picked_, parts, false, Question);
    if (!picked_.station.empty() && picked_.station != station_) f.where += " AND 0";
    return f;
  }
  int64_t Failed() {
    error_ = sqlite3_errmsg(db_);
    return -1;
  }

  sqlite3* db_;
  std::string station_;
  sqlite3_stmt* read_ = nullptr;
  FilterSql filter_;
  ResultsFilter picked_;
  std::vector<int64_t> ids_;
  int64_t last_number_ = -1;
};

} // namespace

std::unique_ptr<ResultsSource> LocalResults(sqlite3* db, const std::string& station) {
  return std::make_unique<Local>(db, station);
}

} // namespace orvane
