#include "plugin/text/formatted_text.h"

#include <cstdint>
#include <cstring>

#include "plugin/text/decimal_text.h"

namespace q7 {
namespace {

// A bounded text being written: what does not fit is dropped.
struct text_out {
  char* out;
  std::size_t size;
  std::size_t length = 0;

  void put(const char* bytes, std::size_t n) {
    if (length + 1 >= size) return;
    const std::size_t room = size - 1 - length;
    if (n > room) n = room;
    std::memcpy(out + length, bytes, n);
    length += n;
  }
  void pad(std::size_t n) {
    static constexpr char spaces[] = "                                ";
    for (; n > sizeof spaces - 1; n -= sizeof spaces - 1) put(spaces, sizeof spaces - 1);
    put(spaces, n);
  }
  // A field of the given width: spaces before it, or after it when left.
  void field(const char* bytes, std::size_t n, std::size_t width, bool left) {
    if (!left && n < width) pad(width - n);
    put(bytes, n);
    if (left && n < width) pad(width - n);
  }
};

// Decimal digits of a magnitude, with a minus before them when negative.
// 32 bits are all an int or an unsigned hold here, and their arithmetic
// needs none of the compiler's 64-bit helpers.
std::size_t integer_text(uint32_t magnitude, bool negative, char (&text)[16]) {
  char reversed[16];
  std::size_t n = 0;
  do {
    reversed[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::size_t length = 0;
  if (negative) text[length++] = '-';
  while (n > 0) text[length++] = reversed[--n];
  text[length] = 0;
  return length;
}

// Reads the decimal number at *at, moving past it.
std::size_t number_at(const char*& at) {
  std::size_t n = 0;
  for (; *at >= '0' && *at <= '9'; ++at) n = n * 10 + static_cast<std::size_t>(*at - '0');
  return n;
}

}  // namespace

std::size_t format_text_list(char* out, std::size_t size, const char* format, va_list values) {
  if (size == 0) return 0;
  text_out text{out, size};
  for (const char* at = format; *at;) {
    if (*at != '%') {
      const char* percent = std::strchr(at, '%');
      const std::size_t run = percent ? static_cast<std::size_t>(percent - at) : std::strlen(at);
      text.put(at, run);
      at += run;
      continue;
    }
    const char* conversion = at++;
    const bool left = *at == '-';
    if (left) ++at;
    const std::size_t width = number_at(at);
    const bool has_precision = *at == '.';
    std::size_t precision = 0;
    if (has_precision) precision = number_at(++at);
    switch (*at) {
      case '%': text.put("%", 1); break;
      case 'd':
      case 'i': {
        const int value = va_arg(values, int);
        const uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
        char digits[16];
        text.field(digits, integer_text(magnitude, value < 0, digits), width, left);
        break;
      }
      case 'u': {
        char digits[16];
        text.field(digits, integer_text(va_arg(values, unsigned), false, digits), width, left);
        break;
      }
      case 's': {
        const char* s = va_arg(values, const char*);
        if (!s) s = "(null)";
        // With a precision the text is read no further than it: a field
        // filled to its end needs no terminator.
        const void* end = has_precision ? std::memchr(s, 0, precision) : nullptr;
        const std::size_t n = !has_precision ? std::strlen(s)
                              : end           ? static_cast<std::size_t>(static_cast<const char*>(end) - s)
                                              : precision;
        text.field(s, n, width, left);
        break;
      }
      case 'f': {
        const double value = va_arg(values, double);
        char digits[two_decimals_size];
        if (has_precision && precision == 2)
          text.field(digits, format_two_decimals(value, digits), width, left);
        else
          text.put(conversion, static_cast<std::size_t>(at - conversion) + 1);
        break;
      }
      default:
        // Not a conversion of the plug-in's texts: it stands as written.
        if (!*at) {
          text.put(conversion, static_cast<std::size_t>(at - conversion));
          continue;
        }
        text.put(conversion, static_cast<std::size_t>(at - conversion) + 1);
        break;
    }
    ++at;
  }
  out[text.length] = 0;
  return text.length;
}

std::size_t format_text(char* out, std::size_t size, const char* format, ...) {
  va_list values;
  va_start(values, format);
  const std::size_t length = format_text_list(out, size, format, values);
  va_end(values);
  return length;
}

}  // namespace q7
