#include "results/table.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <iterator>

namespace orvane {
namespace {

bool ParseNumber(std::string_view s, double* out) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
  return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(*out);
}

// Shortest text that reads back to the same double.
std::string Shortest(double v) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, r.ptr);
}

std::string Signed(double v) { return (std::signbit(v) ? "" : "+") + Shortest(v); }

} // namespace

uint64_t Revision::Next() {
  static std::atomic<uint64_t> counter{0};
  return ++counter;
}

bool ParseDeviations(std::string_view text, Tolerance* t) {
  const size_t slash = text.find('/');
  double upper = 0.0, lower = 0.0;
  if (slash == std::string_view::npos) {
    if (!ParseNumber(text, &upper) || upper < 0.0) return false;
    lower = -upper;
  } else {
    const std::string_view u = text.substr(0, slash), l = text.substr(slash + 1);
    // Both signs written, so "+0.02/0.01" cannot be misread either way.
    const auto sign = [](std::string_view s) { return !s.empty() && (s[0] == '+' || s[0] == '-'); };
    if (!sign(u) || !sign(l) || !ParseNumber(u, &upper) || !ParseNumber(l, &lower) || lower > upper) {
      return false;
    }
  }
  t->upper = upper;
  t->lower = lower;
  return true;
}

std::string DeviationsText(const Tolerance& t) {
  if (t.symmetric()) return Shortest(t.upper);
  return Signed(t.upper) + "/" + Signed(t.lower);
}

bool ShowIn(LabelStatistics* s, std::string_view unit) {
  const std::optional<UnitRatio> r = UnitRatioOf(s->unit, unit);
  if (!r) return false;
  for (double* v : {&s->mean, &s->sd, &s->min, &s->max, &s->range}) *v = r->Apply(*v);
  s->unit = std::string(unit);
  return true;
}

std::string_view LabelPrefix(std::string_view kind) {
  if (kind == kKindLength) return "L";
  if (kind == kKindAngle) return "A";
  if (kind == kKindDiameter) return "D";
  if (kind == kKindCalibration) return "CAL";
  if (kind == kKindDxf) return "DXF";
  if (kind == kKindEdge) return "E";
  if (kind == kKindWidth) return "W";
  if (kind == kKindCad) return "CAD";
  return "R";
}

const ResultRow& ResultsTable::Add(ResultRow row) {
  row.number = next_number_++;
  // A new row: stored anew, whatever it was copied from.
  row.stored_id = 0;
  row.part_id = 0;
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
  std::vector<uint32_t> sorted = numbers;
  std::sort(sorted.begin(), sorted.end());
  std::erase_if(rows_, [&](const ResultRow& r) {
    return std::binary_search(sorted.begin(), sorted.end(), r.number);
  });
  rows_revision_.Bump();
}

void ResultsTable::Clear() {
  rows_.clear();
  counters_.clear();
  next_number_ = 1;
  rows_revision_.Bump();
}

bool ResultsTable::Relabel(uint32_t number, std::string label) {
  for (ResultRow& r : rows_) {
    if (r.number == number) {
      r.label = std::move(label);
      rows_revision_.Bump();
      return true;
    }
  }
  return false;
}

void ResultsTable::SetTolerance(const std::string& label, Tolerance t) {
  tolerances_[label] = std::move(t);
  tolerances_revision_.Bump();
}

void ResultsTable::ClearTolerance(const std::string& label) {
  tolerances_.erase(label);
  tolerances_revision_.Bump();
}

ResultRow* ResultsTable::Find(uint32_t number) {
  // Rows are kept in number order; a table read from an edited file may not
  // be, and is then searched from end to end.
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), number,
                                   [](const ResultRow& r, uint32_t n) { return r.number < n; });
  // The caller may change the row: views and the label index start again.
  rows_revision_.Bump();
  if (it != rows_.end() && it->number == number) return &*it;
  for (ResultRow& r : rows_) {
    if (r.number == number) return &r;
  }
  return nullptr;
}

std::vector<ResultRow> ResultsTable::Take(std::vector<uint32_t> numbers) {
  std::sort(numbers.begin(), numbers.end());
  std::vector<ResultRow> taken;
  std::vector<ResultRow> kept;
  kept.reserve(rows_.size());
  for (ResultRow& r : rows_) {
    const bool take = std::binary_search(numbers.begin(), numbers.end(), r.number);
    (take ? taken : kept).push_back(std::move(r));
  }
  rows_ = std::move(kept);
  rows_revision_.Bump();
  return taken;
}

void ResultsTable::PutBack(std::vector<ResultRow> rows) {
  if (rows.empty()) return;
  std::vector<ResultRow> merged;
  merged.reserve(rows_.size() + rows.size());
  std::merge(std::make_move_iterator(rows_.begin()), std::make_move_iterator(rows_.end()),
             std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()),
             std::back_inserter(merged),
             [](const ResultRow& a, const ResultRow& b) { return a.number < b.number; });
  rows_ = std::move(merged);
  rows_revision_.Bump();
}

void ResultsTable::SetNumbering(std::map<std::string, uint32_t> counters, uint32_t next_number) {
  counters_ = std::move(counters);
  next_number_ = next_number;
}

