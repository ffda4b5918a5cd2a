#include "results/grr.h"

#include <algorithm>
#include <cmath>

#include "results/csv.h"

namespace orvane {
namespace {

// The continued fraction of the incomplete beta function, evaluated by the
// modified Lentz method (Press et al., Numerical Recipes, 6.4).
double BetaFraction(double a, double b, double x) {
  constexpr double kTiny = 1e-300;
  constexpr double kEpsilon = 1e-15;
  const double qab = a + b, qap = a + 1.0, qam = a - 1.0;
  double c = 1.0;
  double d = 1.0 - qab * x / qap;
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1.0 / d;
  double h = d;
  for (int m = 1; m <= 1000; ++m) {
    const double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    h *= d * c;
    aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1.0) < kEpsilon) break;
  }
  return h;
}

// The regularised incomplete beta function I_x(a, b).
double IncompleteBeta(double a, double b, double x) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) +
                                a * std::log(x) + b * std::log1p(-x));
  if (x < (a + 1.0) / (a + b + 2.0)) return front * BetaFraction(a, b, x) / a;
  return 1.0 - front * BetaFraction(b, a, 1.0 - x) / b;
}

AnovaLine Line(double ss, double df) {
  AnovaLine l;
  l.ss = ss;
  l.df = df;
  if (df > 0) l.ms = ss / df;
  return l;
}

void Test(AnovaLine* line, const AnovaLine& against) {
  if (!(line->df > 0) || !(against.df > 0)) return;
  line->f = line->ms / against.ms;
  line->p = FDistributionUpperTail(line->f, line->df, against.df);
}

std::optional<std::string> CheckDesign(const std::vector<std::vector<std::vector<double>>>& x) {
  if (x.size() < 2) return "a study needs at least 2 parts";
  const size_t k = x[0].size();
  if (k < 1) return "a study needs at least 1 operator";
  const size_t r = x[0][0].size();
  if (r < 2) return "a study needs at least 2 trials of each part by each operator";
  for (size_t i = 0; i < x.size(); ++i) {
    if (x[i].size() != k) return "part " + std::to_string(i + 1) + " is not measured by every operator";
    for (size_t j = 0; j < k; ++j) {
      if (x[i][j].size() != r) {
        return "part " + std::to_string(i + 1) + ", operator " + std::to_string(j + 1) + " has " +
               std::to_string(x[i][j].size()) + " trials, not " + std::to_string(r);
      }
      for (double v : x[i][j]) {
        if (!std::isfinite(v)) return "a value of the study is not a number";
      }
    }
  }
  return std::nullopt;
}

// The sums of squares of the crossed design.
void SumsOfSquares(const std::vector<std::vector<std::vector<double>>>& x, GrrStudy* s) {
  const size_t n = s->parts, k = s->operators, r = s->trials;
  double grand = 0.0;
  std::vector<double> part(n, 0.0), op(k, 0.0);
  std::vector<std::vector<double>> cell(n, std::vector<double>(k, 0.0));
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < k; ++j) {
      for (double v : x[i][j]) cell[i][j] += v / double(r);
      part[i] += cell[i][j] / double(k);
      op[j] += cell[i][j] / double(n);
      grand += cell[i][j] / double(n * k);
    }
  }
  double ss_part = 0.0, ss_op = 0.0, ss_error = 0.0, ss_total = 0.0;
  for (size_t i = 0; i < n; ++i) ss_part += double(k * r) * (part[i] - grand) * (part[i] - grand);
  for (size_t j = 0; j < k; ++j) ss_op += double(n * r) * (op[j] - grand) * (op[j] - grand);
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < k; ++j) {
      for (double v : x[i][j]) {
        ss_error += (v - cell[i][j]) * (v - cell[i][j]);
        ss_total += (v - grand) * (v - grand);
      }
    }
  }
  // The interaction is what the cells' means vary beyond the parts and the
  // operators; clamped, as rounding may leave a hair below zero.
  const double ss_int = std::max(0.0, ss_total - ss_part - ss_op - ss_error);
  s->part = Line(ss_part, double(n - 1));
  s->operator_ = Line(ss_op, double(k - 1));
  s->interaction = Line(ss_int, double((n - 1) * (k - 1)));
  s->repeatability = Line(ss_error, double(n * k * (r - 1)));
  s->total = Line(ss_total, double(n * k * r - 1));
}

