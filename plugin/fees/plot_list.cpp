// The key handler of the plot table (the list of firms): dispatch of its
// four commands and the steps they share.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "abi/form_template.h"
#include "abi/mazovia.h"
#include "plugin/fees/fee_sheet.h"
#include "plugin/fees/plot_commands.h"
#include "plugin/hostlink/guard.h"
#include "plugin/hostlink/entry.h"
#include "plugin/hostlink/module.h"

namespace q7 {
namespace {

constexpr int32_t prepare_ledger_table = 255;
constexpr int32_t holder_ledger_kind = 53;
constexpr int32_t ledger_file_name_length = 104;

// Defaults of "Stawki" in its own order: plot rate, water rate, membership
// fee, energy rate (0.38, 0.42, 6.00, 10.00).
constexpr double default_rates[4] = {3800.0, 4200.0, 60000.0, 100000.0};

}  // namespace

// A table's record buffer holds one of the plug-in's records only while the
// table's records are of that size: the host may change the size it gives
// after activation, and lend a buffer of the new size.
plot_record& plot_command::plot_buffer() const {
  if (!plot_table->record_buffer || plot_table->record_size != sizeof(plot_record)) abandon_command();
  return *static_cast<plot_record*>(plot_table->record_buffer);
}

plot_record* plot_command::current_plot() const {
  if (!call.rows || !call.record_count) return nullptr;
  // The row array has no length of its own; the record count bounds it.
  const int64_t record = int64_t{plot_table->top_record} + plot_table->cursor_line;
  if (record < 0 || record >= *call.record_count) return nullptr;
  const int64_t index = record - plot_table->first_held;
  if (index < 0 || index > INT32_MAX) return nullptr;
  return reinterpret_cast<plot_record*>(call.rows[index]);
}

plot_record& plot_command::held_plot() const {
  plot_record* plot = current_plot();
  if (!plot) abandon_command();
  return *plot;
}

ledger_access plot_command::holder_ledger() {
  if (!ledger_table->record_buffer || ledger_table->record_size != sizeof(ledger_entry)) abandon_command();
  return {ledger_table, static_cast<ledger_entry*>(ledger_table->record_buffer), &entry_count,
          ledger};
}

bool within_form_limits(double amount) {
  return std::isfinite(amount) && amount >= forms::amount_min && amount <= forms::amount_max;
}

void read_rates(fee_sheet& sheet) {
  // Starts from the defaults, so that a host filling fewer than four leaves no
  // rate undefined.
  double rates[4];
  std::memcpy(rates, default_rates, sizeof rates);
  const bool read = configuration(8, settings_section, "Stawki", "%f,%f,%f,%f", &rates[0],
                                  &rates[1], &rates[2], &rates[3]) == 0;
  // A setting that holds something other than four rates the form would
  // accept counts as unreadable: a rate out of those limits could make a fee
  // infinite.
  const bool usable = read && within_form_limits(rates[0]) && within_form_limits(rates[1]) &&
                      within_form_limits(rates[2]) && within_form_limits(rates[3]);
  if (!usable) std::memcpy(rates, default_rates, sizeof rates);
  sheet.plot_rate = rates[0];
  sheet.water_rate = rates[1];
  sheet.membership_fee = rates[2];
  sheet.energy_rate = rates[3];
}

void save_rates(const fee_sheet& sheet) {
  configuration(9, settings_section, "Stawki", "%f,%f,%f,%f", +sheet.plot_rate,
                +sheet.water_rate, +sheet.membership_fee, +sheet.energy_rate);
}

bool take_current_plot(plot_command& command) {
  // A ledger table whose records are not ledger entries is none: the host's
  // ledger services would read and write another table's buffer with it.
  if (command.ledger_table->record_size != sizeof(ledger_entry)) return false;
  svc_52465(command.ledger_table, prepare_ledger_table);
  const plot_record* current = command.current_plot();
  if (!current) return false;
  std::memcpy(&command.plot_buffer(), current, sizeof(plot_record));
  return true;
}

bool open_holder_ledger(plot_command& command) {
  const int32_t account = command.held_plot().ledger_no;
  // Zeroed, with room to spare: a host that writes no name, or one of the
  // full length without a terminator, still leaves a terminated text.
  char file_name[ledger_file_name_length + 16] = {};
  svc_52311(account, file_name, "MMM", ".KON", ledger_file_name_length);
  command.ledger = svc_50516(holder_ledger_kind, file_name, command.ledger_table, &command.entry_count);
  if (!command.ledger) return false;
  command.ledger_open = true;
  if (command.ok) {
    svc_52297(command.ledger_table, command.ledger);
    command.ledger_changes_begun = true;
  }
  return true;
}

void close_holder_ledger(plot_command& command) {
  if (!command.ledger_open) return;
  command.ledger_open = false;
  bool whole = true;
  if (command.ok && !guarded([&] {
        command.ok = svc_52290(command.ledger, command.entry_count, command.ledger_table);
      })) {
    command.ok = 0;  // not finished
    whole = false;
  }
  if (command.ok && command.ledger_changes_begun)
    whole &= guarded([&] { svc_52298(command.ledger_table, command.ledger); });
  whole &= guarded([&] { svc_52302(command.ok, 0, &command.ledger, 0); });
  whole &= guarded([&] {
    const double* totals = command.ledger_table->column_totals;
    if (!totals) abandon_command();
    plot_record& plot = command.plot_buffer();
    plot.ledger_debit_total = totals[0];
    plot.ledger_credit_total = totals[1];
    plot.ledger_balance = plot.ledger_debit_total - plot.ledger_credit_total;
    // The list shows the new totals; the plot table's file is not written here.
    std::memcpy(&command.held_plot(), &plot, sizeof plot);
  });
  if (!whole) abandon_command();
}

void end_plot_pass(plot_command& command) {
  if (!command.pass_open) return;
  command.pass_open = false;
  FILE* file = command.call.file;
  bool whole = true;
  if (command.ok && command.plot_changes_begun)
    whole &= guarded([&] { svc_52298(command.plot_table, file); });
  whole &= guarded([&] { svc_52283(file); });
  if (!whole) abandon_command();
}

bool area_in_range(const plot_record& plot) {
  const int32_t whole_m2 = plot.area_milli / 1000;
  return whole_m2 >= 0 && whole_m2 <= largest_area_m2;
}

void posting_title(char (&title)[256], const char* format) {
  std::snprintf(title, sizeof title, format, bookkeeping_year());
}

void post(plot_command& command, const char* title, double amount, const char* fee_line) {
  command.posting_total += post_fee(command.holder_ledger(), {title}, amount, {fee_line});
}

void tell_posted_total(const plot_command& command, const char* posted_format,
                       const char* nothing_posted) {
  if (!is_zero_amount(command.posting_total))
    formatted_message({"uwaga"}, posted_format, 1, command.posting_total / 10000.0);
  else
    formatted_message({"uwaga"}, nothing_posted, 1);
}

int32_t Q7_STDCALL plot_list_handler(int32_t key, uint16_t a2, int32_t* record_count, char** rows,
                                     int32_t a5, table_descriptor* table, int32_t a7, FILE* file,
                                     int32_t a9, uint16_t a10, int32_t a11) {
  const key_call call{key, a2, record_count, rows, a5, table, a7, file, a9, a10, a11};
  plot_command command{call};
  bool completed = false;
  const bool ran = guarded([&] {
    command.plot_table = svc_52256(plot_table_no);
    command.ledger_table = svc_52256(ledger_table_no);
    // Without both descriptors no command can run.
    if (!command.plot_table || !command.ledger_table) return;
    switch (key) {
      case key_ctrl_c:
        simulate_fee_generation(command);
        break;
      case key_ctrl_b:
        generate_annual_fees(command);
        break;
      case key_ctrl_a:
        record_previous_year_debts(command);
        break;
      case key_ctrl_w:
        completed = charge_entry_fees(command);
        break;
      default:
        break;
    }
  });
  if (!ran) {
    // A command that had to be abandoned ends as its normal end does, from
    // wherever it stopped, and passes the key on like one that stopped.
    guarded([&] { close_holder_ledger(command); });
    guarded([&] { end_plot_pass(command); });
    completed = false;
  }
  if (completed) return 1;
  int32_t result = 0;
  guarded([&] { result = call.pass_on(module.previous_plot_handler); });
  return result;
}

}  // namespace q7
