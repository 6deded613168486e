// Checking a session step's words against what the step takes, and reading
// tables, rows, keys, calls and ledgers from them.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/neighbours.h"
#include "host/session.h"
#include "host/steps.h"
#include "host/texts.h"
#include "host/world.h"

namespace torval::steps {

// Names of the host's tables and of the keys that start the plug-in's commands.
constexpr std::pair<const char*, int32_t> table_names[] = {
    {"plots", q7::plot_table_no}, {"cash", q7::cash_table_no}, {"ledger", q7::ledger_table_no}};

bool whole_number(const std::string& text, long long low, long long high) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long long n = std::strtoll(text.c_str(), &end, 0);
  return !*end && n >= low && n <= high;
}

bool decimal_number(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  return !text.empty() && !*end && value == value && value < 1e13 && value > -1e13 &&
         text.find_first_of("xXnNiI") == std::string::npos;
}

// A table named or numbered; -1 when it is neither.
int32_t table_number(const std::string& word) {
  for (const auto& [name, number] : table_names)
    if (word == name) return number;
  return whole_number(word, INT32_MIN, INT32_MAX) ? static_cast<int32_t>(std::strtoll(word.c_str(), nullptr, 0))
                                                  : -1;
}

// "ctrl-a" to "ctrl-z" are the codes 1 to 26; a number is taken as it is.
bool key_code(const std::string& word, int32_t& code) {
  if (word.size() == 6 && word.compare(0, 5, "ctrl-") == 0 && word[5] >= 'a' && word[5] <= 'z') {
    code = word[5] - 'a' + 1;
    return true;
  }
  if (!whole_number(word, INT32_MIN, INT32_MAX)) return false;
  code = static_cast<int32_t>(std::strtoll(word.c_str(), nullptr, 0));
  return true;
}

bool is_literal(const std::string& token) {
  for (char c : token)
    if (c >= 'A' && c <= 'Z') return false;
  return true;
}

// Why a word is not what the placeholder asks for; empty when it is.
std::string mismatch(const std::string& placeholder, const std::string& word) {
  std::string names;
  for (const std::string& choice : split_text(placeholder, '|')) {
    std::string reason;
    if (is_literal(choice)) {
      if (word == choice) return "";
      names += (names.empty() ? "" : ", ") + std::string("\"") + choice + "\"";
      continue;
    }
    if (choice == "AMOUNT" || choice == "PLOT" || choice == "WATER" || choice == "ENERGY" ||
        choice == "MEMBERSHIP") {
      if (decimal_number(word)) return "";
      reason = "an amount in currency units";
    } else if (choice == "DATE") {
      if (calendar_date(word)) return "";
      reason = "a date YY.MM.DD";
    } else if (choice == "TABLE") {
      if (table_number(word) != -1 || word == "-1") return "";
      reason = "a table (plots, cash, ledger or a number)";
    } else if (choice == "KEY") {
      int32_t code;
      if (key_code(word, code)) return "";
      reason = "a key (ctrl-a to ctrl-z or a number)";
    } else if (choice == "N" || choice == "K" || choice == "ROW" || choice == "FIRST" ||
               choice == "TOP" || choice == "CURSOR" || choice == "MODE" || choice == "SERVICE" ||
               choice == "YEAR" || choice[0] == 'A') {
      if (whole_number(word, INT32_MIN, UINT32_MAX)) return "";
      reason = "a whole number";
    } else {
      return "";  // a word of any kind
    }
    names += (names.empty() ? "" : ", ") + reason;
  }
  return "\"" + word + "\" is not " + names;
}

