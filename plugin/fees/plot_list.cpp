// The key handler of the plot table (the list of firms): dispatch of its
// four commands and the steps they share.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "abi/form_template.h"
#include "abi/mazovia.h"
#include "plugin/fees/fee_sheet.h"
#include "plugin/fees/key_handlers.h"
#include "plugin/fees/plot_commands.h"
#include "plugin/hostlink/boundary.h"
#include "plugin/hostlink/guard.h"
#include "plugin/hostlink/module.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {


// Defaults of "Stawki" in its own order: plot rate, water rate, membership
// fee, energy rate (0.38, 0.42, 6.00, 10.00).
constexpr double default_rates[4] = {3800.0, 4200.0, 60000.0, 100000.0};

}  // namespace

plot_record& plot_command::record_buffer() const { return lent_record<plot_record>(plot_table); }

plot_record* plot_command::row_under_cursor() const {
  if (!call.rows || !call.record_count) return nullptr;
  // The row array has no length of its own; the record count bounds it.
  const int64_t record = int64_t{plot_table->top_record} + plot_table->cursor_line;
  if (record < 0 || record >= *call.record_count) return nullptr;
  const int64_t index = record - plot_table->first_held;
  if (index < 0 || index > INT32_MAX) return nullptr;
  return reinterpret_cast<plot_record*>(call.rows[index]);
}

plot_record& plot_command::row_under_cursor_or_stop() const {
  plot_record* plot = row_under_cursor();
  if (!plot) abandon_command();
  return *plot;
}

ledger_access plot_command::holder_ledger() {
  return {ledger_table, &lent_record<ledger_entry>(ledger_table), &entry_count, ledger};
}

bool within_form_limits(double amount) {
  return std::isfinite(amount) && amount >= forms::amount_min && amount <= forms::amount_max;
}

