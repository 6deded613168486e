// The host's world, as the plug-in finds it: its tables (descriptors,
// records in files, the rows the list window holds, column totals, the
// host's own key handler), the bookkeeping year, today's date, information
// block 4, the interface version it reports and the file of its settings
// (host/config_store.h). The files themselves are the file store's
// (host/file_store.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "abi/records.h"

namespace torval {

// A table of the host with the descriptor it hands to the plug-in.
struct table {
  int32_t number = 0;
  q7::table_descriptor descriptor{};
  std::vector<double> column_totals = std::vector<double>(16, 0.0);
  std::vector<char> record_buffer = std::vector<char>(2048, 0);
  int32_t record_count = 0;
  std::vector<std::vector<char>> held;  // the records the list window holds
  std::vector<char*> rows;              // the row array handed to the key handler
  FILE* file = nullptr;
  bool own_handler = true;  // the host's own key handler is in the slot
};

struct host_world {
  int32_t interface_version = 112;
  std::map<int32_t, table> tables;
  int16_t bookkeeping_year = 2011;
  std::string current_date = "11.03.15";  // YY.MM.DD, set by the session
  uint8_t information_block[64] = {};     // block 4: a four-character code at 54..57
  std::string config_path = "torval.ini";
};
host_world& world();

// Tables: a fresh descriptor for each of the host's standard tables, with
// the host's own key handler in its slot.
void reset_tables();
table& add_table(int32_t number, int16_t record_size);
table* find_table(int32_t number);
table* table_of(const q7::table_descriptor* descriptor);
// The host's own key handler of every table: it reports the eleven values.
int32_t Q7_STDCALL host_key_handler(int32_t key, uint32_t a2, int32_t* record_count, char** rows,
                                    int32_t a5, q7::table_descriptor* table, int32_t a7,
                                    FILE* file, int32_t a9, uint32_t a10, int32_t a11);

// Tables kept in files of fixed-size records.
bool read_record(table& t, FILE* file, int32_t index);
bool write_record(table& t, FILE* file, int32_t index);
bool append_record(table& t, FILE* file, int32_t* count);
int32_t records_in(FILE* file, int32_t record_size);
// The list window's rows: the records of the table's file, held in memory.
void reload_rows(table& t);

// Columns of the plot table that the simulation fills, and how a column's
// integer value counts in the column totals (scaled amounts).
using q7::kwota1_column;
using q7::kwota2_column;
inline double column_amount(int32_t column_value) { return column_value * q7::column_value_scale; }
// The plot table's column totals of 'kwota1' and 'kwota2', from its file.
void recompute_plot_totals(table& t);

// The folder of the holders' ledgers, in the session's working folder.
inline constexpr const char* ledger_folder = "ledgers";
// A holder's ledger entry: the plug-in writes the charged amount; the host
// keeps a paid amount in bytes 362..369, which the plug-in leaves zero.
double ledger_debit(const q7::ledger_entry& entry);
double ledger_credit(const q7::ledger_entry& entry);
void set_ledger_credit(q7::ledger_entry& entry, double credit);
// Sets a ledger table's debit and credit totals (columns 0 and 1) from the
// first count entries of a holder's ledger file; false when one cannot be read.
bool total_ledger(table& t, FILE* file, int32_t count);

// Amounts are held scaled by 10000 and shown with two decimals.
std::string amount_text(double scaled);
// Days from 1 January 1970 of a YY.MM.DD date; false when it is not one.
bool day_number(const char* date, long& days);
// A date of the calendar written YY.MM.DD (no 30 February).
bool calendar_date(const std::string& date);

}  // namespace torval
