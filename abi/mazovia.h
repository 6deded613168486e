// Texts of the system are held in the Mazovia code page (the DOS Polish
// character set). They are written in UTF-8 in the source and converted at
// compile time, so every quoted text reads in the code as it reads on screen.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "abi/compile_time.h"

namespace q7 {

// One Polish letter, its byte in the Mazovia code page and in the Windows
// code page (1250). Bytes below 0x80 are plain ASCII in both; no other
// character may appear in a system text.
struct mazovia_letter {
  char32_t code_point;
  unsigned char byte;
  unsigned char windows_byte;
};

inline constexpr std::array<mazovia_letter, 18> mazovia_letters{{
    {U'Ą', 0x8F, 0xA5}, {U'ą', 0x86, 0xB9}, {U'Ć', 0x95, 0xC6}, {U'ć', 0x8D, 0xE6},
    {U'Ę', 0x90, 0xCA}, {U'ę', 0x91, 0xEA}, {U'Ł', 0x9C, 0xA3}, {U'ł', 0x92, 0xB3},
    {U'Ń', 0xA5, 0xD1}, {U'ń', 0xA4, 0xF1}, {U'Ó', 0xA3, 0xD3}, {U'ó', 0xA2, 0xF3},
    {U'Ś', 0x98, 0x8C}, {U'ś', 0x9E, 0x9C}, {U'Ź', 0xA0, 0x8F}, {U'ź', 0xA6, 0x9F},
    {U'Ż', 0xA1, 0xAF}, {U'ż', 0xA7, 0xBF},
}};

// Mazovia byte of a code point; 0 when the code page has no such letter.
constexpr unsigned char mazovia_byte(char32_t cp) {
  if (cp < 0x80) return static_cast<unsigned char>(cp);
  for (const auto& l : mazovia_letters)
    if (l.code_point == cp) return l.byte;
  return 0;
}

namespace detail {

// The code points of the bytes 0x80..0xFF of a code page, by byte.
template <unsigned char mazovia_letter::*byte_of>
constexpr std::array<char16_t, 128> upper_half_code_points() {
  std::array<char16_t, 128> points{};
  points.fill(u'\uFFFD');
  for (const auto& l : mazovia_letters) points[(l.*byte_of) - 0x80] = static_cast<char16_t>(l.code_point);
  return points;
}

inline constexpr auto mazovia_upper_half = upper_half_code_points<&mazovia_letter::byte>();
inline constexpr auto windows_1250_upper_half = upper_half_code_points<&mazovia_letter::windows_byte>();

}  // namespace detail

// Code point of a Mazovia byte; U+FFFD for a byte outside ASCII and the Polish letters.
constexpr char32_t mazovia_code_point(unsigned char byte) {
  return byte < 0x80 ? byte : detail::mazovia_upper_half[byte - 0x80];
}

// Windows-1250 byte of a code point; '?' for a letter outside that code page.
constexpr unsigned char windows_1250_byte(char32_t cp) {
  if (cp < 0x80) return static_cast<unsigned char>(cp);
  for (const auto& l : mazovia_letters)
    if (l.code_point == cp) return l.windows_byte;
  return '?';
}

// Code point of a Windows-1250 byte; U+FFFD outside ASCII and the Polish letters.
constexpr char32_t windows_1250_code_point(unsigned char byte) {
  return byte < 0x80 ? byte : detail::windows_1250_upper_half[byte - 0x80];
}

namespace detail {

inline constexpr auto mazovia_to_windows_1250_upper_half = [] {
  std::array<unsigned char, 128> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = windows_1250_byte(mazovia_code_point(static_cast<unsigned char>(0x80 + i)));
  return bytes;
}();

}  // namespace detail

// Windows-1250 byte of a Mazovia byte; '?' for a byte outside ASCII and the
// Polish letters. One look-up per byte: whole messages are converted so.
constexpr unsigned char mazovia_to_windows_1250(unsigned char byte) {
  return byte < 0x80 ? byte : detail::mazovia_to_windows_1250_upper_half[byte - 0x80];
}

namespace detail {

// Decodes one UTF-8 sequence at s[i]; advances i. Malformed input is not a
// constant expression, so a bad literal fails the build.
constexpr char32_t decode_utf8(const char* s, std::size_t& i) {
  const auto b = static_cast<unsigned char>(s[i++]);
  if (b < 0x80) return b;
  int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
  if (more < 0) compile_time_fault("malformed UTF-8 in a system text");
  char32_t cp = b & (0x3F >> more);
  while (more-- > 0) {
    const auto c = static_cast<unsigned char>(s[i++]);
    if ((c & 0xC0) != 0x80) compile_time_fault("malformed UTF-8 in a system text");
    cp = (cp << 6) | (c & 0x3F);
  }
  return cp;
}

template <std::size_t N>
struct utf8_literal {
  char bytes[N]{};
  consteval utf8_literal(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) bytes[i] = s[i];
  }
  consteval std::size_t mazovia_length() const {
    std::size_t n = 0;
    for (std::size_t i = 0; i + 1 < N; ++n) decode_utf8(bytes, i);
    return n;
  }
};

template <utf8_literal S>
consteval auto encode_mazovia() {
  std::array<char, S.mazovia_length() + 1> out{};
  std::size_t o = 0;
  for (std::size_t i = 0; i + 1 < sizeof S.bytes;) {
    const char32_t cp = detail::decode_utf8(S.bytes, i);
    const unsigned char b = mazovia_byte(cp);
    if (b == 0 && cp != 0) compile_time_fault("a letter the Mazovia code page does not hold");
    out[o++] = static_cast<char>(b);
  }
  return out;
}

}  // namespace detail

// The Mazovia bytes of a UTF-8 literal, with terminator: mazovia<"Działka">.
template <detail::utf8_literal S>
inline constexpr auto mazovia = detail::encode_mazovia<S>();

}  // namespace q7

// A system text as a zero-terminated Mazovia string.
#define MZ(text) (::q7::mazovia<text>.data())
