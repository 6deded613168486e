// The readable data files a session loads into the host's tables. Every line
// is checked whole before anything is loaded: a line that cannot be taken
// as it stands (a missing or extra field, a number that is none, a date that
// is no YY.MM.DD date, a text longer than its field or with a character the
// Mazovia code page lacks) is named by file, line and reason.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/file_store.h"
#include "host/session.h"
#include "host/texts.h"
#include "host/transcript.h"
#include "host/world.h"

namespace torval {
namespace {

// One line of a data file being checked: its fields and where each begins.
class data_line {
 public:
  data_line(const std::string& file, int number, const std::string& text)
      : file_(file), number_(number), text_(text), fields_(split_text(text, ';')) {
    std::size_t at = 0;
    for (const std::string& f : fields_) {
      starts_.push_back(at);
      at += f.size() + 1;
    }
  }

  std::size_t size() const { return fields_.size(); }
  const std::string& operator[](std::size_t i) const { return fields_[i]; }
  bool sound() const { return reasons_.empty(); }
  const std::vector<std::string>& reasons() const { return reasons_; }

  void refuse(const std::string& reason, std::size_t field = npos, std::size_t character = 0) {
    std::string place = file_ + " line " + std::to_string(number_);
    if (field != npos) {
      // The column in characters, from 1, of the field's character.
      const std::size_t column = utf8_length(text_.substr(0, starts_[field])) + 1 +
                                 (character ? character - 1 : 0);
      place += ", column " + std::to_string(column);
    }
    reasons_.push_back(place + ": " + reason);
  }

  // The field as Mazovia bytes, refused when the code page lacks one of its
  // characters or when it is longer than the record's field holds.
  std::string text(std::size_t field, std::size_t longest, const char* what) {
    std::string mazovia;
    std::size_t byte = 0;
    if (const std::size_t miss = to_mazovia_checked(fields_[field], mazovia, &byte)) {
      refuse(std::string(what) + " holds " + character_at(fields_[field], byte), field, miss);
    } else if (mazovia.size() > longest) {
      refuse(std::string(what) + " has " + std::to_string(mazovia.size()) +
                 " characters; its field holds " + std::to_string(longest),
             field);
    }
    return mazovia;
  }

  // A decimal number with at most `decimals` decimals, between low and high,
  // in units of 10^-decimals; 0 and refused when it is none.
  long long decimal(std::size_t field, int decimals, long long low, long long high, const char* what) {
    const std::string& f = fields_[field];
    std::size_t i = 0;
    const bool negative = !f.empty() && f[0] == '-';
    if (negative) ++i;
    long long whole = 0, fraction = 0;
    int digits = 0, fraction_digits = 0;
    // Digits beyond the thirteenth only tell that the number is too large.
    for (; i < f.size() && f[i] >= '0' && f[i] <= '9'; ++i, ++digits)
      if (whole < 10000000000000LL) whole = whole * 10 + (f[i] - '0');
    if (i < f.size() && (f[i] == '.' || f[i] == ',') && digits > 0) {
      for (++i; i < f.size() && f[i] >= '0' && f[i] <= '9' && fraction_digits < decimals; ++i)
        fraction = fraction * 10 + (f[i] - '0'), ++fraction_digits;
    }
    if (digits == 0 || i != f.size()) {
      // Appended piece by piece: GCC's -Wrestrict takes a "text" + string for an overlapping copy.
      std::string why = std::string(what).append(" \"").append(f).append("\" is not a number");
      if (decimals) why.append(" with at most ").append(std::to_string(decimals)).append(" decimals");
      refuse(why, field);
      return 0;
    }
    for (int d = fraction_digits; d < decimals; ++d) fraction *= 10;
    long long scale = 1;
    for (int d = 0; d < decimals; ++d) scale *= 10;
    const long long value = (whole * scale + fraction) * (negative ? -1 : 1);
    if (value < low || value > high) {
      refuse(std::string(what) + " " + f + " is outside " + shown(low, decimals) + " to " +
                 shown(high, decimals),
             field);
      return 0;
    }
    return value;
  }

  // The field as a YY.MM.DD date of the calendar, or empty when allowed.
  std::string date(std::size_t field, const char* what) {
    const std::string& f = fields_[field];
    if (!calendar_date(f)) {
      refuse(std::string(what) + " \"" + f + "\" is not a date YY.MM.DD", field);
      return "";
    }
    return f;
  }

