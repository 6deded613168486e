// What the commands of the list of firms (the plot table) share: the working
// state of one key press, the plot under the cursor, the holder's ledger,
// closing what a command opened, postings and the closing message.
#pragma once

#include <cstdint>
#include <cstdio>

#include "abi/records.h"
#include "plugin/fees/ledger.h"
#include "plugin/hostlink/key_call.h"

namespace q7 {

// What a command opens in the host and must close before it ends.
enum class host_opening : uint8_t {
  holder_ledger,  // 50516 (and 52297 on it while the ok flag is set)
  plot_pass,      // 52282 on the plot table's file (and 52297 on the table)
};

// How what a command opened is closed: finished as at the command's end (also
// after an abandonment), or as it is when the user cancelled (nothing finished).
enum class closing { finished, as_it_is };

// Everything one command uses, fetched or opened anew for each key press.
// What the command opens in the host it registers in `opened` as it opens
// it; every way out of the command (its end, a cancel, an abandonment, the
// host unwinding it) closes through close_opened, the last opened first,
// each closing call once.
struct plot_command {
  const key_call& call;
  table_descriptor* plot_table = nullptr;    // table 35
  table_descriptor* ledger_table = nullptr;  // table 36
  int32_t ok = 1;
  double posting_total = 0.0;
  int32_t refused = 0;  // postings the host refused to store
  FILE* ledger = nullptr;  // the holder's ledger while it is open
  int32_t entry_count = 0;

  struct opening {
    host_opening what;
    bool changes_begun;  // 52297 on it
    int calls_made;      // of its closing calls, those made or abandoned
  };
  opening opened[2] = {};
  int opened_count = 0;
  closing how_closed = closing::finished;  // once as_it_is, as it is to the end

  // The plot table's record buffer, as the host's reads fill it.
  plot_record& record_buffer() const;
  // The plot in the list's row under the cursor, in the row array the host
  // holds; null when the cursor points outside it.
  plot_record* row_under_cursor() const;
  // The same, once it is known to be there; the command stops otherwise.
  plot_record& row_under_cursor_or_stop() const;
  // The open holder's ledger as the postings take it.
  ledger_access holder_ledger();
};

// Registers what was just opened, and marks that its changes have begun.
void note_opened(plot_command& command, host_opening what);
void note_changes_begun(plot_command& command);
// Closes everything the command opened, the last opened first. A closing
// call that is abandoned is skipped and the rest still run; then the command
// stops, with no message after it.
void close_opened(plot_command& command, closing how = closing::finished);
// The holder's ledger totals (table 36's column totals) into the plot's row
// of the list, as the host shows it.
void show_ledger_totals_in_row(plot_command& command);

// Prepares the ledger table and copies the plot under the cursor into the
// record buffer; false when there is no plot there to work on.
bool take_plot_under_cursor(plot_command& command);
// Opens the holder's ledger of the plot under the cursor, and begins changes
// on it while the ok flag is set; false when the host cannot open it.
bool open_holder_ledger(plot_command& command);

// Whole square metres of a plot that a fee may be computed from: 0 to 32767.
bool area_in_range(const plot_record& plot);
inline constexpr int32_t largest_area_m2 = 32767;
// Formats a posting title with the bookkeeping year into a 256-byte buffer.
void posting_title(char (&title)[256], const char* format);
// Posts a fee and adds what was stored to the command's posting total; a
// posting the host refused is counted.
void post(plot_command& command, const char* title, double amount, const char* fee_line);
// The closing message: the posted total, or the text for nothing posted;
// then, in a line of its own, how many postings the host refused, if any.
void tell_posted_total(const plot_command& command, const char* posted_format,
                       const char* nothing_posted);

}  // namespace q7
