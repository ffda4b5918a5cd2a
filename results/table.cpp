#include "results/table.h"

#include <algorithm>

namespace orvane {

std::string_view LabelPrefix(std::string_view kind) {
  if (kind == kKindLength) return "L";
  if (kind == kKindAngle) return "A";
  if (kind == kKindDiameter) return "D";
  if (kind == kKindCalibration) return "CAL";
  if (kind == kKindDxf) return "DXF";
  if (kind == kKindEdge) return "E";
  if (kind == kKindWidth) return "W";
  return "R";
}

const ResultRow& ResultsTable::Add(ResultRow row) {
  row.number = next_number_++;
  if (!next_label_.empty()) {
    row.label = std::move(next_label_);
    next_label_.clear();
  } else if (row.label.empty()) {
    const std::string prefix(LabelPrefix(row.kind));
    row.label = prefix + std::to_string(++counters_[prefix]);
  }
  rows_.push_back(std::move(row));
  return rows_.back();
}

void ResultsTable::Erase(const std::vector<uint32_t>& numbers) {
  std::erase_if(rows_, [&](const ResultRow& r) {
    return std::find(numbers.begin(), numbers.end(), r.number) != numbers.end();
  });
}

void ResultsTable::Clear() {
  rows_.clear();
  counters_.clear();
  next_number_ = 1;
}

bool ResultsTable::Relabel(uint32_t number, std::string label) {
  for (ResultRow& r : rows_) {
    if (r.number == number) {
      r.label = std::move(label);
      return true;
    }
  }
  return false;
}

std::optional<Tolerance> ResultsTable::ToleranceOf(const std::string& label) const {
  const auto it = tolerances_.find(label);
  if (it == tolerances_.end()) return std::nullopt;
  return it->second;
}

Verdict ResultsTable::VerdictOf(const ResultRow& row) const {
  const std::optional<Tolerance> t = ToleranceOf(row.label);
  if (!t || !std::isfinite(row.value)) return Verdict::None;
  // A value on a limit passes: the margin of a few units in the last place
  // keeps 1.9 within 2 +- 0.1, which binary arithmetic would put just outside.
  const double margin = 1e-12 * std::max({std::fabs(t->nominal), t->tolerance, 1.0});
  const double lower = t->nominal - t->tolerance - margin;
  const double upper = t->nominal + t->tolerance + margin;
  return row.value >= lower && row.value <= upper ? Verdict::Pass : Verdict::Fail;
}

std::vector<LabelStatistics> ResultsTable::Statistics() const {
  std::vector<LabelStatistics> out;
  std::vector<std::vector<double>> values;
  for (const ResultRow& r : rows_) {
    if (!std::isfinite(r.value)) continue;
    auto it = std::find_if(out.begin(), out.end(),
                           [&](const LabelStatistics& s) { return s.label == r.label; });
    if (it == out.end()) {
      out.push_back({});
      out.back().label = r.label;
      values.emplace_back();
      it = out.end() - 1;
    }
    values[it - out.begin()].push_back(r.value);
  }
  for (size_t i = 0; i < out.size(); ++i) {
    LabelStatistics& s = out[i];
    const std::vector<double>& v = values[i];
    s.n = static_cast<uint32_t>(v.size());
    double sum = 0.0;
    for (double x : v) sum += x;
    s.mean = sum / s.n;
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    s.min = *lo;
    s.max = *hi;
    s.range = s.max - s.min;
    if (s.n >= 2) {
      double squares = 0.0;
      for (double x : v) squares += (x - s.mean) * (x - s.mean);
      s.sd = std::sqrt(squares / (s.n - 1));
    }
    const std::optional<Tolerance> t = ToleranceOf(s.label);
    if (t && s.sd > 0.0) {
      const double upper = t->nominal + t->tolerance;
      const double lower = t->nominal - t->tolerance;
      s.cp = (upper - lower) / (6.0 * s.sd);
      s.cpk = std::min(upper - s.mean, s.mean - lower) / (3.0 * s.sd);
    }
  }
  return out;
}

void ResultsTable::Restore(std::vector<ResultRow> rows, std::map<std::string, Tolerance> tolerances,
                           std::map<std::string, uint32_t> counters, uint32_t next_number) {
  rows_ = std::move(rows);
  tolerances_ = std::move(tolerances);
  counters_ = std::move(counters);
  next_number_ = next_number;
  next_label_.clear();
}

} // namespace orvane
