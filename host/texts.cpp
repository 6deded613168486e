// Texts of the system shown in the transcript: Mazovia and Windows-1250
// bytes to UTF-8, with the message markup drawn as visible symbols.
#include "host/texts.h"

#include "abi/mazovia.h"

namespace torval {
namespace {

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Markup bytes and tabs drawn as visible symbols.
void append_visible(std::string& out, unsigned char byte, char32_t cp) {
  switch (byte) {
    case 1: out += "␁"; return;
    case 2: out += "␂"; return;
    case 5: out += "␅"; return;
    case '\t': out += "␉"; return;
    case '\r': out += "␍"; return;
    default: append_utf8(out, cp);
  }
}

template <class Decode>
std::string decode(const char* text, Decode code_point) {
  std::string out;
  for (; *text; ++text) {
    const auto byte = static_cast<unsigned char>(*text);
    append_visible(out, byte, code_point(byte));
  }
  return out;
}

}  // namespace

std::string from_mazovia(const char* text) {
  return decode(text, [](unsigned char b) { return q7::mazovia_code_point(b); });
}

std::string from_windows_1250(const char* text) {
  return decode(text, [](unsigned char b) { return q7::windows_1250_code_point(b); });
}

std::string to_mazovia(const std::string& utf8) {
  std::string out;
  to_mazovia_checked(utf8, out);
  return out;
}

std::size_t to_mazovia_checked(const std::string& utf8, std::string& out, std::size_t* miss_byte) {
  out.clear();
  std::size_t first_miss = 0, characters = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    ++characters;
    const std::size_t begins = i;
    const auto b = static_cast<unsigned char>(utf8[i]);
    char32_t cp = b;
    int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    // A byte that cannot begin a character (a byte of another code page) is a miss.
    bool sound = b < 0x80 || more > 0;
    if (more) cp = b & (0x3F >> more);
    ++i;
    for (; more > 0; --more, ++i) {
      if (i >= utf8.size() || (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
        sound = false;
        break;
      }
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    }
    const unsigned char m = sound ? q7::mazovia_byte(cp) : 0;
    if (!m && !first_miss) {
      first_miss = characters;
      if (miss_byte) *miss_byte = begins;
    }
    out += static_cast<char>(m ? m : '?');
  }
  return first_miss;
}

std::size_t utf8_length(const std::string& utf8) {
  std::size_t n = 0;
  for (unsigned char b : utf8) n += (b & 0xC0) != 0x80;
  return n;
}

std::vector<std::string> split_words(const std::string& line) {
  // White space as the C locale has it; a string stream would do the same,
  // slowly, with its locale.
  const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  std::vector<std::string> out;
  for (std::size_t i = 0; i < line.size();) {
    while (i < line.size() && space(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !space(line[i])) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

std::vector<std::string> split_text(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

}  // namespace torval
