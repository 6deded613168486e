// The steps of a session script. One table lists every step with its
// arguments and what it does; the same table checks a step's arguments and
// makes the list that "torval_host --help" prints.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "abi/host_services.h"
#include "abi/machine.h"
#include "host/config_store.h"
#include "host/file_store.h"
#include "host/host.h"
#include "host/platform.h"
#include "host/session.h"

namespace torval {

// Key handler of the host's own tables: reports the eleven values it got,
// pointers by what they are, and answers 7000 plus the key code.
int32_t Q7_STDCALL host_key_handler(int32_t key, uint32_t a2, int32_t* record_count, char** rows,
                                    int32_t a5, q7::table_descriptor* descriptor, int32_t a7,
                                    FILE* file, int32_t a9, uint32_t a10, int32_t a11) {
  table* t = nullptr;
  for (auto& [number, candidate] : host().tables)
    if (&candidate.descriptor == descriptor) t = &candidate;
  auto pointer = [](const void* p, const void* expected, const char* name) {
    if (p == expected) return std::string(name);
    char text[24];
    std::snprintf(text, sizeof text, "%p", p);
    return std::string(text);
  };
  char values[160];
  std::snprintf(values, sizeof values, "key %d, 0x%08x, %s, %s, %d, %s, %d, %s, %d, 0x%08x, %d",
                static_cast<int>(key), static_cast<unsigned>(a2),
                pointer(record_count, t ? &t->record_count : nullptr, "count").c_str(),
                pointer(rows, t ? t->rows.data() : nullptr, "rows").c_str(), static_cast<int>(a5),
                pointer(descriptor, t ? &t->descriptor : nullptr, "table").c_str(),
                static_cast<int>(a7), pointer(file, t ? t->file : nullptr, "file").c_str(),
                static_cast<int>(a9), static_cast<unsigned>(a10), static_cast<int>(a11));
  say(std::string("  host's handler of table ") + (t ? std::to_string(t->number) : "?") + ": " +
      values);
  return 7000 + key;
}

namespace {

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

using step_run = void (*)(const step_call&);

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
  step_run run;
  bool own_check = false;
};

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
  if (host().plugin.start_stop) return true;
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

void start(const step_call& s) {
  plugin_loaded("start");
  const bool with_buffer = s.args.empty();
  char buffer[128];
  std::memset(buffer, 0xCC, sizeof buffer);
  static char context;
  const int32_t result = host().plugin.start_stop(&context, with_buffer ? buffer : nullptr);
  if (with_buffer) {
    const void* end = std::memchr(buffer, 0, sizeof buffer);
    if (end) {
      say("  description \"" + from_mazovia(buffer) + "\" (" +
          std::to_string(static_cast<const char*>(end) - buffer) + " bytes and terminator)");
    } else {
      say("  description: no terminator within the buffer");
    }
  }
  const void* translator = platform::installed_se_translator();
  say(std::string("  translator of structured exceptions: ") +
      (!translator ? "none" : translator == platform::host_export(30005) ? "the host's 30005" : "another"));
  say("  30001 -> " + std::to_string(result));
}

void press_key(const step_call& s) {
  table& t = existing_table(table_number(s.args[0]));
  int32_t key = 0;
  key_code(s.args[1], key);
  uint32_t v[6] = {0, 5, 7, 9, 0, 11};
  if (s.args.size() != 2 && s.args.size() != 8)
    throw refused{"the six values A2 A5 A7 A9 A10 A11 are given all or none"};
  for (std::size_t i = 2; i < s.args.size(); ++i) v[i - 2] = static_cast<uint32_t>(s.number(i));
  if (!t.descriptor.handler) return say("  the table has no key handler");
  const int32_t result = press_table_key(t, key, v);
  close_line_files();  // the command has ended
  say("  handler -> " + std::to_string(result));
}

void edit(const step_call& s) {
  form_edit e;
  if (const std::size_t equals = s.rest.find(" = "); equals != std::string::npos) {
    e.label = s.rest.substr(0, equals);
    e.value = s.rest.substr(equals + 3);
  } else {
    const std::size_t space = s.rest.find(' ');
    if (space == std::string::npos) throw refused{"no value: edit ITEM VALUE or edit LABEL = VALUE"};
    e.item = s.rest.substr(0, space);
    e.value = s.rest.substr(space + 1);
  }
  host().form_edits.push_back(e);
}

// The value of key=... in a ledger step; "title=" takes the rest of the line
// and "line=" runs to ";".
std::string field(const std::string& line, const std::string& key, const std::string& otherwise = "") {
  const std::size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return otherwise;
  const std::size_t start = at + key.size() + 2;
  if (key == "title") return line.substr(start);
  const std::size_t end = line.find(key == "line" ? ';' : ' ', start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// A holder's ledger: by account number the file of the work folder's
// ledgers, otherwise a path of the script.
std::string ledger_file(const std::string& word) {
  if (!whole_number(word, 0, 99999)) return script_path(word);
  char name[64];
  std::snprintf(name, sizeof name, "%s/MMM%05d.KON", ledger_folder, static_cast<int>(std::atoi(word.c_str())));
  return name;
}

void add_ledger_entry(const step_call& s) {
  const std::string& line = s.line;
  if (s.args.size() < 2 || s.args[1] != "entry") throw refused{"ledger ACCOUNT|FILE entry ..."};
  if (line.find(" title=") == std::string::npos) throw refused{"the entry has no title=TEXT"};
  for (const char* key : {"stamp", "copy"})
    if (const std::string v = field(line, key, "0"); !whole_number(v, INT32_MIN, INT32_MAX))
      throw refused{std::string(key) + "=" + v + " is not a whole number"};
  for (const char* key : {"amount", "paid"})
    if (const std::string v = field(line, key, "0"); !decimal_number(v))
      throw refused{std::string(key) + "=" + v + " is not an amount in currency units"};
  q7::ledger_entry entry{};
  const std::string title = to_mazovia(field(line, "title"));
  const std::string fee_line = to_mazovia(field(line, "line"));
  std::snprintf(entry.title, sizeof entry.title, "%s", title.c_str());
  std::snprintf(entry.fee_line, sizeof entry.fee_line, "%s", fee_line.c_str());
  entry.amount = std::strtod(field(line, "amount", "0").c_str(), nullptr) * q7::amount_scale;
  set_ledger_credit(entry, std::strtod(field(line, "paid", "0").c_str(), nullptr) * q7::amount_scale);
  // Dated as the host dates its own postings: on 1 January, entered today.
  const std::string today = host().current_date;
  std::snprintf(entry.entry_date, sizeof entry.entry_date, "%s", today.c_str());
  std::snprintf(entry.doc_date, sizeof entry.doc_date, "%.3s01.01", today.c_str());
  std::memcpy(entry.host_code, host().information_block + q7::host_values::host_code_at, 4);
  entry.stamp = static_cast<int32_t>(std::strtoll(field(line, "stamp", "0").c_str(), nullptr, 0));
  entry.stamp_copy = static_cast<int32_t>(
      std::strtoll(field(line, "copy", field(line, "stamp", "0")).c_str(), nullptr, 0));
  const std::string file_name = ledger_file(s.args[0]);
  FILE* file = open_file(file_name, "ab");
  if (!file) throw refused{"cannot write " + file_name};
  std::fwrite(&entry, sizeof entry, 1, file);
  std::fclose(file);
}

void show_ledger(const std::string& file_name) {
  FILE* file = open_file(file_name, "rb");
  if (!file) return say("  no ledger " + file_name);
  q7::ledger_entry entry;
  int index = 0;
  while (std::fread(&entry, sizeof entry, 1, file) == 1) {
    char head[160];
    std::snprintf(head, sizeof head, "  #%d stamp %d/%d %.8s %.8s term %d kind %d code %.4s amount %s",
                  index++, static_cast<int>(entry.stamp), static_cast<int>(entry.stamp_copy),
                  entry.doc_date, entry.entry_date, entry.term_days, entry.kind_code,
                  entry.host_code, amount_text(entry.amount).c_str());
    std::string text = head;
    if (ledger_credit(entry) != 0.0) text += " paid " + amount_text(ledger_credit(entry));
    entry.title[sizeof entry.title - 1] = 0;
    entry.fee_line[sizeof entry.fee_line - 1] = 0;
    say(text);
    say("     \"" + from_mazovia(entry.title) + "\" \"" + from_mazovia(entry.fee_line) + "\"");
  }
  if (index == 0) say("  (no entries)");
  std::fclose(file);
}

void show_file(const std::string& name) {
  if (name.find_first_of("/\\:") != std::string::npos)
    throw refused{"show file takes the name of a file in the work folder, not a path"};
  FILE* file = open_file(name, "rb");
  if (!file) return say("  no file " + name);
  std::fclose(file);
  say("  " + name + ":");
  read_lines(name, [&](std::string& line) {
    const bool crlf = !line.empty() && line.back() == '\r';
    if (crlf) line.pop_back();
    say("  | " + from_mazovia(line.c_str()) + (crlf ? "␍" : ""));
  });
}

// One row of the plot list, the cursor's marked with ">"; the line is built
// in the Mazovia code page, one byte a character, so that the columns line up.
std::string plot_row_text(std::size_t row, bool at_cursor, const q7::plot_record& plot) {
  char text[320];
  std::snprintf(text, sizeof text, " %c%3zu %5.5s %-24.24s %9.3f %-10.10s %9s %9s %9s %8s %8s",
                at_cursor ? '>' : ' ', row, plot.plot_no_text, plot.holder_name,
                plot.area_milli / 1000.0, plot.fee_letters,
                amount_text(plot.ledger_debit_total).c_str(),
                amount_text(plot.ledger_credit_total).c_str(), amount_text(plot.ledger_balance).c_str(),
                amount_text(column_amount(plot.kwota1)).c_str(),
                amount_text(column_amount(plot.kwota2)).c_str());
  return from_mazovia(text);
}

void show_plots(const step_call&) {
  const table& t = plot_table();
  const long long cursor = cursor_row(t);
  say("  row    nr holder                   area m2   letters        debit    credit   balance   kwota1   kwota2");
  for (std::size_t i = 0; i < t.held.size(); ++i)
    say(plot_row_text(i, static_cast<long long>(i) == cursor, held_plot(t, i)));
  say("  column totals: kwota1 " + amount_text(t.column_totals[kwota1_column]) + ", kwota2 " +
      amount_text(t.column_totals[kwota2_column]));
}

void table_step(const step_call& s) {
  const int32_t n = table_number(s.args[0]);
  const std::string& what = s.args[1];
  if (what == "missing") {
    if (s.args.size() != 2) throw refused{"table TABLE missing takes nothing more"};
    host().tables.erase(n);
  } else if (what == "size") {
    if (s.args.size() != 3 || !whole_number(s.args[2], 0, INT16_MAX))
      throw refused{"table TABLE size N: N from 0 to 32767"};
    const auto size = static_cast<int16_t>(s.number(2));
    if (table* t = find_table(n)) t->descriptor.record_size = size;
    else add_table(n, size);
  } else {
    if (s.args.size() != 2) throw refused{"table TABLE no-handler takes nothing more"};
    existing_table(n).descriptor.handler = nullptr;
  }
}

// The window as the host holds it, unchecked: a session may hand the plug-in
// a cursor on no row at all.
void window(const step_call& s) {
  auto& d = plot_table().descriptor;
  d.first_held = static_cast<int32_t>(s.number(0));
  d.top_record = static_cast<int32_t>(s.number(1));
  d.cursor_line = static_cast<int32_t>(s.number(2));
}

void trace_step(const step_call& s) {
  if (s.args.size() == 1 && s.args[0] == "off") return host().traced.clear();
  for (const std::string& word : s.args) {
    if (!whole_number(word, 0, UINT32_MAX)) throw refused{"\"" + word + "\" is not a service number"};
    host().traced.insert(static_cast<uint32_t>(std::strtoll(word.c_str(), nullptr, 0)));
  }
}

void answer_step(const step_call& s) {
  answer a;
  std::string why;
  if (!answer_of(s.args, a, why)) throw refused{why};
  host().answers.push_back(a);
}

// The four rates in currency units in the form's order: plot, water,
// energy/upkeep, membership. The setting holds them scaled by 10000 in its
// own order: plot, water, membership, energy.
void rates(const step_call& s) {
  double r[4];
  for (int i = 0; i < 4; ++i) r[i] = std::strtod(s.args[i].c_str(), nullptr) * q7::amount_scale;
  char value[160];
  std::snprintf(value, sizeof value, "%f,%f,%f,%f", r[0], r[1], r[3], r[2]);
  config_write("Sudma", "Stawki", value);
  say(std::string("  Stawki=") + value);
}

void module_path(const step_call& s) {
  if (!platform::set_plugin_module_path(s.rest, s.rest == "fails"))
    say("  (the module path is the platform's here)");
}

void expect_mistakes(const step_call&) { session().mistakes_expected = true; }

void help(const step_call&);

const step_kind steps[] = {
    {"version", "N", "the interface version the host reports (112 is this plug-in's)",
     [](const step_call& s) { host().interface_version = static_cast<int32_t>(s.number(0)); }},
    {"year", "YEAR", "the bookkeeping year",
     [](const step_call& s) {
       if (!whole_number(s.args[0], 1900, 2099)) throw refused{"a year from 1900 to 2099"};
       host().bookkeeping_year = static_cast<int16_t>(s.number(0));
     }},
    {"date", "DATE", "the current date, YY.MM.DD",
     [](const step_call& s) { host().current_date = s.args[0]; }},
    {"report-lines", "N|all", "the lines of a report the report view draws; the rest it counts",
     [](const step_call& s) {
       if (s.args[0] == "all") return void(host().report_view_lines = -1);
       if (!whole_number(s.args[0], 0, 1000000000)) throw refused{"a number of lines, or all"};
       host().report_view_lines = s.number(0);
     }},
    {"host-code", "CODE", "the four-character code of the host's information block 4",
     [](const step_call& s) {
       std::snprintf(reinterpret_cast<char*>(host().information_block + q7::host_values::host_code_at), 5, "%s", s.args[0].c_str());
     }},
    {"table", "TABLE size|missing|no-handler [N]",
     "a table's record size, the table missing, or no key handler in its slot", table_step},
    {"config", "SECTION NAME VALUE", "a setting as the configuration store holds it (text as typed)",
     [](const step_call& s) {
       config_write(s.args[0], s.args[1], to_mazovia(s.args[2]));
       if (s.args[1] == "Stawki")
         say("  (Stawki holds ten-thousandths in the order plot, water, membership, energy; "
             "\"rates\" takes currency units in the form's order)");
     }},
    {"rates", "PLOT WATER ENERGY MEMBERSHIP",
     "the four rates in currency units, in the form's order (0.38 0.42 10.00 6.00)", rates},
    {"withdraw", "SERVICE", "the host lacks the service, as an older host does",
     [](const step_call& s) { platform::withdraw_export(static_cast<uint32_t>(s.number(0))); }},
    {"withdraw clear", "", "the host has every service again",
     [](const step_call&) { platform::restore_exports(); }},
    {"windows-box", "abort|ignore|retry|scripted",
     "how the Windows box answers from now on (scripted: by the next \"answer\", as every other box)",
     [](const step_call& s) {
       const std::string& how = s.args[0];
       host().windows_box_answer = how == "abort"    ? box_abort
                                   : how == "retry"  ? box_retry
                                   : how == "ignore" ? box_ignore
                                                     : 0;
     }},
    {"behave",
     "append-answers-index|settings-fill-two-rates|file-name-unwritten|dialog-stores-32-bits|"
     "user32-unavailable|usual",
     "the host differs from the usual one, as another may: 52288 answers the new record's index, "
     "52224 fills two of four rates, 52311 writes no file name, dialog 1194 stores its value in "
     "32 bits, the delay-load hook hands user32's functions a module without them; usual: as the "
     "usual host again",
     [](const step_call& s) {
       if (s.args[0] == "usual") host().behaviours.clear();
       else host().behaviours.insert(s.args[0]);
     }},
    {"module-path", "PATH|fails", "what GetModuleFileNameA answers for the plug-in (native build)",
     module_path, true},
    {"load", "", "loads the plug-in module",
     [](const step_call&) {
       say(platform::load_plugin(host().plugin_path) ? "  loaded" : "  the plug-in did not load");
     }},
    {"unload", "",
     "unloads the plug-in module, so that the next load starts it afresh (natively: its unload "
     "notification only, the module stays)",
     [](const step_call&) {
       say(platform::unload_plugin() ? "  unloaded" : "  (the plug-in cannot be unloaded here)");
     }},
    {"start", "[nobuffer]", "entry 30001: starts the plug-in (with a description buffer)", start},
    {"stop", "", "entry 30001 with nothing: stops the plug-in",
     [](const step_call&) {
       plugin_loaded("stop");
       say("  30001 -> " + std::to_string(host().plugin.start_stop(nullptr, nullptr)));
     }},
    {"activate", "", "entry 30008 mode 0: the plug-in installs its key handlers",
     [](const step_call&) {
       plugin_loaded("activate");
       say("  30008 -> " + std::to_string(host().plugin.activate_or_report(0)));
     }},
    {"report", "", "entry 30008 mode 1",
     [](const step_call&) {
       plugin_loaded("report");
       say("  30008 -> " + std::to_string(host().plugin.activate_or_report(1)));
     }},
    {"entry 30008", "MODE", "entry 30008 with any mode",
     [](const step_call& s) {
       plugin_loaded("call 30008");
       say("  30008 -> " +
           std::to_string(host().plugin.activate_or_report(static_cast<int32_t>(s.number(0)))));
     }},
    {"entry 30009", "", "entry 30009",
     [](const step_call&) {
       plugin_loaded("call 30009");
       host().plugin.no_effect();
       say("  30009 returned");
     }},
    {"key", "TABLE KEY [A2 A5 A7 A9 A10 A11]",
     "a key pressed in a table's list: plots (the list of firms), cash (the cash desk) or ledger; "
     "ctrl-a to ctrl-z or a code; the six other values of the call (default 0 5 7 9 0 11)",
     press_key},
    {"key-in-form", "TABLE KEY", "a key pressed in a table's list while the next form is open",
     [](const step_call& s) {
       int32_t key = 0;
       key_code(s.args[1], key);
       host().keys_in_form.emplace_back(existing_table(table_number(s.args[0])).number, key);
     }},
    {"chain", "TABLE",
     "another module chains its key handler after the one in the table's slot, and passes keys on to it",
     [](const step_call& s) { chain_other_module(existing_table(table_number(s.args[0]))); }},
    {"unchain", "TABLE", "that module stops: it puts back the handler it found in the slot",
     [](const step_call& s) { unchain_other_module(existing_table(table_number(s.args[0]))); }},
    {"raise", "SERVICE at K",
     "service 52040 or 52034 raises the host's exception at its K-th call, which the forms engine "
     "catches around the form hook (its own structured exception handling), going on with the form",
     [](const step_call& s) {
       if (s.number(2) < 1) throw refused{"calls are counted from 1"};
       host().raise_plan[static_cast<uint32_t>(s.number(0))] = static_cast<int>(s.number(2));
     }},
    {"answer", "ok|yes|no|cancel|abort|retry|ignore|N [value V|period START END]",
     "the answer to the next box, dialog or form (F12 is ok); a value the dialog stores, or the "
     "period dialog's two dates",
     answer_step, true},
    {"edit", "ITEM VALUE... | LABEL = VALUE...",
     "for the next form: types VALUE into input field ITEM, or into the field after the label LABEL "
     "(or the only label that begins so); amounts in currency units, texts in UTF-8",
     edit, true},
    {"plots", "FILE [skip-bad-lines]",
     "the plot table from a readable file (number;holder;area m2;fee letters;ledger number)",
     [](const step_call& s) { load_plots(s.args[0], s.args.size() > 1); }},
    {"cash", "FILE [skip-bad-lines]",
     "the cash table from a readable file (date;plot number;payer;line text;amount;...)",
     [](const step_call& s) { load_cash(s.args[0], s.args.size() > 1); }},
    {"cash raw", "FILE", "the cash table from a file of whole 1048-byte records",
     [](const step_call& s) { load_raw_cash(s.args[0]); }},
    {"cursor", "ROW", "the plot list's cursor on a row (from 0)",
     [](const step_call& s) {
       auto& d = plot_table().descriptor;
       const std::size_t row = plot_row(s, 0);
       d.first_held = d.top_record = 0;
       d.cursor_line = static_cast<int32_t>(row);
     }},
    {"window", "FIRST TOP CURSOR",
     "the plot list's window as the host holds it, unchecked: first row held, top record, cursor line",
     window},
    {"reload plots", "", "the plot list reads its rows again from the table's file",
     [](const step_call&) { reload_rows(plot_table()); }},
    {"ledger", "ACCOUNT|FILE entry stamp=N amount=AMOUNT [paid=AMOUNT] [copy=N] [line=TEXT;] title=TEXT",
     "appends an entry to a holder's ledger: by account number in the work folder's ledgers",
     add_ledger_entry, true},
    {"ledgers clear", "", "removes every holder's ledger",
     [](const step_call&) {
       std::error_code error;
       for (const auto& item : std::filesystem::directory_iterator(ledger_folder, error))
         std::filesystem::remove(item.path(), error);
       // The folder is there afterwards, also in a work folder entered since
       // the session began.
       std::filesystem::create_directories(ledger_folder, error);
     }},
    {"trace", "off|SERVICE...", "shows the calls of these services in the transcript", trace_step, true},
    {"fail clear", "",
     "no faults; call counts, scripted answers, edits, the audit, the Windows box's answer and the "
     "host's behaviours start anew",
     [](const step_call&) {
       host().faults.clear();
       host().calls.clear();
       host().answers.clear();
       host().form_edits.clear();
       host().audit = {};
       host().windows_box_answer = 0;
       host().behaviours.clear();
       host().raise_plan.clear();
       host().raise_calls.clear();
       host().keys_in_form.clear();
     }},
    {"fail", "SERVICE at|from K", "service N answers its failure value at its K-th call, or from it on",
     [](const step_call& s) {
       if (s.number(2) < 1) throw refused{"calls are counted from 1"};
       host().faults[static_cast<uint32_t>(s.number(0))] = {static_cast<int>(s.number(2)), s.args[1] == "from"};
     }},
    {"audit", "", "do the kept totals match the files; what the ledger writes stored",
     [](const step_call&) { report_audit(); }},
    {"show plots", "", "the plot list, the cursor's row marked, and the column totals", show_plots},
    {"show ledger-of", "ROW", "the ledger of the plot in a row",
     [](const step_call& s) {
       const q7::plot_record plot = held_plot(plot_table(), plot_row(s, 0));
       const std::string name = ledger_file(std::to_string(plot.ledger_no));
       say("  " + name + ":");
       show_ledger(name);
     }},
    {"show ledger", "ACCOUNT|FILE", "a holder's ledger", [](const step_call& s) { show_ledger(ledger_file(s.args[0])); }},
    {"show config", "", "the settings",
     [](const step_call&) {
       const std::string text = config_contents();
       if (text.empty()) say("  (no settings)");
       else say_text(text.substr(0, text.size() - 1).c_str());
     }},
    {"show handlers", "", "the key handler in each table's slot",
     [](const step_call&) {
       for (const auto& [n, t] : host().tables) say("  table " + std::to_string(n) + ": " + handler_name(t));
     }},
    {"show calls", "", "how often each service that can fail was called",
     [](const step_call&) {
       std::string calls = "  calls:";
       for (const auto& [service, count] : host().calls)
         calls += " " + std::to_string(service) + "x" + std::to_string(count);
       say(calls);
     }},
    {"show file", "NAME", "a text file the plug-in wrote into the work folder, line by line",
     [](const step_call& s) { show_file(s.args[0]); }},
    {"hold", "NAME", "another program holds a file of the work folder open and lets no one change it, "
     "as a spreadsheet program holds the file it shows",
     [](const step_call& s) {
       if (s.args[0].find_first_of("/\\:") != std::string::npos)
         throw refused{"hold takes the name of a file in the work folder, not a path"};
       hold_file(s.args[0]);
     }},
    {"hold clear", "", "the other program lets go of every file it held", [](const step_call&) { let_go_of_files(); }},
    {"transcript clear", "", "forgets the transcript so far (what was written out stays)",
     [](const step_call&) { host().transcript.clear(); }},
    {"expect mistakes", "", "the script tests mistakes: they are reported but do not fail the run",
     expect_mistakes},
    {"help", "", "this list", help},
};

void help(const step_call&) {
  for (const step_kind& kind : steps) say(std::string("  ") + kind.name + " " + kind.arguments);
}

// The step a line's words name: the longest name its words begin with.
const step_kind* find_step(const std::vector<std::string>& w, std::size_t& name_words) {
  // The words of every step's name, split once.
  static const std::vector<std::vector<std::string>> names = [] {
    std::vector<std::vector<std::string>> all;
    for (const step_kind& kind : steps) all.push_back(split_words(kind.name));
    return all;
  }();
  const step_kind* found = nullptr;
  name_words = 0;
  for (std::size_t k = 0; k < std::size(steps); ++k) {
    const step_kind& kind = steps[k];
    const auto& name = names[k];
    if (name.size() > w.size() || name.size() <= name_words) continue;
    if (std::equal(name.begin(), name.end(), w.begin())) {
      found = &kind;
      name_words = name.size();
    }
  }
  return found;
}

void reset_session() {
  host().transcript.clear();
  host().answers.clear();
  std::snprintf(reinterpret_cast<char*>(host().information_block + q7::host_values::host_code_at), 5, "%s", "0001");
  std::error_code error;
  std::filesystem::create_directories(ledger_folder, error);
  host().form_edits.clear();
  reset_tables();
  config_clear();
}

}  // namespace

void print_steps(FILE* out) {
  std::fprintf(out, "Steps of a session script, one a line (\"#\" begins a comment):\n");
  for (const step_kind& kind : steps) {
    const std::string head = std::string(kind.name) + (*kind.arguments ? " " : "") + kind.arguments;
    std::fprintf(out, "  %s\n", head.c_str());
    // The description wrapped at 90 columns.
    std::string line = "     ";
    for (const std::string& word : split_words(kind.help)) {
      if (line.size() + 1 + utf8_length(word) > 90) {
        std::fprintf(out, "%s\n", line.c_str());
        line = "     ";
      }
      line += " " + word;
    }
    std::fprintf(out, "%s\n", line.c_str());
  }
}

void run_step(const std::string& line) {
  static bool session_started;
  if (!session_started) reset_session();
  session_started = true;
  const auto w = split_words(line);
  if (w.empty() || w[0][0] == '#') return;
  say("> " + line);
  std::size_t name_words = 0;
  const step_kind* kind = find_step(w, name_words);
  if (!kind) {
    std::string alike;
    for (const step_kind& k : steps)
      if (split_words(k.name)[0] == w[0]) alike += std::string(alike.empty() ? "" : ", ") + k.name;
    report_mistake("unknown step \"" + w[0] + "\"" +
                   (alike.empty() ? std::string(" (torval_host --help lists the steps)")
                                  : " (steps beginning so: " + alike + ")"));
    return;
  }
  step_call call{line, std::vector<std::string>(w.begin() + static_cast<long>(name_words), w.end()), ""};
  // The rest of the line after the name, as written.
  std::size_t at = line.find_first_not_of(" \t");
  for (std::size_t i = 0; i < name_words; ++i) {
    at = line.find_first_of(" \t", at);
    at = at == std::string::npos ? line.size() : line.find_first_not_of(" \t", at);
    if (at == std::string::npos) at = line.size();
  }
  call.rest = line.substr(at);
  while (!call.rest.empty() && (call.rest.back() == ' ' || call.rest.back() == '\t')) call.rest.pop_back();
  try {
    if (!kind->own_check) check_arguments(*kind, call.args);
    else if (call.args.empty()) throw refused{std::string("missing ") + kind->arguments};
    kind->run(call);
  } catch (const refused& r) {
    report_mistake(std::string(kind->name) + ": " + r.reason);
  }
}

}  // namespace torval
