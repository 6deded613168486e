// The commands of the list of firms (the plot table) and what they share:
// the working state of one key press, the holder's ledger, the rates.
#pragma once

#include <cstdint>
#include <cstdio>

#include "abi/records.h"
#include "plugin/fees/ledger.h"
#include "plugin/hostlink/key_call.h"

namespace q7 {

// Everything one command uses, fetched or opened anew for each key press.
// What the command has opened in the host is recorded here, so that a command
// stopped anywhere is closed by the key handler as its normal end closes it.
struct plot_command {
  const key_call& call;
  table_descriptor* plot_table = nullptr;    // table 35
  table_descriptor* ledger_table = nullptr;  // table 36
  int32_t ok = 1;
  double posting_total = 0.0;
  FILE* ledger = nullptr;            // the holder's ledger while it is open
  int32_t entry_count = 0;
  bool ledger_open = false;          // opened with 50516, not yet closed
  bool ledger_changes_begun = false; // 52297 on the ledger
  bool pass_open = false;            // simulation: 52282 on the plot file, not yet ended
  bool plot_changes_begun = false;   // simulation: 52297 on the plot table

  // The plot table's record buffer, as the host's reads fill it.
  plot_record& plot_buffer() const;
  // The plot under the list cursor in the row array the host holds; null
  // when the cursor points outside it.
  plot_record* current_plot() const;
  // The same, once it is known to be there; the command stops otherwise.
  plot_record& held_plot() const;
  // The open holder's ledger as the postings take it.
  ledger_access holder_ledger();
};

// An amount a form accepts: a finite number within the forms' amount limits
// (±10¹³ scaled).
bool within_form_limits(double amount);

// The four rates of the setting "Stawki", or their defaults when it cannot be
// read: plot_rate, water_rate, membership_fee, energy_rate in that order.
void read_rates(fee_sheet& sheet);
void save_rates(const fee_sheet& sheet);

// Prepares the ledger table and copies the current plot into the plot
// buffer; false when there is no current plot to work on.
bool take_current_plot(plot_command& command);
// Opens the current plot holder's ledger; false when the host cannot.
bool open_holder_ledger(plot_command& command);
// Finishes and closes the ledger and shows its totals in the plot's row, once
// however often it is called. A closing call that is abandoned is skipped and
// the rest still run; then the command stops, with no message after it.
void close_holder_ledger(plot_command& command);
// Ends the simulation's pass over the plot file, once: 52298 while the ok
// flag is set, then 52283.
void end_plot_pass(plot_command& command);

// Whole square metres of a plot that a fee may be computed from: 0 to 32767.
bool area_in_range(const plot_record& plot);
inline constexpr int32_t largest_area_m2 = 32767;
// Formats a posting title with the bookkeeping year into a 256-byte buffer.
void posting_title(char (&title)[256], const char* format);
// Posts a fee and adds what was stored to the command's posting total.
void post(plot_command& command, const char* title, double amount, const char* fee_line);
// The closing message: the posted total, or the text for nothing posted.
void tell_posted_total(const plot_command& command, const char* posted_format,
                       const char* nothing_posted);

// The commands, in the order of their keys.
void record_previous_year_debts(plot_command& command);   // Ctrl-A
void generate_annual_fees(plot_command& command);         // Ctrl-B
void simulate_fee_generation(plot_command& command);      // Ctrl-C
bool charge_entry_fees(plot_command& command);            // Ctrl-W; true when it completed

}  // namespace q7
