// Ctrl-C in the list of firms: a dry run of the annual fees over every plot,
// written into the spare columns 'kwota1' (all fees) and 'kwota2' (without
// the fees that depend on the fee letters). No ledger is touched.
#include "abi/mazovia.h"
#include "plugin/fees/fee_sheet.h"
#include "plugin/fees/plot_commands.h"
#include "plugin/hostlink/guard.h"

namespace q7 {
namespace {

constexpr int32_t question_style = 9;
constexpr int32_t column_scale = 100;
constexpr int kwota1_column = 5;
constexpr int kwota2_column = 6;

int32_t descriptor_of(FILE* file) { return file ? fileno(file) : -1; }

}  // namespace

void simulate_fee_generation(plot_command& command) {
  if (question_box({"uwaga"},
                   {MZ("Symulacja generowania opłat dla wszystkich użytkowników.\n"
                       "Symulowane opłaty zostaną wpisane do rubryki 'kwota1'.\n"
                       "Symulowane opłaty bez mediów zostaną wpisane do rubryki 'kwota2'.\n"
                       "Operacja jest bezpieczna i nie ma wpływu na konta użytkowników działek.\n"
                       "Rubrykę należy wcześniej odkryć i nazwać (F10, Ctrl-O)")},
                   question_style) != confirmed)
    return;

  fee_sheet sheet{};
  read_rates(sheet);
  table_descriptor* table = command.plot_table;
  FILE* file = command.call.file;
  svc_52282(file);
  command.pass_open = true;
  svc_52297(table, file);
  command.plot_changes_begun = true;
  command.ok = 1;
  int32_t left_out = 0;  // plots whose area no fee may be computed from

  // Once a record cannot be read or written no other is: the pass ends there,
  // rather than counting on to a record count that may run far beyond the
  // table (up to 2^31 - 1) with nothing left to do.
  for (int32_t i = 0; command.call.record_count && i < *command.call.record_count; ++i) {
    command.ok = svc_52286(0, i, table, 0, file);
    if (!command.ok) break;
    plot_record& plot = command.plot_buffer();
    if (plot.plot_no_text[0] == 0) continue;
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
    } else {
      ++left_out;
    }
    svc_52204(table, &plot, -1, descriptor_of(file));
    const int32_t old_kwota1 = plot.kwota1;
    const int32_t old_kwota2 = plot.kwota2;
    // A record the host did not write keeps its old values in the file, and
    // the column totals take back those.
    auto keep_old_values = [&] {
      plot.kwota1 = old_kwota1;
      plot.kwota2 = old_kwota2;
    };
    guarded_or_undo(
        [&] {
          // A plot left out for its area holds no simulated fee at all.
          plot.kwota1 = in_range ? svc_52178(total, column_scale) : 0;
          plot.kwota2 = in_range ? svc_52178(total_without_utilities, column_scale) : 0;
          command.ok = svc_52287(0, i, table, 0, file);
        },
        [&] {
          keep_old_values();
          svc_52204(table, &plot, +1, descriptor_of(file));
        });
    if (!command.ok) keep_old_values();
    svc_52204(table, &plot, +1, descriptor_of(file));
    if (!command.ok) break;
  }

  end_plot_pass(command);

  const double* totals = table->column_totals;
  if (!totals) abandon_command();
  if (left_out == 0)
    formatted_message({"uwaga"}, MZ("Symulowane całościowe zadłużenie wyniesie: \x02%.2f (%.2f)"), 1,
                      totals[kwota1_column] / 10000.0, totals[kwota2_column] / 10000.0);
  else
    formatted_message({"uwaga"},
                      MZ("Symulowane całościowe zadłużenie wyniesie: \x02%.2f (%.2f)\x01\n"
                         "Pominięto działki o powierzchni spoza zakresu od 0 do 32767 m2: %d"),
                      1, totals[kwota1_column] / 10000.0, totals[kwota2_column] / 10000.0,
                      static_cast<int>(left_out));
}

}  // namespace q7