// F tests and variance components: with the interaction kept, parts and
// operators are tested against it; pooled, against the pooled error.
void Components(GrrStudy* s) {
  const double n = s->parts, k = s->operators, r = s->trials;
  Test(&s->interaction, s->repeatability);
  s->pooled = s->interaction.df > 0 && !(s->interaction.p <= kPoolInteractionAbove);
  const AnovaLine* error = &s->repeatability;
  if (s->pooled) {
    s->pooled_error = Line(s->interaction.ss + s->repeatability.ss,
                           s->interaction.df + s->repeatability.df);
    error = &s->pooled_error;
  }
  const AnovaLine& against = s->pooled || s->interaction.df == 0 ? *error : s->interaction;
  Test(&s->part, against);
  Test(&s->operator_, against);
  const double repeat = error->ms;
  const double inter = s->pooled || s->interaction.df == 0
                           ? 0.0
                           : std::max(0.0, (s->interaction.ms - repeat) / r);
  const double operators = s->operator_.df > 0 ? std::max(0.0, (s->operator_.ms - against.ms) / (n * r)) : 0.0;
  const double parts = std::max(0.0, (s->part.ms - against.ms) / (k * r));
  s->ev = std::sqrt(repeat);
  s->iv = std::sqrt(inter);
  // Reproducibility is the operators' share alone; the interaction is
  // reported beside it and counted in GRR.
  s->av = std::sqrt(operators);
  s->grr = std::sqrt(repeat + operators + inter);
  s->pv = std::sqrt(parts);
  s->tv = std::sqrt(repeat + operators + inter + parts);
  s->ndc_exact = s->grr > 0.0 ? 1.41 * s->pv / s->grr : kUnknown;
}

} // namespace

double FDistributionUpperTail(double f, double d1, double d2) {
  if (!(f > 0.0)) return 1.0;
  if (std::isinf(f)) return 0.0;
  return IncompleteBeta(d2 / 2.0, d1 / 2.0, d2 / (d2 + d1 * f));
}

std::optional<GrrStudy> AnalyseGrr(const std::vector<std::vector<std::vector<double>>>& x,
                                   std::string* why) {
  if (std::optional<std::string> problem = CheckDesign(x)) {
    if (why != nullptr) *why = *problem;
    return std::nullopt;
  }
  GrrStudy s;
  s.parts = static_cast<uint32_t>(x.size());
  s.operators = static_cast<uint32_t>(x[0].size());
  s.trials = static_cast<uint32_t>(x[0][0].size());
  SumsOfSquares(x, &s);
  Components(&s);
  return s;
}

} // namespace orvane

namespace orvane {
namespace {

// "name/PART/OPERATOR" split into part and operator; false for another label.
bool SplitStudyLabel(const std::string& label, const std::string& name, std::string* part,
                     std::string* op) {
  if (label.size() <= name.size() + 1 || label.compare(0, name.size(), name) != 0 ||
      label[name.size()] != '/') {
    return false;
  }
  const std::string rest = label.substr(name.size() + 1);
  const size_t slash = rest.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == rest.size() ||
      rest.find('/', slash + 1) != std::string::npos) {
    return false;
  }
  *part = rest.substr(0, slash);
  *op = rest.substr(slash + 1);
  return true;
}

size_t IndexOf(std::vector<std::string>* names, const std::string& name) {
  const auto it = std::find(names->begin(), names->end(), name);
  if (it != names->end()) return static_cast<size_t>(it - names->begin());
  names->push_back(name);
  return names->size() - 1;
}

} // namespace

