// Amount texts with two decimals must be byte for byte what the C library's
// "%.2f" writes, on every value a document can hold: the rounding of exact
// binary fractions (ties included), the sign of zero, the full digits of the
// largest amounts, and the values the C library names.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "plugin/fees/decimal_text.h"

namespace q7 {
namespace {

std::string ours(double value) {
  char text[two_decimals_size];
  const std::size_t length = format_two_decimals(value, text);
  EXPECT_EQ(length, std::strlen(text));
  return text;
}

std::string library(double value) {
  char text[400];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

double from_bits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(DecimalText, WritesWhatTheLibraryWritesForTheEdgesOfRoundingAndRange) {
  const double values[] = {
      0.0, -0.0, 0.004, 0.005, 0.0051, -0.004, -0.005, 0.015, 0.125, 0.375, -0.125, 2.675, 1.005,
      0.995, 9.995, 99.995, 126.0, 1260000.0 / 10000.0, 12345.678, -12345.675, 0.01, 0.1, 1.0,
      9007199254740992.0, 9007199254740993.0, 18446744073709551616.0, 1e15 + 0.5, 1e21, 1e22,
      1e23, 1.5e300, -3.7e200, DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN, DBL_TRUE_MIN, -DBL_TRUE_MIN,
      INFINITY, -INFINITY, NAN, std::ldexp(1.0, 62) * 100, std::ldexp(1.0, -61), std::ldexp(3.0, -62),
      std::ldexp(1.0, -8) * 3, 0.625, 1.0 / 200, 3.0 / 200, 5.0 / 8,
  };
  for (double value : values) EXPECT_EQ(ours(value), library(value)) << "value " << value;
}

TEST(DecimalText, WritesWhatTheLibraryWritesForAnyBitsAndForEveryDayAmounts) {
  std::mt19937_64 random(20261207);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t bits = random();
    const double any = from_bits(bits);
    ASSERT_EQ(ours(any), library(any)) << "bits " << std::hex << bits;
    // Amounts as documents hold them: whole hundredths of up to ten million
    // złoty, scaled by 10000 and back, and halves of a hundredth.
    const double cents = static_cast<double>(static_cast<int64_t>(random() % 2000000001) - 1000000000);
    const double amount = cents * 100.0 / 10000.0;
    ASSERT_EQ(ours(amount), library(amount)) << "amount " << amount;
    const double half = (cents + 0.5) / 100.0;
    ASSERT_EQ(ours(half), library(half)) << "half " << half;
  }
}

}  // namespace
}  // namespace q7
