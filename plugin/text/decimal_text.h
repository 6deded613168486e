// Amounts as text with two decimals, exactly as "%.2f" writes them: the
// value's exact binary fraction rounded half to even, a leading minus for a
// negative value (a negative zero and a value rounding to zero included), no
// grouping. The C library's formatting of a large amount converts all of its
// up to 309 digits through general multi-precision arithmetic; this does the
// same work directly, in at most 34 passes over up to 35 nine-digit limbs.
#pragma once

#include <cstddef>

namespace q7 {

// The longest text: a minus, 309 digits, the point, two decimals, the terminator.
inline constexpr std::size_t two_decimals_size = 1 + 309 + 3 + 1;

// Writes the value into text; answers its length.
std::size_t format_two_decimals(double value, char (&text)[two_decimals_size]);

}  // namespace q7
