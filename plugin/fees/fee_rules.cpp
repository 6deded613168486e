// The fee rules: what each fee is, and the fee lines that tell it.
#include "plugin/fees/fee_rules.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "abi/mazovia.h"
#include "plugin/hostlink/services.h"
#include "plugin/text/decimal_text.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {

// Formats one fee line into a scratch buffer, cut there if it must be, and
// copies at most a fee line's characters of it into its field.
template <class... Values>
void write_fee_line(char (&field)[fee_line_length + 1], const char* format, Values... values) {
  char scratch[256];
  format_text(scratch, format, values...);
  copy_field(field, {scratch}, fee_line_length);
}

// The central-heating amount written after the heating letter: after the
// first "c", or after the first "C" when there is no lower-case one. A number
// that reads as infinite or not a number, or is too large to be held as a
// scaled amount, counts as no number.
double heating_amount(const char* fee_letters) {
  const char* letter = std::strchr(fee_letters, 'c');
  if (!letter) letter = std::strchr(fee_letters, 'C');
  // Compared with the largest double rather than tested with isfinite: on x87
  // the product may still be held with the wider range of the FPU's registers,
  // where it is finite, and become infinite only when it is stored.
  const double scaled = decimal_value(letter + 1) * amount_scale;
  return std::fabs(scaled) <= std::numeric_limits<double>::max() ? scaled : 0.0;
}

}  // namespace

void fill_sheet_head(sheet_head& head, const plot_record& plot) {
  head.plot_no = static_cast<int16_t>(read_plot_number(plot.plot_no_text, sizeof plot.plot_no_text));
  copy_field(head.holder_name, {plot.holder_name}, sizeof head.holder_name - 1);
  head.area_m2 = static_cast<int16_t>(plot.area_milli / 1000);
}

void fill_fee_sheet(fee_sheet& sheet, const plot_record& plot) {
  fill_sheet_head(sheet.head, plot);
  copy_field(sheet.fee_letters, {plot.fee_letters}, sizeof sheet.fee_letters - 1);
}

bool letters_call_for(const char* fee_letters, char letter) {
  const char upper = static_cast<char>(letter - 'a' + 'A');
  return std::strchr(fee_letters, letter) || std::strchr(fee_letters, upper);
}

void compute_plot_amounts(fee_sheet& sheet) {
  sheet.fee_letters[sizeof sheet.fee_letters - 1] = 0;  // the letters are searched as a text
  const double area = sheet.head.area_m2;
  const char* letters = sheet.fee_letters;
  sheet.water_fee = letters_call_for(letters, 'r') ? area * sheet.water_rate : 0.0;
  sheet.heating_fee = letters_call_for(letters, 'c') ? heating_amount(letters) : 0.0;
  sheet.energy_fee = letters_call_for(letters, 'e') ? sheet.energy_rate : 0.0;
  sheet.usage_fee = area * sheet.plot_rate;
  sheet.total = sheet.usage_fee + sheet.energy_fee + sheet.water_fee + sheet.heating_fee +
                sheet.membership_fee;
}

void compute_plot_fees(fee_sheet& sheet) {
  compute_plot_amounts(sheet);
  const char* letters = sheet.fee_letters;

  if (letters_call_for(letters, 'r'))
    write_fee_line(sheet.water_line, MZ("%d %s%4d*%5.2f=%3.2f"), bookkeeping_year(), MZ("woda"),
                   sheet.head.area_m2, sheet.water_rate / amount_scale, sheet.water_fee / amount_scale);
  else
    sheet.water_line[0] = 0;

  if (letters_call_for(letters, 'c'))
    write_fee_line(sheet.heating_line, MZ("%d %s %8.2f"), bookkeeping_year(), MZ("centr.ogrz."),
                   sheet.heating_fee / amount_scale);
  else
    sheet.heating_line[0] = 0;

  if (letters_call_for(letters, 'e'))
    write_fee_line(sheet.energy_line, MZ("%d %s%12.2f"), bookkeeping_year(), MZ("konserw."),
                   sheet.energy_fee / amount_scale);
  else
    sheet.energy_line[0] = 0;

  write_fee_line(sheet.usage_line, MZ("%d %s%4d*%5.2f=%5.2f"), bookkeeping_year(), MZ("opł."),
                 sheet.head.area_m2, sheet.plot_rate / amount_scale, sheet.usage_fee / amount_scale);

  write_fee_line(sheet.membership_line, MZ("%d %s%5.2f"), bookkeeping_year(),
                 MZ("składka członk."), sheet.membership_fee / amount_scale);
}

}  // namespace q7
