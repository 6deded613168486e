// The key handler of the cash table (the cash desk) and its one command,
// Ctrl-A: the payments of plot holders in a period, by fee category.
#include "plugin/fees/cash_list.h"

#include <cstdio>
#include <cstring>

#include "abi/mazovia.h"
#include "plugin/fees/fee_sheet.h"
#include "plugin/fees/key_handlers.h"
#include "plugin/fees/payments_sheet.h"
#include "plugin/hostlink/boundary.h"
#include "plugin/hostlink/guard.h"
#include "plugin/hostlink/key_call.h"
#include "plugin/hostlink/module.h"
#include "plugin/platform/platform.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {

constexpr char report_file[] = "info.txt";        // compact, shown by the host
constexpr char listing_file[] = "info2.txt";      // fixed widths, printed on request

// The period of the report: start date at 0, end date at 9. It keeps the
// period entered last for the next run.
char period[20];

// The fee sheet field (its offset in the packed sheet) that a payment line's
// text names; the first word found, in this order, decides.
struct category {
  const char* word;
  std::size_t field;
};
const category categories[] = {
    {"woda", offsetof(fee_sheet, water_fee)},
    {"konserw.", offsetof(fee_sheet, energy_fee)},
    {"energia", offsetof(fee_sheet, energy_fee)},
    {MZ("opł."), offsetof(fee_sheet, usage_fee)},
    {MZ("składka członk."), offsetof(fee_sheet, membership_fee)},
    {"centr.ogrz.", offsetof(fee_sheet, heating_fee)},
};

// A zero-terminated copy of a text field that the host may have filled to its end.
template <std::size_t N>
void terminated_copy(char (&out)[N + 1], const char* field) {
  std::memcpy(out, field, N);
  out[N] = 0;
}

bool within_period(const char* date) {
  if (date[0] == 0) return false;
  char start[9], end[9];
  terminated_copy<8>(start, period);
  terminated_copy<8>(end, period + 9);
  return svc_30908_days_between(start, date) <= 0 && svc_30908_days_between(end, date) >= 0;
}

// Whether the word occurs in the text. The plug-in's own search, not the C
// library's strstr: a report makes sixty searches per document, and the
// fuzzing build's sanitizer and fuzzer look into every call of the library
// at several times the cost of the search itself.
bool contains(const char* text, const char* word) {
  const char first = word[0];
  for (; *text; ++text) {
    if (*text != first) continue;
    std::size_t i = 1;
    while (word[i] && text[i] == word[i]) ++i;
    if (!word[i]) return true;
  }
  return false;
}

std::size_t category_of(const char* text) {
  for (const category& c : categories)
    if (contains(text, c.word)) return c.field;
  return offsetof(fee_sheet, other_amount);
}

void add_amount(fee_sheet& row, std::size_t field, double amount) {
  char* at = reinterpret_cast<char*>(&row) + field;
  double sum;
  std::memcpy(&sum, at, sizeof sum);
  sum += amount;
  std::memcpy(at, &sum, sizeof sum);
}

// Sorts the document's ten line amounts into the row by the words of their
// texts. The texts are read from the record up to their first zero byte, at
// most as much as the working area holds and never past the record.
void classify_lines(fee_sheet& row, const cash_record& record) {
  char work[512] = {};
  const std::size_t available = sizeof(cash_record) - offsetof(cash_record, line_texts);
  const char* texts = record.line_texts;
  for (std::size_t i = 0; i < sizeof work - 1 && i < available && texts[i]; ++i) work[i] = texts[i];
  for (std::size_t slot = 0; slot < cash_line_slots; ++slot) {
    char text[cash_slot_width + 1] = {};  // empty should the host copy nothing
    copy_field(text, {work + cash_slot_width * slot}, cash_slot_width);
    double amount;
    std::memcpy(&amount, &record.line_amounts[slot], sizeof amount);
    add_amount(row, category_of(text), amount);
  }
  row.total = row.usage_fee + row.energy_fee + row.water_fee + row.membership_fee +
              row.heating_fee + row.other_amount;
}

void add_to_totals(fee_sheet& totals, const fee_sheet& row) {
  totals.membership_fee += row.membership_fee;
  totals.usage_fee += row.usage_fee;
  totals.energy_fee += row.energy_fee;
  totals.water_fee += row.water_fee;
  totals.heating_fee += row.heating_fee;
  totals.other_amount += row.other_amount;
  totals.total += row.total;
}

// Deletes every space from the given position on; the rest closes up, a run
// of other characters at a time.
void remove_spaces(char* text) {
  char* kept = std::strchr(text, ' ');
  if (!kept) return;
  for (const char* from = kept; *from;) {
    from += std::strspn(from, " ");
    const std::size_t run = std::strcspn(from, " ");
    std::memmove(kept, from, run);
    kept += run;
    from += run;
  }
  *kept = 0;
}

// A line of a row or of the totals: the leading values, then the seven
// amounts in the columns' order, each right-aligned in eight characters
// ("%8s" of a "%.2f" text is what "%8.2f" writes). A line longer than the
// buffer is cut at its end, as the report has always cut it.
template <std::size_t N, class... Leading>
void format_amounts_line(char (&line)[N], const char* format, const amount_texts& a, Leading... leading) {
  format_text(line, format, leading..., a.text[0], a.text[1], a.text[2], a.text[3], a.text[4], a.text[5],
              a.text[6]);
}

}  // namespace

