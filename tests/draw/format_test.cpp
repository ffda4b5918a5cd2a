#include "draw/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace orvane {
namespace {

// A slow, obviously correct oracle for the general format: take the rounded
// digits and the exponent from printf's %.*e and lay them out by the rule.
std::string ReferenceGeneral(double value, int n, bool* fixed = nullptr) {
  char sci[512];
  std::snprintf(sci, sizeof sci, "%.*e", n - 1, value);
  std::string text(sci);
  const size_t e_pos = text.find('e');
  const int e = std::atoi(text.c_str() + e_pos + 1);
  std::string mantissa = text.substr(0, e_pos);
  const bool negative = mantissa[0] == '-';
  std::string digits;
  for (char c : mantissa) {
    if (c >= '0' && c <= '9') digits += c;
  }
  std::string out = negative ? "-" : "";
  const bool is_fixed = e >= -1 && e <= n - 1;
  if (fixed != nullptr) *fixed = is_fixed;
  std::string whole, fraction;
  if (is_fixed) {
    whole = e < 0 ? "0" : digits.substr(0, e + 1);
    fraction = e < 0 ? digits : digits.substr(e + 1);
  } else {
    whole = digits.substr(0, 1);
    fraction = digits.substr(1);
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  out += whole + "." + fraction;
  if (!is_fixed) {
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%c%03d", e < 0 ? '-' : '+', std::abs(e));
    out += exponent;
  }
  return out;
}

std::string ReferenceNumber(double value, int decimals) {
  if (decimals == 0) {
    char text[64];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(std::trunc(value)));
    return text;
  }
  int n = decimals;
  for (double limit : {1.0, 10.0, 100.0, 1000.0, 10000.0}) n += std::fabs(value) >= limit;
  bool fixed;
  std::string text = ReferenceGeneral(value, n, &fixed);
  if (fixed) {
    while (text.size() < static_cast<size_t>(n) + 1) text += '0';
  }
  return text;
}

TEST(FormatNumber, RequestedExamples) {
  EXPECT_EQ(FormatNumber(2.0, 3), "2.000");
  EXPECT_EQ(FormatNumber(7.9, 0), "7");
  EXPECT_EQ(FormatNumber(-7.9, 0), "-7");
  EXPECT_EQ(FormatNumber(0.05, 2), "5.e-002");
  EXPECT_EQ(FormatNumber(2.5, 3), "2.500");
  EXPECT_EQ(FormatNumber(12.3456, 2), "12.35");
  EXPECT_EQ(FormatNumber(0.5, 3), "0.50");
  EXPECT_EQ(FormatNumber(-2.5, 3), "-2.50");
  EXPECT_EQ(FormatNumber(12.25, 9), "12.250000000");
  EXPECT_EQ(FormatNumber(0.0, 9), "0.00000000");
  EXPECT_EQ(FormatNumber(24.0, 5), "24.00000");
}

TEST(FormatNumber, IntegerDigitsCountOnlyUpToFive) {
  EXPECT_EQ(FormatNumber(12345.678, 2), "12345.68");
  // Six integer digits with n = 2 + 5 = 7 leave one decimal.
  EXPECT_EQ(FormatNumber(123456.78, 2), "123456.8");
  EXPECT_EQ(FormatNumber(12345678.0, 2), "1.234568e+007");
}

TEST(FormatNumber, RoundingCanCarryIntoANewDigit) {
  // n = 4 from |v| >= 1; the rounded value has two integer digits.
  EXPECT_EQ(FormatNumber(9.9996, 3), "10.00");
  // 0.0996 rounds to 0.1 (exponent -1): fixed notation again.
  EXPECT_EQ(FormatNumber(0.0996, 2), "0.1");
  EXPECT_EQ(FormatNumber(0.0994, 2), "9.9e-002");
}

TEST(FormatNumber, WholeNumbersBeyondInt32AreNotWrapped) {
  EXPECT_EQ(FormatNumber(3000000000.7, 0), "3000000000");
  EXPECT_EQ(FormatNumber(-1e15 - 0.5, 0), "-1000000000000000");
  EXPECT_EQ(FormatNumber(1e20, 0), "100000000000000000000");
}

TEST(FormatNumber, OddInputsStayWithinTheBuffer) {
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN(), 3), "nan");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::infinity(), 0), "-inf");
  EXPECT_EQ(FormatNumber(1.5, -4), "2.");  // at least one significant digit
  EXPECT_EQ(FormatNumber(1e300, 0).substr(0, 2), "1.");
  char buffer[kNumberTextCapacity];
  for (double v : {1.0, -0.3, 1e-300, -1e300, 123456.0}) {
    const size_t length = FormatNumberTo(buffer, v, 500);
    EXPECT_LT(length, kNumberTextCapacity);
    EXPECT_EQ(std::strlen(buffer), length);
  }
}

