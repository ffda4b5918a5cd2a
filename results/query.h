// What the Results window shows of a results database: the rows a filter
// picks, read a window at a time (a table of a million rows costs its
// row ids, not its rows), the counts of inspected parts, and the values the
// statistics need. The filter is applied in SQL, the same for the station's
// "RESULTS.DB" and for the results server (results/db_pg.h).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "results/table.h"

struct sqlite3;

namespace orvane {

class Station;

// Rows of one label, program and station, parts numbered within a range,
// taken within a time range; an empty field or range end picks everything.
struct ResultsFilter {
  std::string label;
  std::string program;
  std::string station;
  std::optional<int64_t> part_first, part_last; // part numbers, inclusive
  std::optional<int64_t> time_first, time_last; // seconds since 1970 UTC, inclusive

  bool empty() const { return *this == ResultsFilter{}; }
  bool operator==(const ResultsFilter&) const = default;
};

// A day "2026-12-08" as its first second (or, with `end`, its last) in UTC,
// as the table's times are shown. False for anything else.
bool ParseFilterDay(std::string_view text, bool end, int64_t* seconds);

// A filter as typed into the Results window's fields: part numbers as
// whole numbers, days as ParseFilterDay reads them, empty fields open.
struct FilterFields {
  std::string label, program, station;
  std::string part_first, part_last;
  std::string day_first, day_last;
};
// False, with the text that does not read in *bad, for a part number or a
// day that is not one (the filter then untouched).
bool ParseFilterFields(const FilterFields& fields, ResultsFilter* filter, std::string* bad);

// The inspected parts a filter picks (a label picks the parts that measured
// it), by their verdicts.
struct PartCounts {
  int64_t inspected = 0;
  int64_t passed = 0;
  int64_t failed = 0;
};
// "Parts: 12 inspected, 10 passed, 2 failed, yield 83.3 %"; empty without a part.
std::string PartCountsText(const PartCounts& counts);

// PartCountsText of every inspected part the station's database holds;
// empty without one, or without the database (orvane-batch's "print
// part-counts").
std::string StationPartCounts(Station& station);

// A row as a view shows it, with the station that recorded it (the
// server's rows; empty for the station's own).
struct ShownRow {
  ResultRow row;
  std::string station;
  // A server's row is judged by the tolerance its own station set for its
  // label (nothing: none), never by the local table's.
  bool remote = false;
  std::optional<Tolerance> tolerance;
};

// The cells of a shown row under ResultColumns() (results/csv.h), with
// lengths in `unit` when it is given: the station's own rows as
// ResultCells shows them against `table`, a server's against its own
// station's tolerance (whose unit, when its station left it empty, is the
// row's).
std::vector<std::string> ShownCells(const ResultsTable& table, const ShownRow& shown, std::string_view unit = {});

// Rows of a database under a filter, read on demand.
class ResultsSource {
 public:
  virtual ~ResultsSource() = default;
  // Picks the rows `filter` lets through, in number order (a server's by
  // station, then number); how many, or -1 when they could not be read
  // (error()).
  virtual int64_t Select(const ResultsFilter& filter) = 0;
  // Takes in the rows recorded since (numbered after the last picked);
  // how many are picked now, or -1.
  virtual int64_t SelectNew() = 0;
  // Picked rows [first, first + count).
  virtual bool Read(int64_t first, int64_t count, std::vector<ShownRow>* rows) = 0;
  // The label, value and unit of every picked row, in order.
  virtual bool Values(std::vector<ResultRow>* rows) = 0;
  virtual bool Parts(PartCounts* counts) = 0;
  // The stations whose rows the database holds, by name.
  virtual std::vector<std::string> Stations() = 0;
  const std::string& error() const { return error_; }

 protected:
  std::string error_;
};

// The station's own database, through its open connection (kept by the
// caller, used on the caller's thread); its rows are those of `station`.
std::unique_ptr<ResultsSource> LocalResults(sqlite3* db, const std::string& station);

// Every station's rows on the results server at `url` (a libpq connection
// string; results/server_query.cpp): one connection, made at the first read.
std::unique_ptr<ResultsSource> ServerResults(const std::string& url);

// Statistics per label of `rows` (label, value and unit), in the units and
// against the tolerances `tolerances` sets, as ResultsTable::Statistics
// takes them.
std::vector<LabelStatistics> StatisticsOfRows(std::vector<ResultRow> rows,
                                              const std::map<std::string, Tolerance>& tolerances);

// The WHERE conditions of a filter over results `r` joined to parts `p`
// (or, with `parts`, over parts `p` alone), with the values to bind in
// order; `placeholder` writes the n-th (from 1) parameter's marker. For
// the sources of both databases.
struct FilterSql {
  std::string where; // " AND ..." conditions, or empty
  bool needs_parts = false;
  std::vector<std::string> texts;   // the values, as text
  std::vector<bool> numbers;        // which values are integers
};
FilterSql FilterConditions(const ResultsFilter& filter, bool parts, bool server,
                           std::string (*placeholder)(size_t n));

} // namespace orvane
