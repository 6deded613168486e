// What the session steps that do more than a line do.
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
#include "host/host_platform.h"
#include "host/session.h"
#include "host/steps.h"

namespace torval::steps {

void say_caught(int entry) {
  say("  the host caught its exception around entry " + std::to_string(entry) + "; it goes on");
}

void call_entry(int entry, int32_t argument) {
  auto& p = host().plugin;
  int32_t result = 0;
  const bool caught = call_plugin([&] {
    if (entry == 30001) result = p.start_stop(nullptr, nullptr);
    else if (entry == 30008) result = p.activate_or_report(argument);
    else p.no_effect();
  });
  if (caught) return say_caught(entry);
  say(entry == 30009 ? std::string("  30009 returned") : "  " + std::to_string(entry) + " -> " + std::to_string(result));
}

void start(const step_call& s) {
  plugin_loaded("start");
  const bool with_buffer = s.args.empty();
  char buffer[128];
  std::memset(buffer, 0xCC, sizeof buffer);
  static char context;
  int32_t result = 0;
  if (call_plugin([&] { result = host().plugin.start_stop(&context, with_buffer ? buffer : nullptr); }))
    return say_caught(30001);
  // What the plug-in handed back and installed, in one line.
  std::string line = "  ";
  if (with_buffer) {
    const void* end = std::memchr(buffer, 0, sizeof buffer);
    if (end) {
      line += "description \"" + from_mazovia(buffer) + "\" (" +
              std::to_string(static_cast<const char*>(end) - buffer) + " bytes and terminator) · ";
    } else {
      line += "description: no terminator within the buffer · ";
    }
  }
  const void* translator = platform::installed_se_translator();
  say(line + "translator of structured exceptions: " +
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
  int32_t result;
  const bool returned = press_table_key(t, key, v, result);
  close_line_files();  // the command has ended
  if (returned) say("  handler -> " + std::to_string(result));
}

// A call another thread makes (the words from "key", "30008" or "30001"
// on), kept as the thread will read them: a table and a key by number.
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

void from_thread(const step_call& s) {
  if (s.number(2) < 1) throw refused{"calls are counted from 1"};
  const auto call = thread_call({s.args.begin() + 3, s.args.end()});
  const auto service = static_cast<uint32_t>(s.number(0));
  host().thread_plan[service] = {static_cast<int>(s.number(2)), call};
}

void other_thread(const step_call& s) { call_from_other_thread(thread_call(s.args)); }

void raise_step(const step_call& s) {
  if (s.number(2) < 1) throw refused{"calls are counted from 1"};
  const std::string how = s.args.size() > 3 ? s.args[3] : "";
  if (!how.empty() && how != "exit-unwind" && how != "jump") throw refused{"after K only exit-unwind or jump"};
  const auto service = static_cast<uint32_t>(s.number(0));
  host().raise_plan[service] = static_cast<int>(s.number(2));
  host().raise_endings.erase(service);
  if (!how.empty())
    host().raise_endings[service] = how == "jump" ? platform::host_ending::jump : platform::host_ending::exit_unwind;
}

void exit_thread_step(const step_call& s) {
  if (s.number(2) < 1) throw refused{"calls are counted from 1"};
  host().exit_thread_plan[static_cast<uint32_t>(s.number(0))] = static_cast<int>(s.number(2));
}

void meanwhile(const step_call& s) {
  if (s.number(2) < 1) throw refused{"calls are counted from 1"};
  host().loop_plan[static_cast<uint32_t>(s.number(0))] = {static_cast<int>(s.number(2)),
                                                           thread_call({s.args.begin() + 3, s.args.end()})};
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
    if (s.args.size() != 2) throw refused{"table TABLE " + what + " takes nothing more"};
    auto& descriptor = existing_table(n).descriptor;
    if (what == "no-handler") descriptor.handler = nullptr;
    if (what == "no-buffer") descriptor.record_buffer = nullptr;
    if (what == "no-totals") descriptor.column_totals = nullptr;
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

}  // namespace torval::steps