  // One of two numbers of fields.
  bool fields_either(std::size_t count, std::size_t or_count, const char* layout) {
    if (fields_.size() == count || fields_.size() == or_count) return true;
    refuse(std::to_string(fields_.size()) + (fields_.size() == 1 ? " field" : " fields") + ", " +
           std::to_string(count) + " or " + std::to_string(or_count) + " expected: " + layout);
    return false;
  }
  std::size_t count() const { return fields_.size(); }

  // Exactly `count` fields, or at least `count` when more are allowed.
  bool fields(std::size_t count, bool more_allowed, const char* layout) {
    if (fields_.size() == count || (more_allowed && fields_.size() > count)) return true;
    refuse(std::to_string(fields_.size()) + (fields_.size() == 1 ? " field" : " fields") + ", " +
           (more_allowed ? "at least " : "") + std::to_string(count) + " expected: " + layout);
    return false;
  }

 private:
  static constexpr std::size_t npos = std::string::npos;

  static std::string shown(long long value, int decimals) {
    if (!decimals) return std::to_string(value);
    long long scale = 1;
    for (int d = 0; d < decimals; ++d) scale *= 10;
    char text[48];
    std::snprintf(text, sizeof text, "%s%lld.%0*lld", value < 0 ? "-" : "", std::llabs(value) / scale,
                  decimals, std::llabs(value) % scale);
    return text;
  }

  // The character that begins at a byte of a UTF-8 text, as a reason shows it.
  static std::string character_at(const std::string& utf8, std::size_t at) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::string ignored;
    const std::string character = utf8.substr(at, length);
    bool sound = lead >= 0xC0 && character.size() == length;
    for (std::size_t i = 1; sound && i < length; ++i)
      sound = (static_cast<unsigned char>(character[i]) & 0xC0) == 0x80;
    if (!sound) {
      char byte[48];
      std::snprintf(byte, sizeof byte, "the byte 0x%02X, which is not UTF-8", lead);
      return byte;
    }
    return "\"" + character + "\", which the Mazovia code page lacks";
  }

  std::string file_;
  int number_;
  std::string text_;
  std::vector<std::string> fields_;
  std::vector<std::size_t> starts_;
  std::vector<std::string> reasons_;
};

// Makes the table's file anew, empty, in the work folder, and opens it.
table& new_table_file(int32_t number, const char* data_file) {
  table& t = *find_table(number);
  if (t.file) std::fclose(t.file);
  t.file = open_file(data_file, "w+b");
  t.record_count = 0;
  reload_rows(t);
  return t;
}

// Loads a table from a readable file: one record a line, fields separated by
// ";", lines starting with "#" and blank lines left out. check builds the
// record of a line, refusing the line when it cannot be taken whole. The
// table is emptied first, so that a load that fails leaves no old table.
template <class Record, class Check>
bool load_table(int32_t number, const std::string& csv, const char* data_file, bool skip_bad_lines,
                const char* records, Check check) {
  table& t = new_table_file(number, data_file);
  std::ifstream in(script_path(csv), std::ios::binary);
  if (!in) {
    report_mistake("cannot read " + csv + " (paths are taken from the script's folder); the " +
                   records + " table is empty");
    return false;
  }
  // Each record goes into the table's file as its line is read: a large
  // table is never held whole. A refused line empties the table again.
  std::vector<std::string> refused;
  int number_of_line = 0;
  for (std::string line; std::getline(in, line);) {
    ++number_of_line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
    data_line fields(csv, number_of_line, line);
    Record record{};
    check(fields, record);
    if (fields.sound()) {
      std::memcpy(t.record_buffer.data(), &record, sizeof record);
      append_record(t, t.file, &t.record_count);
    } else {
      refused.insert(refused.end(), fields.reasons().begin(), fields.reasons().end());
    }
  }
  for (const std::string& reason : refused)
    report_mistake(skip_bad_lines ? reason + " (line left out)" : reason);
  if (!refused.empty() && !skip_bad_lines) {
    report_mistake(csv + ": " + std::to_string(refused.size()) + " " +
                   (refused.size() == 1 ? "mistake" : "mistakes") + "; the " + records +
                   " table is empty (\"skip-bad-lines\" after the file name leaves such lines out)");
    new_table_file(number, data_file);
    return false;
  }
  reload_rows(t);
  return true;
}

}  // namespace