std::optional<GrrStudy> GrrOfLabel(const ResultsTable& table, const std::string& name,
                                   std::string* why) {
  auto fail = [&](std::string text) {
    if (why != nullptr) *why = std::move(text);
    return std::nullopt;
  };
  std::vector<std::string> parts, operators;
  std::vector<std::vector<std::vector<double>>> x;
  std::string unit;
  bool any = false;
  for (const ResultRow& row : table.rows()) {
    std::string part, op;
    if (!SplitStudyLabel(row.label, name, &part, &op)) continue;
    if (!any) unit = row.unit;
    any = true;
    const std::optional<UnitRatio> ratio = UnitRatioOf(row.unit, unit);
    if (!ratio) {
      return fail("row " + std::to_string(row.number) + " is in " + row.unit + ", the study in " + unit);
    }
    const size_t i = IndexOf(&parts, part);
    const size_t j = IndexOf(&operators, op);
    if (x.size() < parts.size()) x.resize(parts.size());
    for (auto& p : x) p.resize(operators.size());
    x[i][j].push_back(ratio->Apply(row.value));
  }
  if (!any) return fail("no rows are labelled " + name + "/PART/OPERATOR");
  std::string problem;
  std::optional<GrrStudy> study = AnalyseGrr(x, &problem);
  if (!study) {
    // Say the cell by its names rather than by its place.
    for (size_t i = 0; i < x.size(); ++i) {
      for (size_t j = 0; j < operators.size(); ++j) {
        if (x[i][j].size() != x[0][0].size()) {
          return fail("part " + parts[i] + ", operator " + operators[j] + " has " +
                      std::to_string(x[i][j].size()) + " trials, part " + parts[0] + ", operator " +
                      operators[0] + " has " + std::to_string(x[0][0].size()));
        }
      }
    }
    return fail(problem);
  }
  study->unit = unit;
  // The study's name has no rows of its own: a tolerance without a unit is
  // in the study's unit.
  std::optional<Tolerance> t = table.ToleranceOf(name);
  if (t && !t->unit.empty()) t = table.ToleranceIn(name, unit);
  if (t) study->tolerance_width = t->UpperLimit() - t->LowerLimit();
  return study;
}

namespace {

std::string Number(double v) {
  const std::string s = ResultNumber(v);
  return s.empty() ? "-" : s;
}

std::string AnovaWords(const char* source, const AnovaLine& l) {
  std::string out = std::string("anova ") + source + " df " + Number(l.df) + " ss " + Number(l.ss);
  if (std::isfinite(l.ms)) out += " ms " + Number(l.ms);
  if (std::isfinite(l.f)) out += " f " + Number(l.f) + " p " + Number(l.p);
  return out + '\n';
}

} // namespace

std::string GrrText(const std::string& name, const GrrStudy& s) {
  std::string out = "study " + name + " parts " + std::to_string(s.parts) + " operators " +
                    std::to_string(s.operators) + " trials " + std::to_string(s.trials) +
                    " unit " + (s.unit.empty() ? "-" : s.unit) + " interaction " +
                    (s.interaction.df == 0 ? "none" : s.pooled ? "pooled" : "kept") + '\n';
  out += AnovaWords("parts", s.part);
  if (s.operators > 1) {
    out += AnovaWords("operators", s.operator_);
    out += AnovaWords("interaction", s.interaction);
  }
  out += AnovaWords("repeatability", s.repeatability);
  if (s.pooled) out += AnovaWords("pooled", s.pooled_error);
  out += AnovaWords("total", s.total);
  const std::pair<const char*, double> parts[] = {{"ev", s.ev},   {"av", s.av}, {"interaction", s.iv},
                                                  {"grr", s.grr}, {"pv", s.pv}, {"tv", s.tv}};
  for (const auto& [what, sd] : parts) {
    out += std::string(what) + " sd " + Number(sd) + " %tv " + Number(s.PercentOfTotal(sd)) +
           " %tolerance " + Number(s.PercentOfTolerance(sd)) + '\n';
  }
  out += "ndc " + Number(s.Ndc()) + " exact " + Number(s.ndc_exact) + '\n';
  return out;
}

} // namespace orvane
