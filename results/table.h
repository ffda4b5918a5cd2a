// The results table: every measured value the station produces, in the order
// produced, with a label, a per-label tolerance and per-label statistics.
// Plain data and arithmetic; the station-bound part is in results/session.h.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "results/units.h"

namespace orvane {

inline constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

// Kinds of result, with the prefix of their default labels.
inline constexpr std::string_view kKindLength = "length";           // L1, L2 ...
inline constexpr std::string_view kKindAngle = "angle";             // A1 ...
inline constexpr std::string_view kKindDiameter = "diameter";       // D1 ...
inline constexpr std::string_view kKindCalibration = "calibration"; // CAL1 ...
inline constexpr std::string_view kKindDxf = "dxf";                 // DXF1 ...
inline constexpr std::string_view kKindEdge = "edge";               // E1 ...: a straight edge's direction
inline constexpr std::string_view kKindWidth = "width";             // W1 ...: a gauged width
inline constexpr std::string_view kKindCad = "cad";                 // CAD1 ...: a profile against its drawing

struct ResultRow {
  uint32_t number = 0;
  int64_t time = 0; // seconds since 1970-01-01 UTC
  std::string solution;
  std::string label;
  std::string kind;
  double value = 0.0;
  std::string unit;
  double uncertainty = kUnknown; // one standard uncertainty, in `unit`; NaN: not known
  std::string source;      // the camera or the still file's name
  std::string calibration; // the calibration in force, as text
  std::string note;        // distance, method, file and counts
  std::string part;        // the identity of the part measured; empty: none
  // Where the row is stored (results/db_sqlite.h): its id in RESULTS.DB
  // (0: not stored yet) and the part it measured (0: none).
  uint64_t stored_id = 0;
  uint64_t part_id = 0;
};

// A nominal value and the deviations of its limits: values within
// [nominal + lower, nominal + upper] pass. Symmetric (nominal +- t) when
// lower == -upper; a drawing's 10 +0.3/+0.1 has both above the nominal.
struct Tolerance {
  double nominal = 0.0;
  double upper = 0.0; // deviation of the upper limit
  double lower = 0.0; // deviation of the lower limit, never above `upper`
  // The unit of the nominal and the deviations; empty: the unit of the
  // label's first row.
  std::string unit;

  Tolerance() = default;
  // nominal +- tolerance.
  Tolerance(double nominal, double tolerance, std::string unit = {})
      : nominal(nominal), upper(tolerance), lower(-tolerance), unit(std::move(unit)) {}
  Tolerance(double nominal, double upper, double lower, std::string unit)
      : nominal(nominal), upper(upper), lower(lower), unit(std::move(unit)) {}

  bool symmetric() const { return lower == -upper; }
  double UpperLimit() const { return nominal + upper; }
  double LowerLimit() const { return nominal + lower; }
  bool operator==(const Tolerance&) const = default;
};

// Deviations as a user types them: "0.05" (+-0.05), or "+0.02/-0.01" with
// both signs written. False, and `t` untouched, for anything else (a negative
// symmetric tolerance, an upper deviation below the lower one, no number).
bool ParseDeviations(std::string_view text, Tolerance* t);
// The deviations as ParseDeviations reads them: "0.05" or "+0.02/-0.01".
std::string DeviationsText(const Tolerance& t);

enum class Verdict : uint32_t { None = 0, Pass = 1, Fail = 2 };

// The statistics of a label are taken in the label's unit: its tolerance's
// when that has one, else its first row's. Rows in another length unit are
// converted exactly; rows whose unit cannot be converted are left out and
// counted, never averaged in.
struct LabelStatistics {
  std::string label;
  std::string unit;
  uint32_t n = 0;
  double mean = kUnknown; // NaN without a value
  double sd = kUnknown;   // sample standard deviation; NaN below two values
  double min = kUnknown;
  double max = kUnknown;
  double range = kUnknown;
  // Process capability against the label's tolerance; NaN without a
  // tolerance or a spread.
  double cp = kUnknown;
  double cpk = kUnknown;
  // Rows left out because their unit does not convert to `unit`, and those
  // units, comma-separated ("px,deg").
  uint32_t left_out = 0;
  std::string left_out_units;
};

// The statistics shown in another unit (Cp and Cpk are ratios and stay);
// false, and `s` untouched, when its unit does not convert to `unit`.
bool ShowIn(LabelStatistics* s, std::string_view unit);

// A number that changes at every edit it guards and at every copy, so whoever
// remembers it knows whether anything but appending has happened since.
class Revision {
 public:
  Revision() : n_(Next()) {}
  Revision(const Revision&) : n_(Next()) {}
  Revision& operator=(const Revision&) {
    n_ = Next();
    return *this;
  }
  void Bump() { n_ = Next(); }
  uint64_t value() const { return n_; }

