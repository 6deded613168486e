// Host records and the plug-in's working sheets, mirrored byte for byte.
// Every structure is packed; every offset the two sides rely on is checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "machine.h"

namespace q7 {

struct table_descriptor;

// Key handler of a table's list window: 11 arguments, callee removes 44 bytes.
using key_handler = int32_t(Q7_STDCALL*)(int32_t key, uint16_t a2, int32_t* record_count,
                                          char** rows, int32_t a5, table_descriptor* table,
                                          int32_t a7, FILE* file, int32_t a9, uint16_t a10,
                                          int32_t a11);

// Event hook of a form: first value ignored, event in the low 16 bits of the second.
using form_hook = int32_t(Q7_STDCALL*)(int32_t first, int32_t event);

// Host table numbers.
inline constexpr int32_t plot_table_no = 35;
inline constexpr int32_t cash_table_no = 28;
inline constexpr int32_t ledger_table_no = 36;

// Key codes the handlers act on (control codes).
inline constexpr int32_t key_ctrl_a = 1;
inline constexpr int32_t key_ctrl_b = 2;
inline constexpr int32_t key_ctrl_c = 3;
inline constexpr int32_t key_ctrl_w = 23;

// Answer of a question box, a standard dialog or a form meaning yes / confirmed.
inline constexpr int confirmed = 0x5001;
// Number of a form's "Anuluj" button.
inline constexpr int cancelled = 0x5002;

// Amounts are held as doubles scaled by 10000: 1.00 is 10000.0.
inline constexpr double amount_scale = 10000.0;

// Columns of the plot table's column totals that the dry run fills
// ('kwota1', 'kwota2'), and of a ledger table's after 52290 (debit, credit).
inline constexpr int kwota1_column = 5;
inline constexpr int kwota2_column = 6;
inline constexpr int debit_column = 0;
inline constexpr int credit_column = 1;
// A numeric column's value (52178) counts hundredths: with this scale, a
// scaled amount becomes a column value, and a column value counts
// column_value_scale scaled units in the totals (40600 is 4060000.0).
inline constexpr int32_t column_scale = 100;
inline constexpr double column_value_scale = amount_scale / column_scale;

// Characters of a fee line: what a posting says of its amount.
inline constexpr std::size_t fee_line_length = 32;

#pragma pack(push, 1)

// The host's description of one of its tables; the fields between belong to the host.
struct table_descriptor {
  uint8_t host0[6];
  int16_t record_size;       // record size of the table in the running host
  void* record_buffer;       // filled by the host's reads, taken by its writes
  uint8_t host12[2];
  double* column_totals;     // scaled amounts, one per numeric column
  uint8_t host18[62];
  int32_t first_held;        // number of the first record held in the row array
  int32_t top_record;        // number of the record on the list window's top line
  int32_t cursor_line;       // cursor line within the window, from 0
  uint8_t host92[12];
  key_handler handler;       // called by the host for each key pressed in the list
};
static_assert(offsetof(table_descriptor, record_size) == 6);
static_assert(offsetof(table_descriptor, record_buffer) == 8);
static_assert(offsetof(table_descriptor, column_totals) == 14);
static_assert(offsetof(table_descriptor, first_held) == 80);
static_assert(offsetof(table_descriptor, top_record) == 84);
static_assert(offsetof(table_descriptor, cursor_line) == 88);
static_assert(offsetof(table_descriptor, handler) == 104);
static_assert(sizeof(table_descriptor) == 108);

// Record of the plot table (35): one plot holder, a firm of the list of firms.
struct plot_record {
  uint8_t host0[2];
  char plot_no_text[17];        // plot number as decimal text
  char holder_name[101];
  uint8_t host120[169];
  double ledger_debit_total;    // from the holder's ledger totals
  double ledger_credit_total;
  double ledger_balance;        // debit minus credit
  uint8_t host313[8];
  char fee_letters[61];         // which optional fees the plot bears
  uint8_t host382[195];
  int32_t area_milli;           // area in thousandths of a square metre
  uint8_t host581[4];
  int32_t kwota1;               // spare numeric column: simulated fees
  int32_t kwota2;               // spare numeric column: simulated fees without utilities
  uint8_t host593[365];
  int16_t ledger_no;            // number the holder's ledger file name is built from
};
static_assert(offsetof(plot_record, plot_no_text) == 2);
static_assert(offsetof(plot_record, holder_name) == 19);
static_assert(offsetof(plot_record, ledger_debit_total) == 289);
static_assert(offsetof(plot_record, ledger_credit_total) == 297);
static_assert(offsetof(plot_record, ledger_balance) == 305);
static_assert(offsetof(plot_record, fee_letters) == 321);
static_assert(offsetof(plot_record, area_milli) == 577);
static_assert(offsetof(plot_record, kwota1) == 585);
static_assert(offsetof(plot_record, kwota2) == 589);
static_assert(offsetof(plot_record, ledger_no) == 958);
static_assert(sizeof(plot_record) == 960);

// Record of the cash table (28): one cash document.
struct cash_record {
  uint8_t host0[53];
  char cash_date[9];            // YY.MM.DD, empty when the document has none
  char line_texts[250];         // ten slots of 25 characters
  uint8_t host312[72];
  char payer_name[101];
  uint8_t host485[79];
  double line_amounts[10];      // scaled amounts, one per slot
  uint8_t host644[40];
  char cash_plot_no[364];       // plot number as decimal text; runs to the record's end at most
};
inline constexpr std::size_t cash_line_slots = 10;
inline constexpr std::size_t cash_slot_width = 25;
static_assert(offsetof(cash_record, cash_date) == 53);
static_assert(offsetof(cash_record, line_texts) == 62);
static_assert(offsetof(cash_record, payer_name) == 384);
static_assert(offsetof(cash_record, line_amounts) == 564);
static_assert(offsetof(cash_record, cash_plot_no) == 684);
static_assert(sizeof(cash_record) == 1048);

// Record of a holder's ledger (table 36): one posting.
struct ledger_entry {
  uint8_t zero0[2];
  char title[301];              // the posting title: the key postings are found by
  char fee_line[fee_line_length + 1];
  char doc_date[9];             // YY.01.01
  char entry_date[9];           // the current date
  double amount;
  uint8_t zero362[18];
  int16_t term_days;            // days from doc_date to 30 June
  int16_t kind_code;            // ledger_entry_fee_posting
  char host_code[5];            // four characters of host information block 4
  uint8_t zero389[370];
  int32_t stamp_copy;
  int32_t stamp;                // nonzero for an entry in use; 0 marks a free entry
};
static_assert(offsetof(ledger_entry, title) == 2);
static_assert(offsetof(ledger_entry, fee_line) == 303);
static_assert(offsetof(ledger_entry, doc_date) == 336);
static_assert(offsetof(ledger_entry, entry_date) == 345);
static_assert(offsetof(ledger_entry, amount) == 354);
static_assert(offsetof(ledger_entry, term_days) == 380);
static_assert(offsetof(ledger_entry, kind_code) == 382);
// The kind of entry the plug-in posts: a fee.
inline constexpr int16_t ledger_entry_fee_posting = 24;
static_assert(offsetof(ledger_entry, host_code) == 384);
static_assert(offsetof(ledger_entry, stamp_copy) == 759);
static_assert(offsetof(ledger_entry, stamp) == 763);
static_assert(sizeof(ledger_entry) == 767);

// The head every form data record starts with: plot number, area, holder.
struct sheet_head {
  int16_t plot_no;
  int16_t area_m2;              // whole square metres
  char holder_name[101];
};
static_assert(sizeof(sheet_head) == 105);

// One plot's fees; its first 238 bytes are the data record of form 1001.
struct fee_sheet {
  sheet_head head;
  double plot_rate;             // usage fee per m²
  double water_rate;            // water fee per m²
  double energy_rate;           // flat energy and conservation fee
  double membership_fee;        // flat membership fee
  double usage_fee;
  double energy_fee;
  double water_fee;
  double heating_fee;
  double total;
  char fee_letters[61];
  char membership_line[fee_line_length + 1];
  char usage_line[fee_line_length + 1];
  char energy_line[fee_line_length + 1];
  char water_line[fee_line_length + 1];
  char heating_line[fee_line_length + 1];
};
static_assert(offsetof(fee_sheet, head.plot_no) == 0);
static_assert(offsetof(fee_sheet, head.area_m2) == 2);
static_assert(offsetof(fee_sheet, head.holder_name) == 4);
static_assert(offsetof(fee_sheet, plot_rate) == 105);
static_assert(offsetof(fee_sheet, water_rate) == 113);
static_assert(offsetof(fee_sheet, energy_rate) == 121);
static_assert(offsetof(fee_sheet, membership_fee) == 129);
static_assert(offsetof(fee_sheet, usage_fee) == 137);
static_assert(offsetof(fee_sheet, energy_fee) == 145);
static_assert(offsetof(fee_sheet, water_fee) == 153);
static_assert(offsetof(fee_sheet, heating_fee) == 161);
static_assert(offsetof(fee_sheet, total) == 169);
static_assert(offsetof(fee_sheet, fee_letters) == 177);
static_assert(offsetof(fee_sheet, membership_line) == 238);
static_assert(offsetof(fee_sheet, usage_line) == 271);
static_assert(offsetof(fee_sheet, energy_line) == 304);
static_assert(offsetof(fee_sheet, water_line) == 337);
static_assert(offsetof(fee_sheet, heating_line) == 370);
static_assert(sizeof(fee_sheet) == 403);

// Previous-year debts; its first 137 bytes are the data record of form 1003.
struct debts_sheet {
  sheet_head head;
  double water_prev_year;
  double water_advance;
  double power_prev_year;
  double power_advance;
  char water_prev_line[fee_line_length + 1];
  char water_advance_line[fee_line_length + 1];
  char power_prev_line[fee_line_length + 1];
  char power_advance_line[fee_line_length + 1];
};
static_assert(offsetof(debts_sheet, water_prev_year) == 105);
static_assert(offsetof(debts_sheet, water_advance) == 113);
static_assert(offsetof(debts_sheet, power_prev_year) == 121);
static_assert(offsetof(debts_sheet, power_advance) == 129);
static_assert(offsetof(debts_sheet, water_prev_line) == 137);
static_assert(offsetof(debts_sheet, water_advance_line) == 170);
static_assert(offsetof(debts_sheet, power_prev_line) == 203);
static_assert(offsetof(debts_sheet, power_advance_line) == 236);
static_assert(sizeof(debts_sheet) == 269);

// Entry and investment fees; its first 121 bytes are the data record of form 1004.
struct entry_fee_sheet {
  sheet_head head;
  double entry_fee;
  double investment_fee;
  char entry_fee_line[fee_line_length + 1];
  char investment_fee_line[fee_line_length + 1];
};
static_assert(offsetof(entry_fee_sheet, entry_fee) == 105);
static_assert(offsetof(entry_fee_sheet, investment_fee) == 113);
static_assert(offsetof(entry_fee_sheet, entry_fee_line) == 121);
static_assert(offsetof(entry_fee_sheet, investment_fee_line) == 154);
static_assert(sizeof(entry_fee_sheet) == 187);

#pragma pack(pop)

}  // namespace q7
