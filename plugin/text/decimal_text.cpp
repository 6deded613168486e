#include "plugin/text/decimal_text.h"

#include <cstdint>
#include <cstring>

#include "fast_float/fast_float.h"

namespace q7 {
namespace {

// A non-negative integer in nine-digit limbs, the lowest first: large enough
// for a hundred times the largest double.
struct decimal_integer {
  static constexpr uint32_t limb_base = 1000000000;
  uint32_t limbs[36];
  int count = 0;

  // A value below 2^60, whose quotient by the limb base fits in 32 bits.
  explicit decimal_integer(uint64_t value) {
    limbs[count++] = static_cast<uint32_t>(value % limb_base);
    uint32_t rest = static_cast<uint32_t>(value / limb_base);
    while (rest != 0) {
      limbs[count++] = rest % limb_base;
      rest /= limb_base;
    }
  }

  // Multiplies by 2^shift, up to 29 bits at a pass: a limb below 2^30 times
  // 2^29 and a carry stay below 2^60, whose quotient by the limb base fits
  // in 32 bits.
  void shift_left(int shift) {
    while (shift > 0) {
      const int bits = shift < 29 ? shift : 29;
      shift -= bits;
      uint32_t carry = 0;
      for (int i = 0; i < count; ++i) {
        const uint64_t product = (static_cast<uint64_t>(limbs[i]) << bits) + carry;
        limbs[i] = static_cast<uint32_t>(product % limb_base);
        carry = static_cast<uint32_t>(product / limb_base);
      }
      while (carry != 0) {
        limbs[count++] = carry % limb_base;
        carry /= limb_base;
      }
    }
  }

  // The decimal digits, without leading zeros ("0" for zero); answers their number.
  std::size_t digits(char* out) const {
    std::size_t n = 0;
    char reversed[10];
    for (uint32_t top = limbs[count - 1]; n == 0 || top != 0; top /= 10) reversed[n++] = static_cast<char>('0' + top % 10);
    for (std::size_t i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
    for (int i = count - 2; i >= 0; --i) {
      uint32_t limb = limbs[i];
      for (int d = 8; d >= 0; --d) {
        out[n + static_cast<std::size_t>(d)] = static_cast<char>('0' + limb % 10);
        limb /= 10;
      }
      n += 9;
    }
    out[n] = 0;
    return n;
  }
};

}  // namespace

std::size_t format_two_decimals(double value, char (&text)[two_decimals_size]) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const bool negative = (bits >> 63) != 0;
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  // Infinities are named with their sign, not-a-number without one, as the
  // plug-in's Windows build has always written them.
  if (biased_exponent == 0x7FF) {
    const char* name = fraction ? "nan" : negative ? "-inf" : "inf";
    std::memcpy(text, name, std::strlen(name) + 1);
    return std::strlen(text);
  }

  // The value is mantissa · 2^exponent; the text shows hundredths, so the
  // integer wanted is mantissa · 100 · 2^exponent, rounded half away from zero.
  const uint64_t mantissa = biased_exponent ? fraction | uint64_t{1} << 52 : fraction;
  const int exponent = (biased_exponent ? biased_exponent : 1) - 1075;
  const uint64_t scaled = mantissa * 100;  // below 2^60
  uint64_t start = 0;                      // below a two-hundredth (scaled < 2^60 < half of 2^62): zero
  int doublings = 0;
  if (exponent >= 0) {
    start = scaled;
    doublings = exponent;
  } else if (-exponent < 62) {
    const int shift = -exponent;
    start = scaled >> shift;
    const uint64_t remainder = scaled & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    if (remainder >= half) ++start;
  }
  decimal_integer hundredths(start);
  hundredths.shift_left(doublings);

  char digits[two_decimals_size];
  const std::size_t n = hundredths.digits(digits);  // at least "0"
  std::size_t length = 0;
  if (negative) text[length++] = '-';
  if (n > 2) {
    std::memcpy(text + length, digits, n - 2);
    length += n - 2;
  } else {
    text[length++] = '0';  // at least one digit before the point
  }
  text[length++] = '.';
  text[length++] = n >= 2 ? digits[n - 2] : '0';
  text[length++] = digits[n - 1];
  text[length] = 0;
  return length;
}

namespace {

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int32_t read_plot_number(const char* text, std::size_t width) {
  std::size_t i = 0;
  while (i < width && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < width && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint32_t value = 0;  // unsigned: a long number wraps instead of overflowing
  for (; i < width && is_digit(text[i]); ++i) value = value * 10 + static_cast<uint32_t>(text[i] - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

double decimal_value(const char* text, const char** end) {
  if (end) *end = text;
  // The extent of the number is found here; the library is handed that
  // alone, with the decimal point it has, and turns it into the nearest
  // double. It would read words such as "inf" too, a minus but not a plus,
  // and one kind of point only.
  const char* p = text;
  while (is_blank(*p)) ++p;
  const char* number = p;
  if (*p == '+') number = ++p;
  else if (*p == '-') ++p;
  const char* digits = p;
  while (is_digit(*p)) ++p;
  bool any = p != digits;
  char point = '.';
  if (*p == '.' || *p == ',') {
    point = *p++;
    const char* fraction = p;
    while (is_digit(*p)) ++p;
    any = any || p != fraction;
  }
  if (!any) return 0.0;
  if ((*p == 'e' || *p == 'E') && (is_digit(p[1]) || ((p[1] == '-' || p[1] == '+') && is_digit(p[2])))) {
    p += is_digit(p[1]) ? 1 : 2;
    while (is_digit(*p)) ++p;
  }
  double value = 0.0;
  fast_float::from_chars_advanced(number, p, value,
                                  fast_float::parse_options(fast_float::chars_format::general, point));
  if (end) *end = p;
  return value;
}

}  // namespace q7