// Checks the words after a step's name against its arguments.
void check_arguments(const step_kind& kind, const std::vector<std::string>& args) {
  std::size_t at = 0;
  bool optional = false;
  for (std::string token : split_words(kind.arguments)) {
    if (token[0] == '[') optional = true, token.erase(0, 1);
    const bool closes = token.back() == ']';
    if (closes) token.pop_back();
    const bool repeats = token.size() > 3 && token.compare(token.size() - 3, 3, "...") == 0;
    if (repeats) token.resize(token.size() - 3);
    if (at >= args.size()) {
      if (!optional) throw refused{"missing " + token + " (" + kind.name + " " + kind.arguments + ")"};
    } else {
      do {
        if (const std::string why = mismatch(token, args[at]); !why.empty())
          throw refused{why + " (" + kind.name + " " + kind.arguments + ")"};
        ++at;
      } while (repeats && at < args.size());
    }
    if (closes) optional = false;
  }
  if (at < args.size())
    throw refused{std::string("more than ") + kind.name + " takes: \"" + args[at] + "\" (" +
                  kind.name + (*kind.arguments ? std::string(" ") + kind.arguments : " takes nothing") + ")"};
}

std::string handler_name(const table& t) {
  const auto handler = reinterpret_cast<void*>(t.descriptor.handler);
  if (!handler) return "no key handler";
  if (handler == reinterpret_cast<void*>(&host_key_handler)) return "host's key handler";
  if (is_other_module_handler(t.descriptor.handler)) return "other module's key handler";
  return "plug-in's key handler";
}

bool plugin_loaded(const char* step) {
  if (neighbours().plugin.start_stop) return true;
  throw refused{std::string("cannot ") + step + ": the plug-in is not loaded (load comes first)"};
}

table& existing_table(int32_t number) {
  table* t = find_table(number);
  if (!t) throw refused{"the host has no table " + std::to_string(number)};
  return *t;
}

table& plot_table() { return existing_table(q7::plot_table_no); }

// The plot held in a row of the list, as far as the table's records reach
// (a session may have made them shorter than a plot record).
q7::plot_record held_plot(const table& t, std::size_t row) {
  q7::plot_record plot{};
  if (row < t.held.size())
    std::memcpy(&plot, t.held[row].data(), std::min(sizeof plot, t.held[row].size()));
  return plot;
}

// The row of the plot list that the list window's cursor is on.
long long cursor_row(const table& t) {
  const auto& d = t.descriptor;
  return static_cast<long long>(d.top_record) + d.cursor_line - d.first_held;
}

// A row of the plot list, refused unless it holds a plot.
std::size_t plot_row(const step_call& s, std::size_t i) {
  const table& t = plot_table();
  const long long row = s.number(i);
  const long long plots = static_cast<long long>(t.rows.size()) - 1;
  if (row < 0 || row >= plots)
    throw refused{"row " + s.args[i] + " holds no plot: " +
                  (plots > 0 ? "the plot list has rows 0 to " + std::to_string(plots - 1)
                             : std::string("the plot list is empty"))};
  return static_cast<std::size_t>(row);
}

std::vector<std::string> thread_call(const std::vector<std::string>& w) {
  const std::string usage = "key TABLE KEY, 30008 MODE, or 30001 start|stop";
  if (w.size() < 2) throw refused{usage};
  plugin_loaded("call from another thread");
  if (w[0] == "key") {
    int32_t key = 0;
    if (w.size() != 3 || !key_code(w[2], key)) throw refused{usage};
    return {"key", std::to_string(existing_table(table_number(w[1])).number), std::to_string(key)};
  }
  const bool entry = w.size() == 2 && (w[0] == "30008" ? whole_number(w[1], INT32_MIN, INT32_MAX)
                                                       : w[0] == "30001" && (w[1] == "start" || w[1] == "stop"));
  if (!entry) throw refused{usage};
  return w;
}

std::string ledger_file(const std::string& word) {
  if (!whole_number(word, 0, 99999)) return script_path(word);
  char name[64];
  std::snprintf(name, sizeof name, "%s/MMM%05d.KON", ledger_folder, static_cast<int>(std::atoi(word.c_str())));
  return name;
}

}  // namespace torval::steps
