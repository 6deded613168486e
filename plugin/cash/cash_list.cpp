// The key handler of the cash table (the cash desk) and its one command,
// Ctrl-A: the payments of plot holders in a period, by fee category.
#include <cstdio>
#include <cstring>

#include "abi/mazovia.h"
#include "plugin/list_handlers.h"
#include "plugin/cash/payments_row.h"
#include "plugin/cash/payments_sheet.h"
#include "plugin/hostlink/guard.h"
#include "plugin/hostlink/key_call.h"
#include "plugin/hostlink/module.h"
#include "plugin/hostlink/services.h"
#include "plugin/hostlink/way_in.h"
#include "plugin/platform/platform.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {

constexpr char report_file[] = "info.txt";        // compact, shown by the host
constexpr char listing_file[] = "info2.txt";      // fixed widths, printed on request

// The period of the report: start date at 0, end date at 9. It keeps the
// period entered last for the next run.
char period[20];

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

// One cash document of the report: its row added to the totals and written
// into the listing, the compact file and the spreadsheet file.
void report_row(const cash_record& record, payments_row& totals, payments_sheet& sheet) {
  const payments_row row = payments_row_of(record);
  add_to_totals(totals, row);

  char date[9];
  terminated_copy<8>(date, record.cash_date);
  const amount_texts amounts = amount_texts_of(row);
  char line[1024];
  format_amounts_line(line, "%-25.25s\t%3d\t%10s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t", amounts,
                      row.payer, static_cast<int>(row.plot_no), date);
  svc_52407_append_line(listing_file, line);
  // The compact file keeps the name's padding, which stands before the first tab.
  if (char* tab = std::strchr(line, '\t')) remove_spaces(tab);
  svc_52407_append_line(report_file, line);
  payments_sheet_row(sheet, record, row, amounts);
}

// The record a report's scan could not read, which ends it before the last.
struct unread_record {
  int32_t at;         // its place in the cash file, from 1; 0 when every record was read
  int32_t of;         // records in the file
  char last_date[9];  // of the last record read
};

// The last line of both files of an incomplete report, its first words alone
// in the first column: a printed or filed report says it is incomplete.
void mark_incomplete(const unread_record& unread) {
  char line[256];
  format_text(line, MZ("RAPORT NIEPEŁNY: nie odczytano dokumentu kasy %d. z %d ani dalszych; sumy ich nie obejmują."),
              static_cast<int>(unread.at), static_cast<int>(unread.of));
  svc_52407_append_line(listing_file, line);
  svc_52407_append_line(report_file, MZ("RAPORT NIEPEŁNY\t"));
}

// Tells, before the print question, that the report is incomplete and from where.
void tell_report_incomplete(const unread_record& unread) {
  char last_read[96];
  if (unread.at == 1)
    format_text(last_read, MZ("żaden dokument nie został odczytany"));
  else if (unread.last_date[0] == 0)
    format_text(last_read, MZ("ostatni odczytany dokument nie ma daty"));
  else
    format_text(last_read, MZ("ostatni odczytany dokument ma datę %s"), unread.last_date);
  formatted_message({"uwaga"},
                    MZ("Raport jest \x02NIEPEŁNY\x01.\n"
                       "Nie udało się odczytać dokumentu %d. z %d w kasie; dalszych już nie czytano.\n"
                       "Sumy raportu obejmują tylko dokumenty przed nim\n(%s).\n"
                       "Plik dla arkusza kalkulacyjnego nie został zapisany; plik z wcześniejszego\n"
                       "raportu za ten okres, jeśli był, nie zmienił się.\n"
                       "Wykonaj raport jeszcze raz, zanim go wydrukujesz lub przekażesz dalej."),
                    host_values::style_message, static_cast<int>(unread.at), static_cast<int>(unread.of),
                    last_read);
}

void payments_report(const key_call& call) {
  if (question_box({"uwaga"}, {MZ("Raport wpłat działkowców w okresie\nCzy wykonać raport?")},
                   host_values::style_question_yes_no) != confirmed)
    return;
  if (svc_52023_run_dialog(host_values::report_period_dialog, period, host_values::unused) != confirmed) return;

  platform::delete_file(report_file);
  platform::delete_file(listing_file);
  char line[1024];
  format_text(line,
                "%-25.25s\t%3s\t%10s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t", "Nazwisko", "Nr", "Data",
                MZ("członk."), MZ("Użytkow."), "Energia", "Woda", "CO", "Inne", "Razem");
  svc_52407_append_line(listing_file, line);
  payments_row totals{};
  if (!call.record_count) abandon_command();
  const auto& record = lent_record<const cash_record>(call.table);
  // The spreadsheet file is written beside the two text files; a report
  // abandoned before its end leaves nothing of it.
  payments_sheet sheet;
  payments_sheet_begin(sheet, period);
  amount_texts total_amounts;
  unread_record unread{};
  guarded_or_undo([&] {
    // Once a record cannot be read no other is, and no row follows: the scan
    // ends there, rather than counting on to a record count that may run far
    // beyond the table (up to 2^31 - 1), comparing the dates of no record.
    for (int32_t i = 0; i < *call.record_count; ++i) {
      if (!svc_52286_read_record(host_values::unused, i, call.table, host_values::unused, call.file)) {
        unread.at = i + 1;
        unread.of = *call.record_count;
        break;
      }
      char date[9];
      terminated_copy<8>(date, record.cash_date);
      std::memcpy(unread.last_date, date, sizeof date);
      if (!within_period(date)) continue;
      if (record.cash_plot_no[0] == 0) continue;
      report_row(record, totals, sheet);
    }

    svc_52407_append_line(report_file, "");
    svc_52407_append_line(listing_file, "");
    total_amounts = amount_texts_of(totals);
    format_amounts_line(line, "%-25.25s\t   \t%10s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t%8s\t", total_amounts,
                        "RAZEM", "");
    svc_52407_append_line(listing_file, line);
    remove_spaces(line);
    svc_52407_append_line(report_file, line);
    if (unread.at) mark_incomplete(unread);
  }, [&] { payments_sheet_discard(sheet); });
  // An incomplete report writes no spreadsheet file: one of an earlier
  // complete report of the period stays as it was.
  bool sheet_written = false;
  if (unread.at)
    payments_sheet_discard(sheet);
  else
    sheet_written = payments_sheet_end(sheet, total_amounts);

  svc_52409_show_report(report_file,
                        MZ("l-1Nazwisko\rc10Działka\rl13Data\rl13Skł.członkowska\rp12Użytkowanie\rp13Energia\r"
                           "p13Woda\rp13CO\rp10Inne\rp13Razem"),
                        host_values::unused, "Raport", host_values::unused);
  if (unread.at) tell_report_incomplete(unread);
  if (question_box({"uwaga"}, {MZ("Czy wydrukować raport?")}, host_values::style_question_yes_no) == confirmed) {
    using namespace host_values;
    svc_38360_print_file(unused, listing_file, print_left, print_top, print_right, print_copies);
  }
  if (!sheet_written && !unread.at) tell_payments_sheet_not_written(sheet);
}

// Runs the report and tells the host that the command ended (33197), once,
// however the report ends: at its end, declined, abandoned, or unwound by
// the host. False when the call is not admitted.
bool run_payments_report(const key_call& call) {
  return from_host(call_kind::command, [&] {
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
  });
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
