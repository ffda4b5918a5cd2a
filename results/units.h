// Units of the results table: a row keeps the unit it was measured in, and
// whatever compares or averages rows converts them exactly to one unit first.
// Lengths (in, cm, mm, µm) convert among themselves, and so do scales per
// length ("px/in", "px/cm", ...); any other unit only matches itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvane {

inline constexpr std::string_view kMillimetre = "mm";
inline constexpr std::string_view kMicrometre = "\xC2\xB5m"; // U+00B5 MICRO SIGN, then m

// What takes a value from one unit to another: value * times / over, both
// whole numbers of micrometres, so 1 in is 25.4 mm exactly and a unit
// converted to itself is the value unchanged.
struct UnitRatio {
  double times = 1.0;
  double over = 1.0;
  double Apply(double v) const { return v * times / over; }
};

// The ratio from `from` to `to`; nothing when one cannot be converted into
// the other (px and in, deg and mm).
std::optional<UnitRatio> UnitRatioOf(std::string_view from, std::string_view to);

bool IsLengthUnit(std::string_view unit);

// A unit as typed, with "um" spelled as the table spells it (µm).
std::string CanonicalUnit(std::string_view unit);

// The decimals a value in `unit` is printed with: about a thousandth of a
// pixel at the scales a station is calibrated to (6 for in, 5 for cm, 2
// for µm, else 4).
int UnitDecimals(std::string_view unit);
// `v` with `decimals` decimals, whatever the locale; a value that rounds to
// zero has no sign; "-" for a number not known.
std::string DecimalText(double v, int decimals);

} // namespace orvane