void payments_report_row(const cash_record& record, fee_sheet& totals, payments_sheet& sheet) {
  fee_sheet row{};
  const std::size_t plot_no_width = sizeof(cash_record) - offsetof(cash_record, cash_plot_no);
  row.head.plot_no = static_cast<int16_t>(read_plot_number(record.cash_plot_no, plot_no_width));
  copy_field(row.head.holder_name, {record.payer_name}, sizeof row.head.holder_name - 1);
  classify_lines(row, record);
  add_to_totals(totals, row);

  char date[9];
  terminated_copy<8>(date, record.cash_date);
  const amount_texts amounts = amount_texts_of(row);
  char line[1024];
  format_amounts_line(line, "%-25.25s\t%3d\t%10s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t", amounts,
                      row.head.holder_name, static_cast<int>(row.head.plot_no), date);
  svc_52407_append_line(listing_file, line);
  // The compact file keeps the name's padding, which stands before the first tab.
  if (char* tab = std::strchr(line, '\t')) remove_spaces(tab);
  svc_52407_append_line(report_file, line);
  payments_sheet_row(sheet, record, row, amounts);
}

namespace {

void payments_report(const key_call& call) {
  if (question_box({"uwaga"}, {MZ("Raport wpłat działkowców w okresie\nCzy wykonać raport?")},
                   host_values::style_question_yes_no) != confirmed)
    return;
  if (calling_back([] { return svc_52023_run_dialog(host_values::report_period_dialog, period, host_values::unused); }) != confirmed) return;

  platform::remove_file(report_file);
  platform::remove_file(listing_file);
  char line[1024];
  format_text(line,
                "%-25.25s\t%3s\t%10s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t", "Nazwisko", "Nr", "Data",
                MZ("członk."), MZ("Użytkow."), "Energia", "Woda", "CO", "Inne", "Razem");
  svc_52407_append_line(listing_file, line);
  fee_sheet totals{};
  if (!call.record_count) abandon_command();
  const auto& record = lent_record<const cash_record>(call.table);
  // The spreadsheet file is written beside the two text files; a report
  // abandoned before its end leaves nothing of it.
  payments_sheet sheet;
  payments_sheet_begin(sheet, period);
  amount_texts total_amounts;
  guarded_or_undo([&] {
    // Once a record cannot be read no other is, and no row follows: the scan
    // ends there, rather than counting on to a record count that may run far
    // beyond the table (up to 2^31 - 1), comparing the dates of no record.
    for (int32_t i = 0; i < *call.record_count; ++i) {
      if (!svc_52286_read_record(host_values::unused, i, call.table, host_values::unused, call.file)) break;
      char date[9];
      terminated_copy<8>(date, record.cash_date);
      if (!within_period(date)) continue;
      if (record.cash_plot_no[0] == 0) continue;
      payments_report_row(record, totals, sheet);
    }

    svc_52407_append_line(report_file, "");
    svc_52407_append_line(listing_file, "");
    total_amounts = amount_texts_of(totals);
    format_amounts_line(line, "%-25.25s\t   \t%10s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t", total_amounts,
                        "RAZEM", "");
    svc_52407_append_line(listing_file, line);
    remove_spaces(line);
    svc_52407_append_line(report_file, line);
  }, [&] { payments_sheet_discard(sheet); });
  const bool sheet_written = payments_sheet_end(sheet, total_amounts);

  calling_back([] {
    svc_52409_show_report(report_file,
              MZ("l-1Nazwisko\rc10Działka\rl13Data\rl13Skł.członkowska\rp12Użytkowanie\rp13Energia\r"
                 "p13Woda\rp13CO\rp10Inne\rp13Razem"),
              host_values::unused, "Raport", host_values::unused);
  });
  if (question_box({"uwaga"}, {MZ("Czy wydrukować raport?")}, host_values::style_question_yes_no) == confirmed)
    calling_back([] {
      using namespace host_values;
      return svc_38360_print_file(unused, listing_file, print_left, print_top, print_right, print_copies);
    });
  if (!sheet_written) tell_payments_sheet_not_written(sheet);
}

// Runs the report and tells the host that the command ended (33197), once,
// however the report ends: at its end, declined, abandoned, or unwound by
// the host. False when the call is not admitted.
bool run_payments_report(const key_call& call) {
  const boundary from_host(boundary::kind::command);
  if (!from_host.admitted()) return false;
  bool ended = false;
  const auto end_command = [&] {
    if (ended) return;
    end_cash_list_command(host_values::end_of_cash_command);
    ended = true;
  };
  guarded_closing(
      [&] {
        guarded([&] { payments_report(call); });  // abandoned: ends as a declined report does
        end_command();
      },
      end_command);
  return true;
}

}  // namespace

int32_t Q7_STDCALL cash_list_handler(int32_t key, uint16_t a2, int32_t* record_count, char** rows,
                                     int32_t a5, table_descriptor* table, int32_t a7, FILE* file,
                                     int32_t a9, uint16_t a10, int32_t a11) {
  const key_call call{key, a2, record_count, rows, a5, table, a7, file, a9, a10, a11};
  // A key that arrives while a command runs, or from a second thread, runs
  // nothing of the plug-in's and is passed on at once.
  if (key == key_ctrl_a && run_payments_report(call)) return 0;
  return call.pass_on(module.previous_cash_handler);
}

}  // namespace q7
