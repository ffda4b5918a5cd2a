#pragma once

// Number-to-text rules for every number the station shows or writes to a DXF
// file. All conversions are exact (digits of the double's binary value,
// rounded half to even as C's printf does) and never depend on the locale.

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane {

// Longest text, including the terminating NUL, that the formatters produce.
inline constexpr size_t kNumberTextCapacity = 128;

// The general format with n significant digits (n is clamped to 1 .. 120):
// with e the decimal exponent after rounding, fixed notation when
// -1 <= e <= n - 1, else one digit, the point, the remaining digits and
// "e", the exponent's sign and three digits. Trailing zeros of the fraction
// are dropped but the point stays: 12 -> "12.", 0.05 (n = 3) -> "5.e-002".
// Infinities and NaN come out as "inf", "-inf" and "nan".
std::string FormatGeneral(double value, int32_t significant_digits);

// decimals = 0: the decimal integer trunc(value). Otherwise the general format
// with n = decimals + the number of integer digits (counting only up to 5),
// and a fixed-notation text padded with "0" to n + 1 characters: 2.0/3 ->
// "2.000", 0.5/3 -> "0.50", -2.5/3 -> "-2.50", 0.05/2 -> "5.e-002".
std::string FormatNumber(double value, int32_t decimals);

// As FormatNumber without allocating: writes the text and a NUL into `out`,
// which holds at least kNumberTextCapacity bytes, and returns the text length.
size_t FormatNumberTo(char* out, double value, int32_t decimals);

// A whole number and a fraction with the given denominator, truncated (not
// rounded) and reduced: 2.3/16 -> "2 1/4", 0.3/16 -> " 1/4", 2.5/16 -> "2 1/2".
// Denominator 0 gives the decimal integer trunc(value).
std::string FormatFraction(double value, uint32_t denominator);

}  // namespace orvane
