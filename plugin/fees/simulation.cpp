// Ctrl-C in the list of firms: a dry run of the annual fees over every plot,
// written into the spare columns 'kwota1' (all fees) and 'kwota2' (without
// the fees that depend on the fee letters). No ledger is touched.
#include <cstring>

#include "abi/mazovia.h"
#include "plugin/fees/fee_rules.h"
#include "plugin/fees/commands.h"
#include "plugin/fees/rates.h"
#include "plugin/fees/record_change.h"
#include "plugin/hostlink/guard.h"
#include "plugin/text/formatted_text.h"

namespace q7 {

namespace {

// Where a dry run stopped before the last record.
enum class stop { none, unread, unwritten };

// A plot's number as typed, cut to its field and with no byte that the host's
// message box would take for markup.
void shown_plot_number(char (&out)[sizeof(plot_record::plot_no_text)], const plot_record& plot) {
  for (std::size_t i = 0; i < sizeof out; ++i) {
    const auto byte = static_cast<unsigned char>(i + 1 < sizeof out ? plot.plot_no_text[i] : 0);
    out[i] = static_cast<char>(byte != 0 && byte < ' ' ? '?' : byte);
    if (byte == 0) break;
  }
}

// Adds to the closing message's last lines, after a line end when they hold
// one, where a run that stopped did, and that the plots from there on keep
// the amounts of an earlier run.
template <std::size_t N>
void tell_where_stopped(char (&after)[N], stop stopped, const char* reached) {
  char place[128];
  if (stopped == stop::unwritten)
    format_text(place, MZ("Symulacja przerwana: program nie zapisał działki nr \x02%s\x01."), reached);
  else if (reached[0])
    format_text(place, MZ("Symulacja przerwana po działce nr \x02%s\x01: program nie odczytał następnej."),
                reached);
  else
    format_text(place, MZ("Symulacja przerwana już przy pierwszej działce: program jej nie odczytał."));
  const std::size_t held = std::strlen(after);
  format_text(after + held, N - held,
              MZ("%s%s\nOd tego miejsca działki mają w rubrykach 'kwota1' i 'kwota2' kwoty\n"
                 "z wcześniejszej symulacji: sumy wyżej nie pochodzą tylko z tej symulacji.\n"
                 "Wykonaj symulację jeszcze raz."),
              held ? "\n" : "", place);
}

}  // namespace

void simulate_fee_generation(plot_command& command) {
  if (question_box({"uwaga"},
                   {MZ("Symulacja generowania opłat dla wszystkich użytkowników.\n"
                       "Symulowane opłaty zostaną wpisane do rubryki 'kwota1'.\n"
                       "Symulowane opłaty bez mediów zostaną wpisane do rubryki 'kwota2'.\n"
                       "Operacja jest bezpieczna i nie ma wpływu na konta użytkowników działek.\n"
                       "Rubrykę należy wcześniej odkryć i nazwać (F10, Ctrl-O)")},
                   host_values::style_question_ok_cancel) != confirmed)
    return;

  fee_sheet sheet{};
  read_rates(sheet);
  table_descriptor* table = command.plot_table;
  FILE* file = command.call.file;
  svc_52282_begin_pass(file);
  note_opened(command, host_opening::plot_pass);
  svc_52297_begin_changes(table, file);
  note_changes_begun(command);
  command.ok = 1;
  int32_t left_out = 0;  // plots whose area no fee may be computed from
  stop stopped = stop::none;
  char reached[sizeof(plot_record::plot_no_text)] = {};  // the last plot reached, as typed

  // Once a record cannot be read or written no other is: the pass ends there,
  // rather than counting on to a record count that may run far beyond the
  // table (up to 2^31 - 1) with nothing left to do.
  for (int32_t i = 0; command.call.record_count && i < *command.call.record_count; ++i) {
    command.ok = svc_52286_read_record(host_values::unused, i, table, host_values::unused, file);
    if (!command.ok) {
      stopped = stop::unread;
      break;
    }
    plot_record& plot = command.record_buffer();
    if (plot.plot_no_text[0] == 0) continue;
    shown_plot_number(reached, plot);
    double total = 0.0, total_without_utilities = 0.0;
    const bool in_range = area_in_range(plot);
    if (in_range) {
      // Only the amounts: the fee lines of a dry run are never read.
      fill_fee_sheet(sheet, plot);
      fee_sheet without_utilities = sheet;
      compute_plot_amounts(sheet);
      without_utilities.fee_letters[0] = 0;
      compute_plot_amounts(without_utilities);
      total = sheet.total;
      total_without_utilities = without_utilities.total;
    }
    command.ok = change_record({table, file}, i, plot, [&] {
      // A plot left out for its area holds no simulated fee at all.
      plot.kwota1 = in_range ? svc_52178_column_value(total, column_scale) : 0;
      plot.kwota2 = in_range ? svc_52178_column_value(total_without_utilities, column_scale) : 0;
    });
    if (!command.ok) {
      stopped = stop::unwritten;
      break;
    }
    if (!in_range) ++left_out;  // counted once its 0 is written
  }

  close_opened(command);

  const double* totals = table->column_totals;
  if (!totals) abandon_command();
  const double kwota1 = totals[kwota1_column] / amount_scale, kwota2 = totals[kwota2_column] / amount_scale;
  // The lines after the totals: the plots left out for their area, and where
  // a run that stopped before the last record stopped, so that sums holding
  // plots this run did not reach do not pass for its own.
  char after[640] = "";
  if (left_out != 0)
    format_text(after, MZ("Pominięto działki o powierzchni spoza zakresu od 0 do 32767 m2: %d"),
                static_cast<int>(left_out));
  if (stopped != stop::none) tell_where_stopped(after, stopped, reached);
  if (after[0] == 0)
    formatted_message({"uwaga"}, MZ("Symulowane całościowe zadłużenie wyniesie: \x02%.2f (%.2f)"),
                      host_values::style_message, kwota1, kwota2);
  else
    formatted_message({"uwaga"}, MZ("Symulowane całościowe zadłużenie wyniesie: \x02%.2f (%.2f)\x01\n%s"),
                      host_values::style_message, kwota1, kwota2, after);
}

}  // namespace q7
