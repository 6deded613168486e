// What the commands of the list of firms share: the plot under the cursor,
// the holder's ledger opened and closed, what a command opened closed
// however it ends, postings and the closing message.
#include "plugin/fees/plot_command.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "abi/mazovia.h"
#include "plugin/hostlink/guard.h"
#include "plugin/text/formatted_text.h"

namespace q7 {

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
  if (store_fee(command.holder_ledger(), {title}, amount, {fee_line}))
    command.posting_total += amount;
  else
    ++command.refused;
}

void tell_posted_total(const plot_command& command, const char* posted_format,
                       const char* nothing_posted) {
  const bool posted = !is_zero_amount(command.posting_total);
  const double total = command.posting_total / amount_scale;
  if (command.refused == 0) {
    if (posted)
      formatted_message({"uwaga"}, posted_format, host_values::style_message, total);
    else
      formatted_message({"uwaga"}, nothing_posted, host_values::style_message);
    return;
  }
  // A sum smaller than the command's fees must not pass for the whole: the
  // fees the host did not store are counted in a line of their own.
  const char* said = posted ? posted_format : nothing_posted;
  const bool line_ended = said[0] && said[std::strlen(said) - 1] == '\n';
  char format[256];
  format_text(format, line_ended ? "%s%s" : "%s\n%s", said,
              MZ("Nie zaksięgowano pozycji, których program nie zapisał: \x02%d\x01"));
  const int refused = static_cast<int>(command.refused);
  if (posted)
    formatted_message({"uwaga"}, format, host_values::style_message, total, refused);
  else
    formatted_message({"uwaga"}, format, host_values::style_message, refused);
}

}  // namespace q7