std::optional<Tolerance> ResultsTable::ToleranceOf(const std::string& label) const {
  const auto it = tolerances_.find(label);
  if (it == tolerances_.end()) return std::nullopt;
  return it->second;
}

std::optional<Tolerance> ResultsTable::ToleranceIn(const std::string& label,
                                                   std::string_view unit) const {
  std::optional<Tolerance> t = ToleranceOf(label);
  if (!t) return std::nullopt;
  if (t->unit.empty()) t->unit = LabelUnit(label);
  const std::optional<UnitRatio> r = UnitRatioOf(t->unit, unit);
  if (!r) return std::nullopt;
  t->nominal = r->Apply(t->nominal);
  t->upper = r->Apply(t->upper);
  t->lower = r->Apply(t->lower);
  t->unit = std::string(unit);
  return t;
}

std::string ResultsTable::LabelUnit(const std::string& label) const {
  const auto t = tolerances_.find(label);
  if (t != tolerances_.end() && !t->second.unit.empty()) return t->second.unit;
  const LabelIndex& index = Index();
  const auto it = index.labels.find(label);
  return it == index.labels.end() ? std::string() : rows_[it->second.rows.front()].unit;
}

Verdict ResultsTable::VerdictOf(const ResultRow& row) const {
  const std::optional<Tolerance> t = ToleranceOf(row.label);
  if (!t || !std::isfinite(row.value)) return Verdict::None;
  const std::optional<UnitRatio> r = UnitRatioOf(row.unit, LabelUnit(row.label));
  if (!r) return Verdict::None;
  const double value = r->Apply(row.value);
  // A value on a limit passes: the margin of a few units in the last place
  // keeps 1.9 within 2 +- 0.1, which binary arithmetic would put just outside.
  const double margin = 1e-12 * std::max({std::fabs(t->nominal), std::fabs(t->upper), std::fabs(t->lower), 1.0});
  return value >= t->LowerLimit() - margin && value <= t->UpperLimit() + margin ? Verdict::Pass
                                                                                 : Verdict::Fail;
}

const ResultsTable::LabelIndex& ResultsTable::Index() const {
  if (index_.revision != rows_revision_.value() || index_.indexed > rows_.size()) {
    index_ = LabelIndex{};
    index_.revision = rows_revision_.value();
  }
  for (; index_.indexed < rows_.size(); ++index_.indexed) {
    const ResultRow& r = rows_[index_.indexed];
    LabelRows& where = index_.labels[r.label];
    where.rows.push_back(index_.indexed);
    if (!where.finite && std::isfinite(r.value)) {
      where.finite = true;
      index_.order.push_back(r.label);
    }
  }
  return index_;
}

LabelStatistics ResultsTable::Summarise(const std::string& label, const LabelRows& where) const {
  LabelStatistics s;
  s.label = label;
  s.unit = LabelUnit(label);
  std::vector<double> v;
  v.reserve(where.rows.size());
  // Rows of one label come in one unit or a few: each unit's ratio is
  // looked up once.
  std::vector<std::pair<std::string_view, std::optional<UnitRatio>>> ratios;
  for (size_t i : where.rows) {
    const ResultRow& r = rows_[i];
    if (!std::isfinite(r.value)) continue;
    auto known = std::find_if(ratios.begin(), ratios.end(), [&](const auto& u) { return u.first == r.unit; });
    if (known == ratios.end()) known = ratios.insert(ratios.end(), {r.unit, UnitRatioOf(r.unit, s.unit)});
    const std::optional<UnitRatio>& ratio = known->second;
    if (!ratio) {
      ++s.left_out;
      if (("," + s.left_out_units + ",").find("," + r.unit + ",") == std::string::npos) {
        s.left_out_units += (s.left_out_units.empty() ? "" : ",") + r.unit;
      }
      continue;
    }
    const double x = ratio->Apply(r.value);
    if (std::isfinite(x)) v.push_back(x);
  }
  s.n = static_cast<uint32_t>(v.size());
  if (v.empty()) return s;
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
  const std::optional<Tolerance> t = ToleranceOf(label);
  if (t && s.sd > 0.0) {
    s.cp = (t->upper - t->lower) / (6.0 * s.sd);
    s.cpk = std::min(t->UpperLimit() - s.mean, s.mean - t->LowerLimit()) / (3.0 * s.sd);
  }
  return s;
}

std::vector<LabelStatistics> ResultsTable::Statistics() const {
  const LabelIndex& index = Index();
  std::vector<LabelStatistics> out;
  out.reserve(index.order.size());
  for (const std::string& label : index.order) out.push_back(Summarise(label, index.labels.at(label)));
  return out;
}

std::optional<LabelStatistics> ResultsTable::StatisticsOf(const std::string& label) const {
  const LabelIndex& index = Index();
  const auto it = index.labels.find(label);
  if (it == index.labels.end() || !it->second.finite) return std::nullopt;
  return Summarise(label, it->second);
}

void ResultsTable::Restore(std::vector<ResultRow> rows, std::map<std::string, Tolerance> tolerances,
                           std::map<std::string, uint32_t> counters, uint32_t next_number) {
  rows_ = std::move(rows);
  tolerances_ = std::move(tolerances);
  counters_ = std::move(counters);
  next_number_ = next_number;
  next_label_.clear();
  rows_revision_.Bump();
  tolerances_revision_.Bump();
}

} // namespace orvane
