// The plug-in's own printf-style formatting of its texts. The toolchain's
// C library formats floating-point numbers through code that makes locks
// and heap blocks on first use and registers their clean-up at exit, which
// a module in a foreign process never runs: they would outlive the module
// at unload. The plug-in formats every number itself instead.
//
// The conversions it writes are those its texts use, each exactly as printf
// writes it: %d and %i (int), %u (unsigned), %s (a text; null as "(null)"),
// %.2f (a double with two decimals, plugin/text/decimal_text.h) and %%,
// with the flag '-', a width and, for %s, a precision. Any other conversion
// is copied as it stands, so that a mistake shows in the text.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace q7 {

// Writes the format filled with the values into out, at most size - 1
// characters and a terminator (a longer text is cut, as snprintf cuts it);
// answers the length written. Nothing is written when size is 0.
std::size_t format_text_list(char* out, std::size_t size, const char* format, va_list values);
std::size_t format_text(char* out, std::size_t size, const char* format, ...);

template <std::size_t N, class... Values>
std::size_t format_text(char (&out)[N], const char* format, Values... values) {
  return format_text(out, N, format, values...);
}

}  // namespace q7
