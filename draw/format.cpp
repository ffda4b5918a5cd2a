#include "draw/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>

namespace orvane {
namespace {

// Keeps every text, sign, point and exponent included, within 127 characters.
constexpr int32_t kMaxSignificantDigits = 120;

size_t NonFinite(char* out, double value) {
  const char* text = std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
  const size_t length = std::strlen(text);
  std::memcpy(out, text, length + 1);
  return length;
}

// The decimal integer trunc(value). Values too large for 120 digits keep
// their magnitude in the general exponent form rather than wrapping around.
size_t IntegerTo(char* out, double value) {
  if (!std::isfinite(value)) return NonFinite(out, value);
  const double whole = std::trunc(value);
  char* end;
  if (std::fabs(whole) < 9.0e18) {
    end = std::to_chars(out, out + kNumberTextCapacity - 1, static_cast<int64_t>(whole)).ptr;
  } else if (std::fabs(whole) < 1e120) {
    end = std::to_chars(out, out + kNumberTextCapacity - 1, whole, std::chars_format::fixed, 0).ptr;
  } else {
    end = std::to_chars(out, out + kNumberTextCapacity - 1, whole, std::chars_format::scientific, 16).ptr;
  }
  *end = '\0';
  return static_cast<size_t>(end - out);
}

// The general format of `value` with n significant digits (see FormatGeneral).
// Sets *fixed to whether the text is in fixed notation.
size_t GeneralTo(char* out, double value, int32_t n, bool* fixed) {
  *fixed = false;
  if (!std::isfinite(value)) return NonFinite(out, value);
  n = std::clamp(n, 1, kMaxSignificantDigits);

  // The n rounded digits and the exponent after rounding, exactly as
  // printf's %.*e would give them: "-d.ddde+XX".
  char sci[kMaxSignificantDigits + 16];
  const char* sci_end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, n - 1).ptr;
  const char* p = sci;
  const bool negative = *p == '-';
  if (negative) ++p;
  char digits[kMaxSignificantDigits];
  int32_t count = 0;
  for (; *p != 'e'; ++p) {
    if (*p != '.') digits[count++] = *p;
  }
  ++p;  // 'e'
  const bool exponent_negative = *p == '-';
  int32_t e = 0;
  std::from_chars(p + 1, sci_end, e);
  if (exponent_negative) e = -e;

  char* o = out;
  if (negative) *o++ = '-';
  if (e >= -1 && e <= n - 1) {
    *fixed = true;
    int32_t next = 0;
    if (e < 0) {
      *o++ = '0';
    } else {
      std::memcpy(o, digits, static_cast<size_t>(e) + 1);
      o += e + 1;
      next = e + 1;
    }
    *o++ = '.';
    int32_t last = count;
    while (last > next && digits[last - 1] == '0') --last;
    std::memcpy(o, digits + next, static_cast<size_t>(last - next));
    o += last - next;
  } else {
    *o++ = digits[0];
    *o++ = '.';
    int32_t last = count;
    while (last > 1 && digits[last - 1] == '0') --last;
    std::memcpy(o, digits + 1, static_cast<size_t>(last - 1));
    o += last - 1;
    *o++ = 'e';
    *o++ = e < 0 ? '-' : '+';
    const int32_t magnitude = e < 0 ? -e : e;  // at most 324 for a double
    *o++ = static_cast<char>('0' + magnitude / 100);
    *o++ = static_cast<char>('0' + magnitude / 10 % 10);
    *o++ = static_cast<char>('0' + magnitude % 10);
  }
  *o = '\0';
  return static_cast<size_t>(o - out);
}

// Reduces numerator/denominator by the largest common divisor k with
// 2 <= k <= denominator / 2, as a search from denominator / 2 downwards would
// find it; k = 1 when there is none.
uint64_t ReductionDivisor(uint64_t numerator, uint64_t denominator) {
  if (denominator < 4) return 1;
  if (numerator == 0) return denominator / 2;
  const uint64_t g = std::gcd(numerator, denominator);
  if (g <= denominator / 2) return g < 2 ? 1 : g;
  // The common divisor is the denominator itself (the numerator is a multiple
  // of it): the largest proper divisor is denominator / smallest prime factor.
  for (uint64_t p = 2; p * p <= denominator; ++p) {
    if (denominator % p == 0) return denominator / p;
  }
  return 1;
}

size_t AppendUnsigned(char* out, uint64_t value) {
  return static_cast<size_t>(std::to_chars(out, out + 24, value).ptr - out);
}

}  // namespace

std::string FormatGeneral(double value, int32_t significant_digits) {
  char buffer[kNumberTextCapacity];
  bool fixed;
  const size_t length = GeneralTo(buffer, value, significant_digits, &fixed);
  return std::string(buffer, length);
}

size_t FormatNumberTo(char* out, double value, int32_t decimals) {
  if (decimals == 0) return IntegerTo(out, value);
  const double magnitude = std::fabs(value);
  int32_t n = decimals;
  for (double limit : {1.0, 10.0, 100.0, 1000.0, 10000.0}) {
    if (magnitude >= limit) ++n;
  }
  n = std::clamp(n, 1, kMaxSignificantDigits);
  bool fixed;
  size_t length = GeneralTo(out, value, n, &fixed);
  if (fixed) {
    const size_t target = static_cast<size_t>(n) + 1;
    while (length < target && length < kNumberTextCapacity - 1) out[length++] = '0';
    out[length] = '\0';
  }
  return length;
}

std::string FormatNumber(double value, int32_t decimals) {
  char buffer[kNumberTextCapacity];
  const size_t length = FormatNumberTo(buffer, value, decimals);
  return std::string(buffer, length);
}

std::string FormatFraction(double value, uint32_t denominator) {
  // Room for the longest whole number and the longest fraction together.
  char buffer[kNumberTextCapacity + 32];
  if (denominator == 0 || !std::isfinite(value)) {
    return std::string(buffer, IntegerTo(buffer, value));
  }
  const double whole = std::trunc(value);
  const double q = std::fabs(value - whole) * denominator;
  uint64_t numerator = static_cast<uint64_t>(q);  // q < denominator + 1
  uint64_t den = denominator;
  const uint64_t k = ReductionDivisor(numerator, den);
  numerator /= k;
  den /= k;

  size_t length = 0;
  // The whole number is shown unless a fraction follows it in its place, so
  // a value below the smallest fraction reads "0" rather than nothing.
  if (whole != 0.0 || numerator == 0) length = IntegerTo(buffer, value);
  if (numerator != 0) {
    buffer[length++] = ' ';
    // With no whole number shown, the sign of a negative value goes on the fraction.
    if (whole == 0.0 && value < 0) buffer[length++] = '-';
    length += AppendUnsigned(buffer + length, numerator);
    buffer[length++] = '/';
    length += AppendUnsigned(buffer + length, den);
  }
  return std::string(buffer, length);
}

}  // namespace orvane
