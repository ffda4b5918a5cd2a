#include "results/charts.h"

#include <algorithm>
#include <cmath>
#include <charconv>
#include <numbers>
#include <string_view>

#include "results/csv.h"

namespace orvane {

LabelSeries SeriesOf(const ResultsTable& table, const std::string& label) {
  LabelSeries s;
  s.label = label;
  s.unit = table.LabelUnit(label);
  s.tolerance = table.ToleranceIn(label, s.unit);
  for (const ResultRow& row : table.rows()) {
    if (row.label != label || !std::isfinite(row.value)) continue;
    const std::optional<UnitRatio> ratio = UnitRatioOf(row.unit, s.unit);
    if (!ratio) continue;
    s.values.push_back(ratio->Apply(row.value));
    s.numbers.push_back(row.number);
    s.times.push_back(row.time);
  }
  return s;
}

IndividualsChart IndividualsOf(const std::vector<double>& values) {
  IndividualsChart c;
  if (values.size() < 2) return c;
  double sum = 0.0, ranges = 0.0;
  for (size_t i = 0; i < values.size(); ++i) {
    sum += values[i];
    if (i > 0) ranges += std::fabs(values[i] - values[i - 1]);
  }
  c.centre = sum / double(values.size());
  c.mr_bar = ranges / double(values.size() - 1);
  c.ucl = c.centre + kIndividualsLimitFactor * c.mr_bar;
  c.lcl = c.centre - kIndividualsLimitFactor * c.mr_bar;
  c.mr_ucl = kMovingRangeLimitFactor * c.mr_bar;
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i] > c.ucl || values[i] < c.lcl) c.beyond.push_back(i);
  }
  return c;
}

double Histogram::CurveAt(double x) const {
  if (!(sd > 0.0)) return 0.0;
  const double z = (x - mean) / sd;
  return double(n) * width * std::exp(-0.5 * z * z) / (sd * std::sqrt(2.0 * std::numbers::pi));
}

Histogram HistogramOf(const std::vector<double>& values) {
  Histogram h;
  h.n = static_cast<uint32_t>(values.size());
  if (values.empty()) return h;
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  double sum = 0.0;
  for (double v : values) sum += v;
  h.mean = sum / double(h.n);
  if (h.n > 1) {
    double squares = 0.0;
    for (double v : values) squares += (v - h.mean) * (v - h.mean);
    h.sd = std::sqrt(squares / double(h.n - 1));
  }
  if (*hi == *lo) {
    // One bin around the value, as wide as a thousandth of it (or 1).
    h.width = *lo != 0.0 ? std::fabs(*lo) * 1e-3 : 1.0;
    h.low = *lo - h.width / 2.0;
    h.counts = {h.n};
    return h;
  }
  const size_t bins = std::min<size_t>(50, 1 + size_t(std::ceil(std::log2(double(h.n)))));
  h.low = *lo;
  h.width = (*hi - *lo) / double(bins);
  h.counts.assign(bins, 0);
  for (double v : values) {
    // The largest value closes the last bin.
    const size_t i = std::min(bins - 1, size_t((v - h.low) / h.width));
    ++h.counts[i];
  }
  return h;
}

namespace {

std::string Number(double v) {
  const std::string s = ResultNumber(v);
  return s.empty() ? "-" : s;
}

} // namespace

namespace {

// Decimals of a value's shortest text that reads back to it.
int DecimalsOf(double v) {
  char buffer[400];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed);
  const std::string_view text(buffer, r.ec == std::errc() ? size_t(r.ptr - buffer) : 0);
  const size_t point = text.find('.');
  return point == std::string_view::npos ? 0 : int(text.size() - point - 1);
}

} // namespace

std::string ChartFigure(double v, const std::vector<double>& values) {
  if (!std::isfinite(v)) return {};
  constexpr int kMost = 9;
  int given = 0;
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (double x : values) {
    if (!std::isfinite(x)) continue;
    given = std::max(given, std::min(kMost, DecimalsOf(x)));
    lo = std::min(lo, x), hi = std::max(hi, x);
  }
  int decimals = std::min(kMost, given + 1);
  // Values measured to full precision: three significant digits of their
  // spread say all a limit can.
  if (hi > lo) decimals = std::min(decimals, std::max(0, 2 - int(std::floor(std::log10(hi - lo)))));
  if (std::round(v * std::pow(10.0, decimals)) == 0.0) v = 0.0; // no "-0.000"
  char buffer[400];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  return r.ec == std::errc() ? std::string(buffer, r.ptr) : ResultNumber(v);
}

std::string ChartWords(const LabelSeries& series) {
  const IndividualsChart c = IndividualsOf(series.values);
  std::string beyond;
  for (size_t i : c.beyond) beyond += (beyond.empty() ? "" : ",") + std::to_string(series.numbers[i]);
  std::string out = "individuals n " + std::to_string(series.values.size()) + " centre " +
                    Number(c.centre) + " mr " + Number(c.mr_bar) + " ucl " + Number(c.ucl) +
                    " lcl " + Number(c.lcl) + " beyond " + (beyond.empty() ? "-" : beyond) + '\n';
  const Histogram h = HistogramOf(series.values);
  std::string counts;
  for (uint32_t k : h.counts) counts += (counts.empty() ? "" : ",") + std::to_string(k);
  out += "histogram low " + Number(h.n ? h.low : kUnknown) + " width " +
         Number(h.n ? h.width : kUnknown) + " counts " + (counts.empty() ? "-" : counts) +
         " mean " + Number(h.mean) + " sd " + Number(h.sd) + '\n';
  return out;
}

} // namespace orvane