 private:
  static uint64_t Next();
  uint64_t n_;
};

class ResultsTable {
 public:
  // Numbers the row, gives it the pending label or the next default label
  // of its kind, and appends it. Returns the row as stored.
  const ResultRow& Add(ResultRow row);

  // The label the next result takes instead of its default (one result only).
  void SetNextLabel(std::string label) { next_label_ = std::move(label); }
  const std::string& next_label() const { return next_label_; }

  // Removes the rows with these numbers; numbers of later rows are kept.
  void Erase(const std::vector<uint32_t>& numbers);
  // Empties the table; numbering and default labels start again.
  void Clear();
  // Relabels row `number`; false when there is no such row.
  bool Relabel(uint32_t number, std::string label);

  // Row `number`, or null when there is none.
  ResultRow* Find(uint32_t number);
  // Moves the rows with these numbers out of the table, in table order.
  std::vector<ResultRow> Take(std::vector<uint32_t> numbers);
  // Moves rows (in number order) back in among the others by their numbers.
  void PutBack(std::vector<ResultRow> rows);
  // The numbering and default-label counters as a cleared table left them,
  // or as they were before it.
  void SetNumbering(std::map<std::string, uint32_t> counters, uint32_t next_number);

  void SetTolerance(const std::string& label, Tolerance t);
  void ClearTolerance(const std::string& label);
  // The label's tolerance as set (its unit may be empty).
  std::optional<Tolerance> ToleranceOf(const std::string& label) const;
  // The label's tolerance in `unit` (its unit filled in); nothing without a
  // tolerance or when it does not convert.
  std::optional<Tolerance> ToleranceIn(const std::string& label, std::string_view unit) const;
  // The unit a label's statistics and verdicts are taken in: its tolerance's,
  // else its first row's; empty for a label without either.
  std::string LabelUnit(const std::string& label) const;
  // Pass or fail of the row converted to its label's unit; None without a
  // tolerance, a finite value or a unit that converts.
  Verdict VerdictOf(const ResultRow& row) const;

  // One entry per label with a finite value, in the order each label's first
  // finite value appears.
  std::vector<LabelStatistics> Statistics() const;
  // One label's entry; nothing when it has no finite value.
  std::optional<LabelStatistics> StatisticsOf(const std::string& label) const;

  // Changes at every edit of existing rows (erase, relabel, clear, restore)
  // and every copy, never at Add: a view that saw revision R and N rows
  // shows the table again by taking rows N... when the revision is still R.
  uint64_t rows_revision() const { return rows_revision_.value(); }
  // Changes at every change of the tolerances.
  uint64_t tolerances_revision() const { return tolerances_revision_.value(); }

  const std::vector<ResultRow>& rows() const { return rows_; }
  const std::map<std::string, Tolerance>& tolerances() const { return tolerances_; }
  const std::map<std::string, uint32_t>& counters() const { return counters_; }
  uint32_t next_number() const { return next_number_; }

  // Options kept with the table.
  bool snap = false;       // measuring clicks move to the nearest edge
  bool append_csv = false; // every new row is appended to RESULTS.CSV
  bool precise_calibration = false; // Auto Calibration uses the precise ring calibration

  // Where row `index` (a position in rows()) is stored: nothing any view
  // shows, so no revision changes.
  void MarkStored(size_t index, uint64_t stored_id, uint64_t part_id) {
    rows_[index].stored_id = stored_id;
    rows_[index].part_id = part_id;
  }

  // Restoring a stored table (results/table_file.cpp).
  void Restore(std::vector<ResultRow> rows, std::map<std::string, Tolerance> tolerances,
               std::map<std::string, uint32_t> counters, uint32_t next_number);

 private:
  // Where each label's rows are, kept up to date as rows are appended and
  // built again after any other edit.
  struct LabelRows {
    std::vector<size_t> rows; // positions in rows_
    bool finite = false;      // has a finite value (and a place in order)
  };
  struct LabelIndex {
    std::unordered_map<std::string, LabelRows> labels;
    std::vector<std::string> order; // by first finite value
    uint64_t revision = 0;
    size_t indexed = 0; // rows_ taken in
  };
  const LabelIndex& Index() const;
  LabelStatistics Summarise(const std::string& label, const LabelRows& where) const;

  Revision rows_revision_;
  Revision tolerances_revision_;
  mutable LabelIndex index_;
  std::vector<ResultRow> rows_;
  std::map<std::string, Tolerance> tolerances_;
  std::map<std::string, uint32_t> counters_; // by default-label prefix
  uint32_t next_number_ = 1;
  std::string next_label_;
};

// The prefix of a kind's default labels ("L" for lengths, "R" for others).
std::string_view LabelPrefix(std::string_view kind);

} // namespace orvane
