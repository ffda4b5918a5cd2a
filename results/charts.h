// The figures behind a label's two charts: the individuals (run) chart with
// its control limits from the moving range, and the histogram with the
// tolerance limits and the fitted normal curve. Plain arithmetic; painting
// is the front end's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "results/table.h"

namespace orvane {

// The bias-correction constant of moving ranges of two: 3 / d2 with
// d2 = 1.128, as the control-chart tables round it.
inline constexpr double kIndividualsLimitFactor = 2.66;
// The upper limit of the moving-range chart: D4 for ranges of two.
inline constexpr double kMovingRangeLimitFactor = 3.267;

// A label's values in table (time) order, in the label's unit.
struct LabelSeries {
  std::string label;
  std::string unit;
  std::vector<double> values;
  std::vector<uint32_t> numbers; // the rows' numbers
  std::vector<int64_t> times;    // the rows' times
  std::optional<Tolerance> tolerance; // in `unit`
};

// The label's rows with a finite value whose unit converts to the label's
// unit (LabelUnit), in table order.
LabelSeries SeriesOf(const ResultsTable& table, const std::string& label);

struct IndividualsChart {
  double centre = kUnknown;   // the mean
  double mr_bar = kUnknown;   // mean moving range of successive values
  double ucl = kUnknown;      // centre + 2.66 MR-bar
  double lcl = kUnknown;      // centre - 2.66 MR-bar
  double mr_ucl = kUnknown;   // 3.267 MR-bar
  std::vector<size_t> beyond; // indices of the values outside [lcl, ucl]
};

// Limits need two values; with fewer the figures stay NaN.
IndividualsChart IndividualsOf(const std::vector<double>& values);

struct Histogram {
  double low = 0.0;   // left edge of the first bin
  double width = 1.0; // of every bin
  std::vector<uint32_t> counts;
  uint32_t n = 0;
  double mean = kUnknown;
  double sd = kUnknown; // sample standard deviation; NaN below two values
  // The fitted normal curve as an expected count per bin at x (0 without a
  // spread).
  double CurveAt(double x) const;
};

// Sturges' number of bins (1 + ceil(log2 n), at most 50) spanning the
// values; a single value or equal values get one bin.
Histogram HistogramOf(const std::vector<double>& values);

// A figure drawn from `values` (a centre line, a control limit) as a chart
// labels it: one decimal more than the most any value has (up to 9 in all),
// never the ten significant digits a limit's arithmetic leaves.
std::string ChartFigure(double v, const std::vector<double>& values);

// The two charts' figures as words for scripts:
//   individuals n N centre C mr M ucl U lcl L beyond I,J,... (row numbers)
//   histogram low X width W counts C,C,... mean M sd S
std::string ChartWords(const LabelSeries& series);

} // namespace orvane
