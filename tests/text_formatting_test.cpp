// The plug-in writes its numbers itself, and every text must be byte for
// byte what the C library's printf writes: amounts with two decimals on
// every value a document can hold (the rounding of exact binary fractions,
// the sign of zero, the full digits of the largest amounts, the values the
// C library names), and each format of the plug-in's texts. One difference
// is wanted: a value exactly halfway between two grosze (0.125) is rounded
// away from zero, as a bookkeeper rounds, where printf rounds it to even.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "plugin/text/decimal_text.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {

std::string ours(double value) {
  char text[two_decimals_size];
  const std::size_t length = format_two_decimals(value, text);
  EXPECT_EQ(length, std::strlen(text));
  return text;
}

// Not-a-number is "nan" whatever its sign bit, as the toolchain's library
// for Windows writes it (the native one writes "-nan" for some).
std::string library(double value) {
  if (std::isnan(value)) return "nan";
  char text[400];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

// Whether the value lies exactly halfway between two hundredths: an odd
// number of two-hundredths. The product is exact in the x87 unit's 64 bits.
bool exact_tie(double value) {
  if (!std::isfinite(value)) return false;
  const long double twice_hundredths = static_cast<long double>(value) * 200;
  return twice_hundredths == std::floor(twice_hundredths) && std::fmod(twice_hundredths, 2.0L) != 0;
}

// What the plug-in must write: printf's digits, but an exact tie rounded
// away from zero (the next double out from it is printed as printf would).
std::string expected(double value) {
  return exact_tie(value) ? library(std::nextafter(value, std::copysign(INFINITY, value))) : library(value);
}

double from_bits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

TEST(DecimalText, WritesWhatTheLibraryWritesForTheEdgesOfRoundingAndRange) {
  const double values[] = {
      0.0, -0.0, -NAN, 0.004, 0.005, 0.0051, -0.004, -0.005, 0.015, 0.125, 0.375, -0.125, 2.675, 1.005,
      0.995, 9.995, 99.995, 126.0, 1260000.0 / 10000.0, 12345.678, -12345.675, 0.01, 0.1, 1.0,
      9007199254740992.0, 9007199254740993.0, 18446744073709551616.0, 1e15 + 0.5, 1e21, 1e22,
      1e23, 1.5e300, -3.7e200, DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN, DBL_TRUE_MIN, -DBL_TRUE_MIN,
      INFINITY, -INFINITY, NAN, std::ldexp(1.0, 62) * 100, std::ldexp(1.0, -61), std::ldexp(3.0, -62),
      std::ldexp(1.0, -8) * 3, 0.625, 1.0 / 200, 3.0 / 200, 5.0 / 8,
  };
  for (double value : values) EXPECT_EQ(ours(value), expected(value)) << "value " << value;
}

TEST(DecimalText, RoundsAnExactHalfGroszAwayFromZeroAndNothingElse) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.125, "0.13"}, {0.375, "0.38"}, {2.625, "2.63"}, {-0.125, "-0.13"}, {-2.625, "-2.63"},
      {0.875, "0.88"}, {1e-3, "0.00"}, {-1e-3, "-0.00"}, {0.135, "0.14"}, {2.675, "2.67"},
      {std::nextafter(0.125, 0.0), "0.12"}, {std::nextafter(0.125, 1.0), "0.13"},
      {std::nextafter(-0.125, 0.0), "-0.12"}, {std::nextafter(2.625, 0.0), "2.62"},
      {1099511627775.875, "1099511627775.88"}, {0.5, "0.50"}, {0.25, "0.25"},
  };
  for (const auto& c : cases) EXPECT_EQ(ours(c.value), c.text) << "value " << c.value;
}

TEST(DecimalText, WritesWhatTheLibraryWritesForAnyBitsAndForEveryDayAmounts) {
  std::mt19937_64 random(20261207);
  for (int i = 0; i < 100000; ++i) {
    const uint64_t bits = random();
    const double any = from_bits(bits);
    ASSERT_EQ(ours(any), expected(any)) << "bits " << std::hex << bits;
    // Amounts as documents hold them: whole hundredths of up to ten million
    // złoty, scaled by 10000 and back, and halves of a hundredth.
    const double cents = static_cast<double>(static_cast<int64_t>(random() % 2000000001) - 1000000000);
    const double amount = cents * 100.0 / 10000.0;
    ASSERT_EQ(ours(amount), expected(amount)) << "amount " << amount;
    const double half = (cents + 0.5) / 100.0;
    ASSERT_EQ(ours(half), expected(half)) << "half " << half;
    // Eighths of a złoty: every one of an odd count is an exact tie.
    const double eighths = static_cast<double>(static_cast<int64_t>(random() % 2000001) - 1000000) / 8;
    ASSERT_EQ(ours(eighths), expected(eighths)) << "eighths " << eighths;
  }
}

// The formats of the plug-in's texts (fee lines, titles, the report's lines,
// the messages it fills itself), filled both ways over values at the edges
// of their widths, and cut by a small buffer as snprintf cuts them.
template <class... Values>
void expect_as_library(const char* format, Values... values) {
  for (std::size_t size : {std::size_t{256}, std::size_t{12}, std::size_t{1}}) {
    char ours[256], theirs[256];
    std::memset(ours, '#', sizeof ours);
    const std::size_t length = format_text(ours, size, format, values...);
    std::snprintf(theirs, size, format, values...);
    EXPECT_STREQ(ours, theirs) << "format \"" << format << "\" in " << size << " bytes";
    EXPECT_EQ(length, std::strlen(ours));
  }
}

TEST(FormattedText, FillsEachFormatOfThePluginsTextsAsPrintfDoes) {
  const double amounts[] = {0.0, -0.0, 0.005, 114.0, 1234.565, -7.5, 99999.995, 1e12, -1e300};
  const int numbers[] = {0, 7, -7, 300, 2011, 32767, -32768, INT32_MAX, INT32_MIN};
  for (double a : amounts) {
    for (int n : numbers) {
      expect_as_library("%d %s%4d*%5.2f=%3.2f", n, "woda", n, a, a);
      expect_as_library("%d %s %8.2f", n, "centr.ogrz.", a);
      expect_as_library("%d %s%12.2f", n, "konserw.", a);
      expect_as_library("%d %s%7.2f", n, "woda pop. rok", a);
      expect_as_library("%-25.25s\t%3d\t%10s\t%8s\t", "Anna Nowak", n, "11.03.20", "114.00");
    }
    expect_as_library("%.2f%%", a);
  }
  expect_as_library("%-25.25s|%3s|%s", "a name longer than twenty-five characters", "Nr", "");
  expect_as_library("\x01tp25p40\x01%s\t%d\t%u\n", "K_stan", 1048, 4294967295u);
  expect_as_library("%s", static_cast<const char*>("Zainstalowano wtyczkę: Ogrody działkowe"));
}

// A field of a host record may fill its width with no terminator after it:
// with a precision, the text is read no further than the precision.
TEST(FormattedText, ReadsATextNoFurtherThanItsPrecision) {
  const char field[4] = {'A', 'B', 'C', 'D'};  // no terminator
  char out[16];
  EXPECT_EQ(format_text(out, "[%-6.4s]", field), 8u);
  EXPECT_STREQ(out, "[ABCD  ]");
  EXPECT_EQ(format_text(out, "%5.2f|%q|%", 1.0), 10u);  // not a conversion of the plug-in's: left as written
  EXPECT_STREQ(out, " 1.00|%q|%");
}

}  // namespace
}  // namespace q7
