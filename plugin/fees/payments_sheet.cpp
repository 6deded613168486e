// The payments report as a spreadsheet file. Every field is converted from
// the Mazovia code page to UTF-8 and quoted when it holds a separator, a
// quote or a line break, so that no name or text can break the table.
#include "plugin/fees/payments_sheet.h"

#include <cstdio>
#include <cstring>

#include "abi/mazovia.h"
#include "plugin/hostlink/host.h"
#include "plugin/platform/platform.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {

constexpr char sheet_file[] = "raport_wplat.csv";

// A line of the sheet being built: bounded, always terminated. A field that
// would not fit is left out whole and the line marked as cut; the largest
// row (a 100-character name of three-byte letters, seven amounts of the
// largest double) fits with room to spare.
struct sheet_line {
  char text[3072];
  unsigned length = 0;
  bool cut = false;

  // Out of line: it is called for every character, and the plug-in is kept small.
  [[gnu::noinline]] void put(const char* bytes, unsigned n) {
    if (cut || length + n >= sizeof text) {
      cut = true;
      return;
    }
    std::memcpy(text + length, bytes, n);
    length += n;
    text[length] = 0;
  }
  void put(char c) { put(&c, 1); }
  void separator() { put(';'); }
};

// A code point of the code page in UTF-8: ASCII as it is, a Polish letter in
// two bytes, U+FFFD (the stand-in for a byte outside the code page) in three.
void put_utf8(sheet_line& line, char32_t cp) {
  if (cp == U'\uFFFD') return line.put("\xEF\xBF\xBD", 3);
  const char two[] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
  if (cp < 0x80) return line.put(static_cast<char>(cp));
  line.put(two, 2);
}

// A text field in Mazovia bytes, up to its terminator: converted to UTF-8
// (a byte outside the code page becomes U+FFFD) and put in quotes, with each
// quote doubled, when it holds a semicolon, a quote, a tab or a line break.
// A text that a spreadsheet would take for a formula (beginning with =, +,
// - or @) is kept a text by an apostrophe before it.
void put_text(sheet_line& line, const char* mazovia_text) {
  const bool quoted = std::strpbrk(mazovia_text, ";\"\t\r\n") != nullptr;
  if (quoted) line.put('"');
  if (*mazovia_text && std::strchr("=+-@", *mazovia_text)) line.put('\'');
  for (const char* c = mazovia_text; *c; ++c) {
    if (*c == '"') line.put('"');
    put_utf8(line, mazovia_code_point(static_cast<unsigned char>(*c)));
  }
  if (quoted) line.put('"');
}

// The amounts, each with a decimal comma.
void put_amounts(sheet_line& line, const amount_texts& amounts) {
  for (const char* text : amounts.text) {
    line.separator();
    const unsigned start = line.length;
    line.put(text, static_cast<unsigned>(std::strlen(text)));
    if (char* point = line.cut ? nullptr : std::strchr(line.text + start, '.')) *point = ',';
  }
}

// A line that could not be built whole is not written: a row with a field
// missing would shift the columns after it.
void append(const sheet_line& line) {
  if (!line.cut) svc_52407(sheet_file, line.text);
}

}  // namespace

amount_texts amount_texts_of(const fee_sheet& s) {
  const double amounts[amount_texts::count] = {s.membership_fee, s.usage_fee,    s.energy_fee, s.water_fee,
                                               s.heating_fee,    s.other_amount, s.total};
  amount_texts texts;
  for (int i = 0; i < amount_texts::count; ++i) format_two_decimals(amounts[i] / 10000.0, texts.text[i]);
  return texts;
}

void payments_sheet_begin() {
  platform::remove_file(sheet_file);
  // The byte-order mark, then the column titles. This file alone is UTF-8,
  // so its titles are written as the source holds them, not through MZ.
  svc_52407(sheet_file,
            "\xEF\xBB\xBF" "Nazwisko;Nr działki;Data;Składka członkowska;Użytkowanie;Energia;Woda;CO;"
            "Inne;Razem");
}

void payments_sheet_row(const fee_sheet& row, const char* date, const amount_texts& amounts) {
  sheet_line line;
  line.text[0] = 0;
  put_text(line, row.head.holder_name);
  char plot_no[16];
  const std::size_t n = format_text(plot_no, ";%d;", static_cast<int>(row.head.plot_no));
  line.put(plot_no, static_cast<unsigned>(n));
  put_text(line, date);
  put_amounts(line, amounts);
  append(line);
}

void payments_sheet_totals(const amount_texts& totals) {
  sheet_line line;
  line.text[0] = 0;
  line.put("RAZEM;;", 7);
  put_amounts(line, totals);
  append(line);
}

}  // namespace q7
