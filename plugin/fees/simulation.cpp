// Ctrl-C in the list of firms: a dry run of the annual fees over every plot,
// written into the spare columns 'kwota1' (all fees) and 'kwota2' (without
// the fees that depend on the fee letters). No ledger is touched.
#include "abi/mazovia.h"
#include "plugin/fees/fee_sheet.h"
#include "plugin/fees/plot_commands.h"
#include "plugin/hostlink/binding.h"

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
  svc_52297(table, file);
  command.ok = 1;

  for (int32_t i = 0; command.call.record_count && i < *command.call.record_count; ++i) {
    if (command.ok) command.ok = svc_52286(0, i, table, 0, file);
    if (!command.ok) continue;
    plot_record& plot = command.plot_buffer();
    if (plot.plot_no_text[0] == 0) continue;
    fill_fee_sheet(sheet, plot);
    fee_sheet without_utilities = sheet;
    compute_plot_fees(sheet);
    without_utilities.fee_letters[0] = 0;
    compute_plot_fees(without_utilities);
    svc_52204(table, &plot, -1, descriptor_of(file));
    const int32_t old_kwota1 = plot.kwota1;
    const int32_t old_kwota2 = plot.kwota2;
    // A record the host did not write keeps its old values in the file, and
    // the column totals take back those.
    auto keep_old_values = [&] {
      plot.kwota1 = old_kwota1;
      plot.kwota2 = old_kwota2;
    };
    try {
      plot.kwota1 = svc_52178(sheet.total, column_scale);
      plot.kwota2 = svc_52178(without_utilities.total, column_scale);
      command.ok = svc_52287(0, i, table, 0, file);
    } catch (...) {
      keep_old_values();
      svc_52204(table, &plot, +1, descriptor_of(file));
      throw;
    }
    if (!command.ok) keep_old_values();
    svc_52204(table, &plot, +1, descriptor_of(file));
  }

  if (command.ok) svc_52298(table, file);
  svc_52283(file);

  const double* totals = table->column_totals;
  if (!totals) abandon_command();
  formatted_message({"uwaga"}, MZ("Symulowane całościowe zadłużenie wyniesie: \x02%.2f (%.2f)"), 1,
                    totals[kwota1_column] / 10000.0, totals[kwota2_column] / 10000.0);
}

}  // namespace q7
