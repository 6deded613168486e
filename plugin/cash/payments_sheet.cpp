// The payments report as a spreadsheet file. Every text field is converted
// from the Mazovia code page to UTF-8 and quoted when it holds a separator,
// a quote or a line break, so that no name or text can break the table; the
// rows are written into a temporary file a buffer at a time, and the file
// takes its name only when it is complete.
#include "plugin/cash/payments_sheet.h"

#include <array>
#include <cstring>

#include "abi/mazovia.h"
#include "plugin/hostlink/services.h"
#include "plugin/platform/platform.h"

namespace q7 {
namespace {

// A byte of the code page in UTF-8: ASCII as it is, a Polish letter in two
// bytes, U+FFFD (the stand-in for a byte outside the code page) in three;
// and whether a field that holds it must be put in quotes.
struct utf8_char {
  unsigned char length;
  char bytes[3];
  bool needs_quotes;
};
constexpr std::array<utf8_char, 256> utf8_of_byte = [] {
  std::array<utf8_char, 256> table{};
  for (unsigned byte = 0; byte < table.size(); ++byte) {
    const char32_t cp = mazovia_code_point(static_cast<unsigned char>(byte));
    utf8_char& c = table[byte];
    if (cp < 0x80) {
      c = {1, {static_cast<char>(cp)}, false};
    } else if (cp < 0x800) {
      c = {2, {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))}, false};
    } else {
      c = {3,
           {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))},
           false};
    }
    c.needs_quotes = byte == ';' || byte == '"' || byte == '\t' || byte == '\r' || byte == '\n';
  }
  return table;
}();

// The most a text field of n bytes takes: three bytes a character, a quote
// doubled taking two, the quotes around it and an apostrophe.
constexpr unsigned text_field_size(unsigned n) { return 3 * n + 3; }
// The longest row: name, plot number, a date that is not one (kept as text),
// seven amounts of the largest double, the separators and the line end, and
// two bytes beyond, which a character's copy may touch.
constexpr unsigned longest_row = text_field_size(sizeof(payments_row::payer) - 1) +
                                 text_field_size(sizeof(cash_record::cash_plot_no)) +
                                 text_field_size(8) + amount_texts::count * two_decimals_size + 2 + 2 + 2;
static_assert(longest_row < payments_sheet::buffer_size / 2);