TEST(FormatNumber, MatchesPrintfReferenceOnRandomValues) {
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-8, 8);
  std::uniform_int_distribution<int> decimals(0, 12);
  char buffer[kNumberTextCapacity];
  for (int i = 0; i < 200000; ++i) {
    double v = mantissa(random) * std::pow(10.0, exponent(random));
    // Short decimal values land on rounding ties and near-ties.
    if (i % 3 == 0) v = std::round(v * 1000.0) / 1000.0;
    const int d = decimals(random);
    FormatNumberTo(buffer, v, d);
    ASSERT_EQ(std::string(buffer), ReferenceNumber(v, d)) << "value " << v << " decimals " << d;
  }
}

TEST(FormatGeneral, KeepsThePointOfIntegralValues) {
  EXPECT_EQ(FormatGeneral(12.0, 7), "12.");
  EXPECT_EQ(FormatGeneral(11.894123456, 7), "11.89412");
  EXPECT_EQ(FormatGeneral(11.894123456, 9), "11.8941235");
  EXPECT_EQ(FormatGeneral(250.0, 9), "250.");
  EXPECT_EQ(FormatGeneral(-0.5, 7), "-0.5");
  EXPECT_EQ(FormatGeneral(0.0, 7), "0.");
  EXPECT_EQ(FormatGeneral(0.05, 7), "5.e-002");
  EXPECT_EQ(FormatGeneral(12345678.0, 7), "1.234568e+007");
  EXPECT_EQ(FormatGeneral(1.5e-300, 3), "1.5e-300");
}

TEST(FormatGeneral, RoundsTiesToEvenOnTheExactBinaryValue) {
  EXPECT_EQ(FormatGeneral(0.125, 2), "0.12");  // exactly halfway
  EXPECT_EQ(FormatGeneral(0.375, 2), "0.38");
  EXPECT_EQ(FormatGeneral(2.5, 1), "2.");
  EXPECT_EQ(FormatGeneral(3.5, 1), "4.");
  EXPECT_EQ(FormatGeneral(1.005, 3), "1.");  // 1.005 is stored just below the tie
}

TEST(FormatGeneral, MatchesPrintfOnRandomBitPatterns) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> digits(1, 40);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t bits = random();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    const int n = digits(random);
    bool fixed;
    const std::string expected = ReferenceGeneral(v, n, &fixed);
    ASSERT_EQ(FormatGeneral(v, n), expected) << "bits " << bits << " digits " << n;
    if (fixed) {
      // In its fixed range the rule is printf's "%#.*g" without trailing zeros.
      char text[512];
      std::snprintf(text, sizeof text, "%#.*g", n, v);
      std::string g(text);
      while (g.back() == '0') g.pop_back();
      ASSERT_EQ(expected, g);
    }
  }
}

TEST(FormatFraction, TruncatesAndReduces) {
  EXPECT_EQ(FormatFraction(2.3, 16), "2 1/4");
  EXPECT_EQ(FormatFraction(0.3, 16), " 1/4");
  EXPECT_EQ(FormatFraction(2.5, 16), "2 1/2");
  EXPECT_EQ(FormatFraction(2.99, 64), "2 63/64");
  EXPECT_EQ(FormatFraction(1.75, 4), "1 3/4");
  EXPECT_EQ(FormatFraction(6.0, 8), "6");
  EXPECT_EQ(FormatFraction(0.0, 32), "0");
  EXPECT_EQ(FormatFraction(-2.3, 16), "-2 1/4");
  EXPECT_EQ(FormatFraction(7.9, 0), "7");
  EXPECT_EQ(FormatFraction(0.6, 3), " 1/3");
}

TEST(FormatFraction, SmallAndNegativeValuesKeepAText) {
  // Below the smallest fraction the whole number 0 is shown, not nothing.
  EXPECT_EQ(FormatFraction(0.01, 4), "0");
  // Without a whole number the sign of a negative value goes on the fraction.
  EXPECT_EQ(FormatFraction(-0.25, 4), " -1/4");
}

}  // namespace
}  // namespace orvane
