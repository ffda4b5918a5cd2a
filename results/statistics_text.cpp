#include "results/statistics_text.h"

#include "results/csv.h"

namespace orvane {
namespace {

std::string Word(const std::string& s) { return s.empty() ? "-" : s; }

} // namespace

std::string StatisticsWords(const ResultsTable& table, const std::string& label) {
  LabelStatistics s;
  if (std::optional<LabelStatistics> found = table.StatisticsOf(label)) {
    s = std::move(*found);
  } else {
    s.unit = table.LabelUnit(label);
  }
  std::string out = "n " + std::to_string(s.n) + " mean " + Word(ResultNumber(s.mean)) + " sd " +
                    Word(ResultNumber(s.sd)) + " unit " + Word(s.unit);
  const std::pair<const char*, double> rest[] = {{"min", s.min},     {"max", s.max}, {"range", s.range},
                                                 {"cp", s.cp},       {"cpk", s.cpk}};
  for (const auto& [name, v] : rest) out += std::string(" ") + name + ' ' + Word(ResultNumber(v));
  out += " left-out " + std::to_string(s.left_out);
  if (s.left_out > 0) out += " left-out-units " + s.left_out_units;
  return out;
}

} // namespace orvane