// A text field of at most n bytes, up to its terminator, into out; answers
// where it ends. A text that a spreadsheet would take for a formula
// (beginning with =, +, - or @) is kept a text by an apostrophe before it.
char* put_text(char* out, const char* text, unsigned n) {
  unsigned length = 0;
  bool quoted = false;
  for (; length < n && text[length]; ++length) quoted |= utf8_of_byte[static_cast<unsigned char>(text[length])].needs_quotes;
  if (quoted) *out++ = '"';
  if (length > 0 && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@')) *out++ = '\'';
  for (unsigned i = 0; i < length; ++i) {
    const utf8_char& c = utf8_of_byte[static_cast<unsigned char>(text[i])];
    if (text[i] == '"') *out++ = '"';
    std::memcpy(out, c.bytes, sizeof c.bytes);
    out += c.length;
  }
  if (quoted) *out++ = '"';
  return out;
}

// The host's date, YY.MM.DD, as YYYY-MM-DD, which every spreadsheet reads as
// that date whatever its language: years 80 to 99 are 1980 to 1999, 00 to 79
// are 2000 to 2079. False when the text is not of that form.
bool iso_date(const char* date, char (&iso)[10]) {
  for (int i : {0, 1, 3, 4, 6, 7})
    if (date[i] < '0' || date[i] > '9') return false;
  if (date[2] != '.' || date[5] != '.') return false;
  const bool last_century = date[0] >= '8';
  const char text[10] = {last_century ? '1' : '2', last_century ? '9' : '0', date[0], date[1], '-',
                         date[3], date[4], '-', date[6], date[7]};
  std::memcpy(iso, text, sizeof iso);
  return true;
}

// The seven amounts, each after a separator, with a decimal comma.
char* put_amounts(char* out, const amount_texts& amounts) {
  for (const char* text : amounts.text) {
    *out++ = ';';
    for (; *text; ++text) *out++ = *text == '.' ? ',' : *text;
  }
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

char* put(char* out, const char* text, std::size_t n) {
  std::memcpy(out, text, n);
  return out + n;
}

// The buffer into the file. A file that took a write only in part is not
// put in place, so nothing more is written into it.
void write_out(payments_sheet& sheet) {
  if (!sheet.failed && !platform::write_file(sheet.file, sheet.buffer, sheet.length)) sheet.failed = true;
  sheet.length = 0;
}

// Closes the temporary file and removes it: nothing is left of a sheet that
// is not put in place.
void remove_temporary(payments_sheet& sheet) {
  platform::close_file(sheet.file);
  sheet.file = nullptr;
  platform::delete_file(sheet.temporary);
}

// Room for the longest row after what the buffer holds.
char* room_for_a_row(payments_sheet& sheet) {
  if (sheet.length > payments_sheet::buffer_size - longest_row) write_out(sheet);
  return sheet.buffer + sheet.length;
}

}  // namespace

void payments_sheet_begin(payments_sheet& sheet, const char* period) {
  sheet.file = nullptr;
  sheet.failed = true;
  sheet.length = 0;
  sheet.name[0] = sheet.temporary[0] = 0;
  char start[10], end[10];
  if (!iso_date(period, start) || !iso_date(period + 9, end)) return;
  char* name = put(sheet.name, "raport_wplat_", 13);
  name = put(put(put(name, start, 10), "_", 1), end, 10);
  put(name, ".csv", 5);  // "raport_wplat_2011-03-01_2011-04-30.csv" and its terminator
  put(put(sheet.temporary, sheet.name, 38), ".tmp", 5);
  static_assert(sizeof sheet.name == 38 + 1 && sizeof sheet.temporary == 38 + 4 + 1);
  sheet.file = platform::create_file(sheet.temporary);
  if (!sheet.file) return;
  sheet.failed = false;
  // The byte-order mark, then the column titles. This file alone is UTF-8,
  // so its titles are written as the source holds them, not through MZ.
  constexpr char header[] =
      "\xEF\xBB\xBF" "Nazwisko;Nr działki;Data;Składka członkowska;Użytkowanie;Energia;Woda;CO;Inne;Razem\r\n";
  sheet.length = static_cast<unsigned>(put(sheet.buffer, header, sizeof header - 1) - sheet.buffer);
}

void payments_sheet_row(payments_sheet& sheet, const cash_record& record, const payments_row& row,
                        const amount_texts& amounts) {
  if (sheet.failed) return;
  char* out = room_for_a_row(sheet);
  out = put_text(out, row.payer, sizeof row.payer - 1);
  *out++ = ';';
  out = put_text(out, record.cash_plot_no, sizeof record.cash_plot_no);
  *out++ = ';';
  char iso[10];
  out = iso_date(record.cash_date, iso) ? put(out, iso, sizeof iso) : put_text(out, record.cash_date, 8);
  out = put_amounts(out, amounts);
  sheet.length = static_cast<unsigned>(out - sheet.buffer);
}

bool payments_sheet_end(payments_sheet& sheet, const amount_texts& totals) {
  if (!sheet.file) return false;
  if (!sheet.failed) {
    char* out = room_for_a_row(sheet);
    out = put(out, "\r\nRAZEM;;", 9);
    sheet.length = static_cast<unsigned>(put_amounts(out, totals) - sheet.buffer);
  }
  write_out(sheet);
  const bool closed = platform::close_file(sheet.file);
  sheet.file = nullptr;
  const bool written = closed && !sheet.failed && platform::replace_file(sheet.temporary, sheet.name);
  if (!written) platform::delete_file(sheet.temporary);
  return written;
}

void payments_sheet_discard(payments_sheet& sheet) {
  if (sheet.file) remove_temporary(sheet);
}

void tell_payments_sheet_not_written(const payments_sheet& sheet) {
  if (!sheet.name[0]) {
    formatted_message({"uwaga"},
                      MZ("Nie udało się zapisać pliku dla arkusza kalkulacyjnego:\n"
                         "początek lub koniec okresu raportu nie jest datą."),
                      host_values::style_message);
    return;
  }
  formatted_message({"uwaga"},
                    MZ("Nie udało się zapisać pliku dla arkusza kalkulacyjnego:\n"
                       "\x02%s\x01\n"
                       "Jeśli ten plik jest otwarty w arkuszu kalkulacyjnym, zamknij go.\n"
                       "Sprawdź też, czy na dysku jest wolne miejsce i czy można\n"
                       "zapisywać w folderze programu. Potem wykonaj raport jeszcze raz.\n"
                       "Raport na ekranie i pliki info.txt, info2.txt są pełne.\n"
                       "Plik o tej nazwie z wcześniejszego raportu, jeśli był, nie zmienił się."),
                    host_values::style_message, sheet.name);
}

}  // namespace q7
