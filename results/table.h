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
#include <vector>

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
};

// A nominal value and a symmetric tolerance: values within
// [nominal - tolerance, nominal + tolerance] pass.
struct Tolerance {
  double nominal = 0.0;
  double tolerance = 0.0;
};

enum class Verdict : uint32_t { None = 0, Pass = 1, Fail = 2 };

struct LabelStatistics {
  std::string label;
  uint32_t n = 0;
  double mean = 0.0;
  double sd = kUnknown; // sample standard deviation; NaN below two values
  double min = 0.0;
  double max = 0.0;
  double range = 0.0;
  // Process capability against the label's tolerance; NaN without a
  // tolerance or a spread.
  double cp = kUnknown;
  double cpk = kUnknown;
};

class ResultsTable {
 public:
  // Numbers the row, gives it the pending label or the next default label
  // of its kind, and appends it. Returns the row as stored.
  const ResultRow& Add(ResultRow row);

  // The label the next result takes instead of its default (one result only).
  void SetNextLabel(std::string label) { next_label_ = std::move(label); }

  // Removes the rows with these numbers; numbers of later rows are kept.
  void Erase(const std::vector<uint32_t>& numbers);
  // Empties the table; numbering and default labels start again.
  void Clear();
  // Relabels row `number`; false when there is no such row.
  bool Relabel(uint32_t number, std::string label);

  void SetTolerance(const std::string& label, Tolerance t) { tolerances_[label] = t; }
  void ClearTolerance(const std::string& label) { tolerances_.erase(label); }
  std::optional<Tolerance> ToleranceOf(const std::string& label) const;
  Verdict VerdictOf(const ResultRow& row) const;

  // One entry per label, in the order each label first appears.
  std::vector<LabelStatistics> Statistics() const;

  const std::vector<ResultRow>& rows() const { return rows_; }
  const std::map<std::string, Tolerance>& tolerances() const { return tolerances_; }
  const std::map<std::string, uint32_t>& counters() const { return counters_; }
  uint32_t next_number() const { return next_number_; }

  // Options kept with the table.
  bool snap = false;       // measuring clicks move to the nearest edge
  bool append_csv = false; // every new row is appended to RESULTS.CSV

  // Restoring a stored table (results/table_file.cpp).
  void Restore(std::vector<ResultRow> rows, std::map<std::string, Tolerance> tolerances,
               std::map<std::string, uint32_t> counters, uint32_t next_number);

 private:
  std::vector<ResultRow> rows_;
  std::map<std::string, Tolerance> tolerances_;
  std::map<std::string, uint32_t> counters_; // by default-label prefix
  uint32_t next_number_ = 1;
  std::string next_label_;
};

// The prefix of a kind's default labels ("L" for lengths, "R" for others).
std::string_view LabelPrefix(std::string_view kind);

} // namespace orvane
