#include "results/units.h"

namespace orvane {
namespace {

// Micrometres in one unit of length; 0 for anything else.
double Micrometres(std::string_view unit) {
  if (unit == "in") return 25400.0;
  if (unit == "cm") return 10000.0;
  if (unit == kMillimetre) return 1000.0;
  if (unit == kMicrometre) return 1.0;
  return 0.0;
}

} // namespace

bool IsLengthUnit(std::string_view unit) { return Micrometres(unit) > 0.0; }

std::optional<UnitRatio> UnitRatioOf(std::string_view from, std::string_view to) {
  if (from == to) return UnitRatio{};
  if (IsLengthUnit(from) && IsLengthUnit(to)) return UnitRatio{Micrometres(from), Micrometres(to)};
  // A scale per length: pixels per inch are fewer pixels per centimetre.
  constexpr std::string_view kPer = "px/";
  if (from.starts_with(kPer) && to.starts_with(kPer)) {
    const double f = Micrometres(from.substr(kPer.size()));
    const double t = Micrometres(to.substr(kPer.size()));
    if (f > 0.0 && t > 0.0) return UnitRatio{t, f};
  }
  return std::nullopt;
}

std::string CanonicalUnit(std::string_view unit) {
  if (unit == "um") return std::string(kMicrometre);
  return std::string(unit);
}

} // namespace orvane
