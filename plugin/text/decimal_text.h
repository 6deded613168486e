// Amounts as text with two decimals, as "%.2f" writes them but for an
// exact halfway value: the value's exact binary fraction rounded to the
// nearest hundredth, halfway away from zero (0.125 is "0.13", as Polish
// practice and the host's own formatting round half a grosz), a leading
// minus for a negative value (a negative zero and a value rounding to zero
// included), no grouping.
#pragma once

#include <cstddef>
#include <cstdint>

namespace q7 {

// The longest text: a minus, 309 digits, the point, two decimals, the terminator.
inline constexpr std::size_t two_decimals_size = 1 + 309 + 3 + 1;

// Writes the value into text; answers its length.
std::size_t format_two_decimals(double value, char (&text)[two_decimals_size]);

// A plot number as a text field holds it (at most width bytes of it): leading
// blanks, an optional sign, digits up to the first non-digit; 0 when there
// is none. A longer number wraps at 32 bits.
int32_t read_plot_number(const char* text, std::size_t width);

// The number at the start of a text, whatever locale the process has set:
// blanks, a sign right before the digits, digits with a decimal point or a
// decimal comma ("12.50" and "12,50" alike; a second one ends the number),
// an exponent ("1e2"; an "e" without digits is not one); 0 when the text
// does not begin with a number ("inf" and "nan" are none). The value is the
// double nearest to the number written, as the C library's strtod reads it
// in the "C" locale, when it runs under the plug-in's own x87 control word
// (53-bit precision), as every way in from the host sets it. Where the
// number ends goes into *end (the text's start when there is none).
double decimal_value(const char* text, const char** end = nullptr);

}  // namespace q7
