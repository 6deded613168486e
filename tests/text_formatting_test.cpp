// The plug-in writes its numbers itself, and every text must be byte for
// byte what the C library's printf writes: amounts with two decimals on
// every value a document can hold (the rounding of exact binary fractions,
// the sign of zero, the full digits of the largest amounts, the values the
// C library names), and each format of the plug-in's texts; but an exact
// halfway value rounds away from zero, as Polish practice rounds half a grosz.
// It reads a decimal number without the locale, to the double the C
// library's strtod reads in the "C" locale, a decimal comma taken as a point.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <random>
#include <string>

#include "plugin/text/decimal_text.h"
#include "plugin/text/formatted_text.h"
#include "tests/support.h"

namespace q7 {
namespace {

std::string ours(double value) {
  char text[two_decimals_size];
  const std::size_t length = format_two_decimals(value, text);
  EXPECT_EQ(length, std::strlen(text));
  return text;
}

// Not-a-number is "nan" whatever its sign bit, as the toolchain's library
// for Windows writes it (the native one writes "-nan" for some). A value
// exactly halfway between two hundredths (8 times it is an odd whole
// number: 0.125, 2.625) is rounded away from zero, where the library
// rounds to even.
std::string library(double value) {
  if (std::isnan(value)) return "nan";
  char text[400];
  const double eighths = value * 8;
  if (std::isfinite(eighths) && eighths == std::floor(eighths) && std::fmod(eighths, 2.0) != 0) {
    std::snprintf(text, sizeof text, "%.3f", value);  // exact: ends in 5
    std::string up(text, std::strlen(text) - 1);
    std::size_t at = up.size();
    while (at-- > 0 && up[at] != '-') {
      if (up[at] == '.') continue;
      if (up[at] != '9') return ++up[at], up;
      up[at] = '0';
    }
    return up.insert(up[0] == '-' ? 1 : 0, "1");
  }
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

TEST(DecimalText, RoundsAnExactHalfOfAHundredthAwayFromZero) {
  EXPECT_EQ(ours(0.125), "0.13");
  EXPECT_EQ(ours(-0.125), "-0.13");
  EXPECT_EQ(ours(2.625), "2.63");
  EXPECT_EQ(ours(1.005), "1.00");  // not exactly halfway in binary: below it
  EXPECT_EQ(ours(0.375), "0.38");
  EXPECT_EQ(ours(9.875), "9.88");
  EXPECT_EQ(ours(-999.995), library(-999.995));
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

// What a reader made of a text: the value and how many bytes it read.
struct reading {
  double value;
  long length;
  bool operator==(const reading& other) const {
    return std::memcmp(&value, &other.value, sizeof value) == 0 && length == other.length;
  }
};

reading our_reading(const std::string& text) {
  const char* end;
  const double value = decimal_value(text.c_str(), &end);
  return {value, end - text.c_str()};
}

// The C library's strtod in the "C" locale, the first comma made a point.
reading library_reading(std::string text) {
  if (const std::size_t comma = text.find(','); comma != std::string::npos) text[comma] = '.';
  char* end;
  const double value = std::strtod(text.c_str(), &end);
  return {value, end - text.c_str()};
}

// Where a number ends, and what strtod would take that a heating number is not.
TEST(DecimalReading, TakesASignedDecimalNumberAndStopsWhereItEnds) {
  const test::plugin_x87_word x87;
  const struct {
    const char* text;
    reading read;
  } rows[] = {
      {"12,50", {12.5, 5}},   {"12.5x", {12.5, 4}},    {" \t-7.5", {-7.5, 6}}, {"- 7.5", {0.0, 0}},
      {"+2.5", {2.5, 4}},     {"+-5", {0.0, 0}},       {"1.2.5", {1.2, 3}},     {"1,2.5", {1.2, 3}},
      {",5", {0.5, 2}},       {"5.", {5.0, 2}},        {".", {0.0, 0}},         {"", {0.0, 0}},
      {"1e", {1.0, 1}},       {"1e+", {1.0, 1}},       {"2E-1x", {0.2, 4}},     {"inf", {0.0, 0}},
      {"-infinity", {0.0, 0}}, {"nan", {0.0, 0}},      {"0x1p3", {0.0, 1}},     {"-0", {-0.0, 2}},
  };
  for (const auto& row : rows) EXPECT_EQ(our_reading(row.text), row.read) << '"' << row.text << '"';
}

// Numbers as a person or a program may write them: mantissas of 1 to 40
// digits, with exponents far beyond a double's range and at its edges,
// doubles written to every precision, numbers exactly halfway between two
// doubles and just off it, with a point or a comma and any sign.
class number_source {
 public:
  std::string next(long i) {
    const char* signs[] = {"", "-", "+"};
    std::string text = signs[random_() % 3];
    switch (i % 4) {
      case 0: text += written(digits(1 + random_() % 40), 0, false) + exponent(); break;
      case 1: text += double_written(); break;
      case 2: text += halfway(); break;
      default: text += written(digits(1 + random_() % 40), 0, true) + "e" + std::to_string(edge_exponent()); break;
    }
    if (random_() % 2)
      if (const std::size_t point = text.find('.'); point != std::string::npos) text[point] = ',';
    return text;
  }

 private:
  std::string digits(std::size_t n) {
    std::string d;
    while (d.size() < n) d += static_cast<char>('0' + random_() % 10);
    return d;
  }
  // d · 10^-fraction, its point anywhere (leading zeros and all) or after its first digit.
  std::string written(const std::string& d, std::size_t fraction, bool scientific) {
    if (scientific) {
      const long e = static_cast<long>(d.size()) - 1 - static_cast<long>(fraction);
      return d.substr(0, 1) + "." + d.substr(1) + "e" + std::to_string(e);
    }
    if (fraction == 0) {
      const std::size_t at = random_() % (d.size() + 1);
      return d.substr(0, at) + (at < d.size() || random_() % 2 ? "." : "") + d.substr(at);
    }
    if (d.size() > fraction) return d.substr(0, d.size() - fraction) + "." + d.substr(d.size() - fraction);
    return "0." + std::string(fraction - d.size(), '0') + d;
  }
  std::string exponent() {
    const long ranges[] = {0, 30, 400, 100000};
    const long range = ranges[random_() % 4];
    if (range == 0) return random_() % 2 ? "" : "e4294967297";
    const long e = static_cast<long>(random_() % (2 * range + 1)) - range;
    return (random_() % 2 ? "e" : "E") + std::string(e >= 0 && random_() % 2 ? "+" : "") + std::to_string(e);
  }
  long edge_exponent() {  // near the largest double and the smallest ones
    const long edges[] = {308, -308, -324};
    return edges[random_() % 3] + static_cast<long>(random_() % 21) - 10;
  }
  std::string double_written() {
    double value;
    do {
      const uint64_t bits = random_();
      std::memcpy(&value, &bits, sizeof value);
    } while (!std::isfinite(value));
    char text[80];
    std::snprintf(text, sizeof text, "%.*e", static_cast<int>(random_() % 40), std::fabs(value));
    return text;
  }
  // (2m + 1) · 2^k for a double's significand m: halfway between m · 2^(k+1)
  // and the next double; or a unit of a further digit above it or below.
  std::string halfway() {
    const uint64_t m = uint64_t{1} << 52 | random_() >> 12;
    std::string d = std::to_string(2 * m + 1);
    const int k = static_cast<int>(random_() % 108) - 33;  // at most 40 digits
    for (int j = 0; j < std::abs(k); ++j) times(d, k > 0 ? 2 : 5);
    std::size_t fraction = k < 0 ? static_cast<std::size_t>(-k) : 0;
    const std::size_t room = d.size() < 40 ? 40 - d.size() : 0;
    if (const int nudge = static_cast<int>(random_() % 3); nudge != 0 && room > 0) {
      const std::size_t more = 1 + random_() % room;
      if (nudge == 1) {
        d += std::string(more - 1, '0') + "1";
      } else {
        std::size_t at = d.size();
        while (d[--at] == '0') d[at] = '9';
        --d[at];
        d += std::string(more, '9');
      }
      fraction += more;
    }
    return written(d, fraction, random_() % 2 != 0);
  }
  static void times(std::string& d, int by) {
    int carry = 0;
    for (auto digit = d.rbegin(); digit != d.rend(); ++digit) {
      const int v = (*digit - '0') * by + carry;
      *digit = static_cast<char>('0' + v % 10);
      carry = v / 10;
    }
    if (carry) d.insert(d.begin(), static_cast<char>('0' + carry));
  }

  std::mt19937_64 random_{20261208};
};

// Q7_READER_INPUTS numbers (100,000 unless set; ten million in the long
// test, tests/CMakeLists.txt) read as strtod reads them, to the bit and to
// the byte where it stops, with the plug-in's own control word.
TEST(DecimalReading, ReadsTheNearestDoubleAsTheCLibraryDoes) {
  const test::plugin_x87_word x87;
  const char* configured = std::getenv("Q7_READER_INPUTS");
  const long count = configured ? std::atol(configured) : 100000;
  number_source numbers;
  int wrong = 0;
  for (long i = 0; i < count && wrong < 10; ++i) {
    const std::string text = numbers.next(i);
    const reading ours = our_reading(text), theirs = library_reading(text);
    if (ours == theirs) continue;
    ++wrong;
    ADD_FAILURE() << std::setprecision(17) << '"' << text << "\": " << ours.value << " (" << ours.length << " bytes), strtod "
                  << theirs.value << " (" << theirs.length << " bytes)";
  }
  std::printf("%ld numbers read\n", count);
}

}  // namespace
}  // namespace q7
