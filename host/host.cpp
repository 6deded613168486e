#include "host/host.h"

#include <cstring>


namespace torval {
namespace {

constexpr int16_t plot_record_size = sizeof(q7::plot_record);
constexpr int16_t cash_record_size = sizeof(q7::cash_record);
constexpr int16_t ledger_record_size = sizeof(q7::ledger_entry);

void say_lines(const std::string& text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    say("  | " + text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

}  // namespace

host_state& host() {
  static host_state state;
  return state;
}

void say(const std::string& line) {
  host().transcript += line;
  host().transcript += '\n';
}



void say_text(const char* mazovia_text) { say_lines(from_mazovia(mazovia_text)); }

void say_windows_text(const char* windows_text) {
  say_lines(plugin_display_path(from_windows_1250(windows_text)));
}


answer next_answer(int default_code, const char* what) {
  auto& answers = host().answers;
  if (answers.empty()) {
    say(std::string("  (no answer scripted for the ") + what + ": " +
        std::to_string(default_code) + ")");
    return {default_code};
  }
  const answer a = answers.front();
  answers.pop_front();
  return a;
}

table& add_table(int32_t number, int16_t record_size) {
  table& t = host().tables[number];
  t.number = number;
  t.descriptor.record_size = record_size;
  t.descriptor.record_buffer = t.record_buffer.data();
  t.descriptor.column_totals = t.column_totals.data();
  t.descriptor.handler = reinterpret_cast<q7::key_handler>(&host_key_handler);
  return t;
}

void reset_tables() {
  host().tables.clear();
  add_table(q7::plot_table_no, plot_record_size);
  add_table(q7::cash_table_no, cash_record_size);
  add_table(q7::ledger_table_no, ledger_record_size);
}

table* find_table(int32_t number) {
  auto& tables = host().tables;
  const auto found = tables.find(number);
  return found == tables.end() ? nullptr : &found->second;
}

std::string plugin_display_path(const std::string& text) {
  const std::string& folder = host().plugin_folder;
  if (folder.empty()) return text;
  std::string out = text;
  for (std::size_t at; (at = out.find(folder)) != std::string::npos;)
    out.replace(at, folder.size(), "<plugin dir>");
  return out;
}

}  // namespace torval
