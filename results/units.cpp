#include "results/units.h"

#include <charconv>
#include <cmath>

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

int UnitDecimals(std::string_view unit) {
  return unit == "in" ? 6 : unit == "cm" ? 5 : unit == kMicrometre ? 2 : 4;
}

std::string DecimalText(double v, int decimals) {
  if (!std::isfinite(v)) return "-";
  const double scale = std::pow(10.0, decimals);
  if (std::round(v * scale) == 0.0) v = 0.0; // no "-0.0000"
  char buffer[400];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("-");
}

} // namespace orvane
