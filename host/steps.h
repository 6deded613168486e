// The parts of the session steps: what a step is, and how its words are
// checked and read (host/step_arguments.cpp). The steps themselves, each a
// name, its arguments, its help and one action, are listed in
// host/steps.list; host/session_steps.cpp makes the table of them and runs
// a script's lines.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "abi/records.h"
#include "host/world.h"

namespace torval::steps {

// A step's arguments were refused: the reason is reported with the line.
struct refused {
  std::string reason;
};

// The words of a step after its name, with the line as written.
struct step_call {
  const std::string& line;
  std::vector<std::string> args;
  // The line after the step's name, as written.
  std::string rest;
  long long number(std::size_t i) const { return std::strtoll(args.at(i).c_str(), nullptr, 0); }
};

using step_action = void (*)(const step_call&);

// One step: its name (one or two words), its arguments as --help shows them
// and as they are checked, and what it does. Placeholders: N and the other
// upper-case names of whole numbers (decimal, or hexadecimal with 0x), AMOUNT
// in currency units, DATE as YY.MM.DD, TABLE and KEY by name or number,
// anything else one word; "a|b" one of them; [..] may be left out; "..."
// one or more. A step marked own_check checks its arguments itself.
struct step_kind {
  const char* name;
  const char* arguments;
  const char* help;
  step_action run;
  bool own_check = false;
};
inline constexpr bool own_check = true;

// Checking and reading a step's words (host/step_arguments.cpp).
bool whole_number(const std::string& text, long long low, long long high);
bool decimal_number(const std::string& text);
// A table named or numbered; -1 when it is neither.
int32_t table_number(const std::string& word);
// "ctrl-a" to "ctrl-z" are the codes 1 to 26; a number is taken as it is.
bool key_code(const std::string& word, int32_t& code);
// Checks the words after a step's name against its arguments.
void check_arguments(const step_kind& kind, const std::vector<std::string>& args);
std::string handler_name(const table& t);
bool plugin_loaded(const char* step);
table& existing_table(int32_t number);
table& plot_table();
// The plot held in a row of the list, as far as the table's records reach.
q7::plot_record held_plot(const table& t, std::size_t row);
// The row of the plot list that the list window's cursor is on.
long long cursor_row(const table& t);
// A row of the plot list, refused unless it holds a plot.
std::size_t plot_row(const step_call& s, std::size_t i);
// A call another thread or the message loop makes (the words from "key",
// "30008" or "30001" on), kept as the thread will read them: a table and a
// key by number.
std::vector<std::string> thread_call(const std::vector<std::string>& words);
// A holder's ledger: by account number the file of the work folder's
// ledgers, otherwise a path of the script.
std::string ledger_file(const std::string& word);

}  // namespace torval::steps
