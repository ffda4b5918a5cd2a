// Gauge repeatability and reproducibility by the analysis of variance: n
// parts, each measured r times by each of k operators (a crossed, balanced,
// random-effects study), as the automotive measurement-system analysis
// defines it.
//
// The station's convention for a study of the dimension NAME: its rows are
// labelled "NAME/PART/OPERATOR" (for example "D1/P3/A"); a part's and an
// operator's names are any text without a slash; the trials of a part and an
// operator are their rows in table order. The tolerance of NAME (when set)
// gives the share of the tolerance.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "results/table.h"

namespace orvane {

// An interaction whose p value is above this is pooled into repeatability,
// as the measurement-system manuals' worked examples do and as common
// practice sets the level.
inline constexpr double kPoolInteractionAbove = 0.25;

// One line of the ANOVA table. F and p are NaN where the line has none
// (repeatability, total, or a term without degrees of freedom).
struct AnovaLine {
  double ss = 0.0;
  double df = 0.0;
  double ms = kUnknown;
  double f = kUnknown;
  double p = kUnknown;
};

struct GrrStudy {
  uint32_t parts = 0;
  uint32_t operators = 0;
  uint32_t trials = 0;
  std::string unit;
  AnovaLine part, operator_, interaction, repeatability, total;
  // Repeatability with the interaction pooled into it (when `pooled`).
  AnovaLine pooled_error;
  bool pooled = false;
  // Standard deviations of the components (negative variance estimates are
  // taken as zero): repeatability (EV), reproducibility (AV), interaction,
  // the gauge (GRR, with the interaction), part variation and the total.
  double ev = 0.0, av = 0.0, iv = 0.0, grr = 0.0, pv = 0.0, tv = 0.0;
  // 100 * component / TV, and 100 * 6 * component / (upper - lower limit)
  // (NaN without a tolerance).
  double PercentOfTotal(double sd) const { return tv > 0.0 ? 100.0 * sd / tv : kUnknown; }
  double tolerance_width = kUnknown;
  double PercentOfTolerance(double sd) const {
    return tolerance_width > 0.0 ? 100.0 * 6.0 * sd / tolerance_width : kUnknown;
  }
  // Number of distinct categories: 1.41 * PV / GRR, truncated (NaN when
  // the gauge shows no variation at all); the unrounded value too.
  double ndc_exact = kUnknown;
  double Ndc() const { return std::isfinite(ndc_exact) ? std::floor(ndc_exact) : kUnknown; }
};

// The study of x[part][operator][trial]; nothing (with the reason in *why)
// when the design is not crossed and balanced, has fewer than 2 parts, 1
// operator or 2 trials, or holds a value that is not finite.
std::optional<GrrStudy> AnalyseGrr(const std::vector<std::vector<std::vector<double>>>& x,
                                   std::string* why);

// The study of the rows labelled "name/PART/OPERATOR", in the unit of its
// first row (rows in other units are converted; a row whose unit does not
// convert is refused with the reason).
std::optional<GrrStudy> GrrOfLabel(const ResultsTable& table, const std::string& name,
                                   std::string* why);

// The upper tail of the F distribution with d1 and d2 degrees of freedom: the
// p value of an observed F.
double FDistributionUpperTail(double f, double d1, double d2);

// The study as lines of words for scripts (see orvane-batch(1), "grr").
std::string GrrText(const std::string& name, const GrrStudy& s);

} // namespace orvane