void read_rates(fee_sheet& sheet) {
  // Starts from the defaults, so that a host filling fewer than four leaves no
  // rate undefined.
  double rates[4];
  std::memcpy(rates, default_rates, sizeof rates);
  const bool read = configuration(host_values::setting_read_doubles, settings_section, "Stawki", "%f,%f,%f,%f", &rates[0],
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
  configuration(host_values::setting_write_doubles, settings_section, "Stawki", "%f,%f,%f,%f", +sheet.plot_rate,
                +sheet.water_rate, +sheet.membership_fee, +sheet.energy_rate);
}

bool take_plot_under_cursor(plot_command& command) {
  // A ledger table whose records are not ledger entries is none: the host's
  // ledger services would read and write another table's buffer with it.
  if (command.ledger_table->record_size != sizeof(ledger_entry)) return false;
  svc_52465_prepare_table(command.ledger_table, host_values::prepare_ledger_table);
  const plot_record* row = command.row_under_cursor();
  if (!row) return false;
  std::memcpy(&command.record_buffer(), row, sizeof(plot_record));
  return true;
}

bool open_holder_ledger(plot_command& command) {
  const int32_t account = command.row_under_cursor_or_stop().ledger_no;
  // Zeroed, with room to spare: a host that writes no name, or one of the
  // full length without a terminator, still leaves a terminated text.
  char file_name[host_values::ledger_file_name_length + 16] = {};
  svc_52311_ledger_file_name(account, file_name, "MMM", ".KON", host_values::ledger_file_name_length);
  command.ledger =
      svc_50516_open_ledger(host_values::holder_ledger_kind, file_name, command.ledger_table, &command.entry_count);
  if (!command.ledger) return false;
  note_opened(command, host_opening::holder_ledger);
  if (command.ok) {
    svc_52297_begin_changes(command.ledger_table, command.ledger);
    note_changes_begun(command);
  }
  return true;
}

namespace {

// Makes the closing calls of one thing the command opened, from the first
// not yet made: a call is counted as made once it returned or was
// abandoned, so an abandoned call is never tried again, while one the host
// unwound (its exception raised inside, before it changed anything) is
// made again by the closing that the unwinding runs. False when one was
// abandoned.
class closing_calls {
 public:
  explicit closing_calls(int& made) : made_(made) {}
  closing_calls& then(auto&& call, auto&& if_abandoned) {
    if (next_++ < made_) return *this;
    if (!guarded(call)) {
      whole_ = false;
      if_abandoned();
    }
    ++made_;
    return *this;
  }
  closing_calls& then(auto&& call) { return then(call, [] {}); }
  bool whole() const { return whole_; }

 private:
  int& made_;
  int next_ = 0;
  bool whole_ = true;
};

// Finishes and closes the holder's ledger (52290 and 52298 while the ok flag
// is set, 52302 with the ok flag) and shows its totals in the plot's row.
bool finish_holder_ledger(plot_command& command, plot_command::opening& ledger) {
  return closing_calls(ledger.calls_made)
      .then([&] { if (command.ok) command.ok = svc_52290_finish_ledger(command.ledger, command.entry_count, command.ledger_table); },
            [&] { command.ok = 0; })  // not finished
      .then([&] { if (command.ok && ledger.changes_begun) svc_52298_end_changes(command.ledger_table, command.ledger); })
      .then([&] { svc_52302_close_ledger(command.ok, host_values::unused, &command.ledger, host_values::unused); })
      .then([&] { show_ledger_totals_in_row(command); })
      .whole();
}

// Ends the pass over the plot file: 52298 while the ok flag is set, then 52283.
bool end_plot_pass(plot_command& command, plot_command::opening& pass) {
  FILE* file = command.call.file;
  return closing_calls(pass.calls_made)
      .then([&] { if (command.ok && pass.changes_begun) svc_52298_end_changes(command.plot_table, file); })
      .then([&] { svc_52283_end_pass(file); })
      .whole();
}

}  // namespace

void show_ledger_totals_in_row(plot_command& command) {
  const double* totals = command.ledger_table->column_totals;
  if (!totals) abandon_command();
  plot_record& plot = command.record_buffer();
  plot.ledger_debit_total = totals[debit_column];
  plot.ledger_credit_total = totals[credit_column];
  plot.ledger_balance = plot.ledger_debit_total - plot.ledger_credit_total;
  // The list shows the new totals; the plot table's file is not written here.
  std::memcpy(&command.row_under_cursor_or_stop(), &plot, sizeof plot);
}

void note_opened(plot_command& command, host_opening what) {
  // A command opens each thing once; one more would be a fault of the plug-in.
  if (command.opened_count == static_cast<int>(std::size(command.opened))) abandon_command();
  command.opened[command.opened_count++] = {what, false, 0};
}

void note_changes_begun(plot_command& command) { command.opened[command.opened_count - 1].changes_begun = true; }

void close_opened(plot_command& command, closing how) {
  if (how == closing::as_it_is) command.how_closed = how;
  bool whole = true;
  while (command.opened_count > 0) {
    plot_command::opening& last = command.opened[command.opened_count - 1];
    switch (last.what) {
      case host_opening::holder_ledger:
        if (command.how_closed == closing::as_it_is)
          whole &= closing_calls(last.calls_made)
                       .then([&] { svc_52302_close_ledger(command.ok, host_values::unused, &command.ledger, host_values::unused); })
                       .whole();
        else
          whole &= finish_holder_ledger(command, last);
        break;
      case host_opening::plot_pass:
        whole &= end_plot_pass(command, last);
        break;
    }
    --command.opened_count;
  }
  if (!whole) abandon_command();
}

bool area_in_range(const plot_record& plot) {
  const int32_t whole_m2 = plot.area_milli / 1000;
  return whole_m2 >= 0 && whole_m2 <= largest_area_m2;
}

void posting_title(char (&title)[256], const char* format) {
  format_text(title, format, bookkeeping_year());
}

void post(plot_command& command, const char* title, double amount, const char* fee_line) {
  command.posting_total += post_fee(command.holder_ledger(), {title}, amount, {fee_line});
}

void tell_posted_total(const plot_command& command, const char* posted_format,
                       const char* nothing_posted) {
  if (!is_zero_amount(command.posting_total))
    formatted_message({"uwaga"}, posted_format, host_values::style_message, command.posting_total / amount_scale);
  else
    formatted_message({"uwaga"}, nothing_posted, host_values::style_message);
}

namespace {

// Runs the command of the key, if it has one; true when the key is finished
// and must not be passed on.
bool run_plot_command(const key_call& call) {
  const boundary from_host(boundary::kind::command);
  if (!from_host.admitted()) return false;
  plot_command command{call};
  bool completed = false;
  // A command that had to be abandoned, or that the host unwound, closes
  // what it opened as its normal end does, from wherever it stopped; one
  // abandoned passes the key on like one that stopped.
  const bool ran = guarded_closing([&] {
    command.plot_table = svc_52256_table_descriptor(plot_table_no);
    command.ledger_table = svc_52256_table_descriptor(ledger_table_no);
    // Without both descriptors no command can run.
    if (!command.plot_table || !command.ledger_table) return;
    switch (call.key) {
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
  }, [&] { close_opened(command, command.how_closed); });
  return ran && completed;
}

}  // namespace

int32_t Q7_STDCALL plot_list_handler(int32_t key, uint16_t a2, int32_t* record_count, char** rows,
                                     int32_t a5, table_descriptor* table, int32_t a7, FILE* file,
                                     int32_t a9, uint16_t a10, int32_t a11) {
  const key_call call{key, a2, record_count, rows, a5, table, a7, file, a9, a10, a11};
  // A key that arrives while a command runs, or from a second thread, runs
  // nothing of the plug-in's and is passed on at once.
  if (run_plot_command(call)) return 1;
  return call.pass_on(module.previous_plot_handler);
}

}  // namespace q7