bool load_plots(const std::string& csv, bool skip_bad_lines) {
  const bool loaded = load_table<q7::plot_record>(
      q7::plot_table_no, csv, "plots.dat", skip_bad_lines, "plot",
      [](data_line& f, q7::plot_record& plot) {
        if (!f.fields_either(5, 7, "number;holder;area m2;fee letters;ledger number[;kwota1;kwota2]")) return;
        const std::string number = f.text(0, sizeof plot.plot_no_text - 1, "the plot number");
        const std::string holder = f.text(1, sizeof plot.holder_name - 1, "the holder's name");
        // Any area the record holds: the plug-in itself refuses those it cannot charge.
        plot.area_milli = static_cast<int32_t>(f.decimal(2, 3, INT32_MIN, INT32_MAX, "the area"));
        const std::string letters = f.text(3, sizeof plot.fee_letters - 1, "the fee letters");
        plot.ledger_no = static_cast<int16_t>(f.decimal(4, 0, 0, 32767, "the ledger number"));
        // The two spare columns as the list shows them, in currency units: a
        // column value counts hundredths.
        if (f.count() == 7) {
          plot.kwota1 = static_cast<int32_t>(f.decimal(5, 2, INT32_MIN, INT32_MAX, "kwota1"));
          plot.kwota2 = static_cast<int32_t>(f.decimal(6, 2, INT32_MIN, INT32_MAX, "kwota2"));
        }
        std::memcpy(plot.plot_no_text, number.data(), std::min(number.size(), sizeof plot.plot_no_text - 1));
        std::memcpy(plot.holder_name, holder.data(), std::min(holder.size(), sizeof plot.holder_name - 1));
        std::memcpy(plot.fee_letters, letters.data(), std::min(letters.size(), sizeof plot.fee_letters - 1));
      });
  table& t = *find_table(q7::plot_table_no);
  recompute_plot_totals(t);
  say("  " + std::to_string(t.record_count) + " plots");
  return loaded;
}

// A cash document: its line texts fill their slots of 25 characters with
// blanks, and a zero byte follows the last slot used.
bool load_cash(const std::string& csv, bool skip_bad_lines) {
  const bool loaded = load_table<q7::cash_record>(
      q7::cash_table_no, csv, "cash.dat", skip_bad_lines, "cash",
      [](data_line& f, q7::cash_record& record) {
        const char* layout = "date;plot number;payer;line text;amount;... (up to ten lines)";
        if (!f.fields(3, true, layout)) return;
        if (!f[0].empty()) {
          const std::string date = f.date(0, "the date");
          std::memcpy(record.cash_date, date.data(), std::min(date.size(), sizeof record.cash_date - 1));
        }
        const std::string plot = f.text(1, 16, "the plot number");
        const std::string payer = f.text(2, sizeof record.payer_name - 1, "the payer");
        std::memcpy(record.cash_plot_no, plot.data(), plot.size() <= 16 ? plot.size() : 16);
        std::memcpy(record.payer_name, payer.data(), std::min(payer.size(), sizeof record.payer_name - 1));
        const std::size_t lines = (f.size() - 3 + 1) / 2;
        if ((f.size() - 3) % 2) f.refuse("the last line text has no amount");
        if (lines > q7::cash_line_slots) {
          f.refuse(std::to_string(lines) + " lines; a document holds " +
                   std::to_string(q7::cash_line_slots));
          return;
        }
        for (std::size_t slot = 0; slot < lines; ++slot) {
          const std::size_t i = 3 + 2 * slot;
          std::string text = f.text(i, q7::cash_slot_width, "the line text");
          text.resize(q7::cash_slot_width, ' ');
          std::memcpy(record.line_texts + slot * q7::cash_slot_width, text.data(), q7::cash_slot_width);
          if (i + 1 >= f.size()) break;
          // Amounts in currency units with at most four decimals, held scaled.
          const double amount =
              static_cast<double>(f.decimal(i + 1, 4, -99999999990000LL, 99999999990000LL, "the amount"));
          std::memcpy(&record.line_amounts[slot], &amount, sizeof amount);
        }
      });
  say("  " + std::to_string(find_table(q7::cash_table_no)->record_count) + " cash documents");
  return loaded;
}

bool load_raw_cash(const std::string& name) {
  table& t = new_table_file(q7::cash_table_no, "cash.dat");
  std::ifstream in(script_path(name), std::ios::binary);
  if (!in) {
    report_mistake("cannot read " + name + " (paths are taken from the script's folder); the cash table is empty");
    say("  0 cash documents");
    return false;
  }
  while (in.read(t.record_buffer.data(), sizeof(q7::cash_record)))
    append_record(t, t.file, &t.record_count);
  reload_rows(t);
  say("  " + std::to_string(t.record_count) + " cash documents");
  if (in.gcount() > 0) {
    report_mistake(name + ": " + std::to_string(in.gcount()) + " bytes at its end are no whole record (" +
                   std::to_string(sizeof(q7::cash_record)) + " bytes); they were left out");
    return false;
  }
  return true;
}

}  // namespace torval
