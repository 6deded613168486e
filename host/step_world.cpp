// The steps that set up the host's world: the interface version, the
// bookkeeping year, the date and the information block, the tables and the
// plot list's window, the settings, the data files and the holders' ledgers,
// and files another program holds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "abi/host_services.h"
#include "host/config_store.h"
#include "host/file_store.h"
#include "host/session.h"
#include "host/steps.h"
#include "host/texts.h"
#include "host/transcript.h"
#include "host/world.h"

namespace torval::steps {

void set_version(const step_call& s) { world().interface_version = static_cast<int32_t>(s.number(0)); }

void set_year(const step_call& s) {
  if (!whole_number(s.args[0], 1900, 2099)) throw refused{"a year from 1900 to 2099"};
  world().bookkeeping_year = static_cast<int16_t>(s.number(0));
}

void set_date(const step_call& s) { world().current_date = s.args[0]; }

void set_host_code(const step_call& s) {
  std::snprintf(reinterpret_cast<char*>(world().information_block + q7::host_values::host_code_at), 5, "%s",
                s.args[0].c_str());
}

void set_table(const step_call& s) {
  const int32_t n = table_number(s.args[0]);
  const std::string& what = s.args[1];
  if (what == "missing") {
    if (s.args.size() != 2) throw refused{"table TABLE missing takes nothing more"};
    world().tables.erase(n);
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

void write_setting(const step_call& s) {
  config_write(s.args[0], s.args[1], to_mazovia(s.args[2]));
  if (s.args[1] == "Stawki")
    say("  (Stawki holds ten-thousandths in the order plot, water, membership, energy; "
        "\"rates\" takes currency units in the form's order)");
}

// The four rates in currency units in the form's order: plot, water,
// energy/upkeep, membership. The setting holds them scaled by 10000 in its
// own order: plot, water, membership, energy.
void write_rates(const step_call& s) {
  double r[4];
  for (int i = 0; i < 4; ++i) r[i] = std::strtod(s.args[i].c_str(), nullptr) * q7::amount_scale;
  char value[160];
  std::snprintf(value, sizeof value, "%f,%f,%f,%f", r[0], r[1], r[3], r[2]);
  config_write("Sudma", "Stawki", value);
  say(std::string("  Stawki=") + value);
}

void load_plots_file(const step_call& s) { load_plots(s.args[0], s.args.size() > 1); }

void load_cash_file(const step_call& s) { load_cash(s.args[0], s.args.size() > 1); }

void load_raw_cash_file(const step_call& s) { load_raw_cash(s.args[0]); }

void put_cursor(const step_call& s) {
  auto& d = plot_table().descriptor;
  const std::size_t row = plot_row(s, 0);
  d.first_held = d.top_record = 0;
  d.cursor_line = static_cast<int32_t>(row);
}

// The window as the host holds it, unchecked: a session may hand the plug-in
// a cursor on no row at all.
void set_window(const step_call& s) {
  auto& d = plot_table().descriptor;
  d.first_held = static_cast<int32_t>(s.number(0));
  d.top_record = static_cast<int32_t>(s.number(1));
  d.cursor_line = static_cast<int32_t>(s.number(2));
}

void reload_plots(const step_call&) { reload_rows(plot_table()); }

namespace {

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

}  // namespace

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
  const std::string today = world().current_date;
  std::snprintf(entry.entry_date, sizeof entry.entry_date, "%s", today.c_str());
  std::snprintf(entry.doc_date, sizeof entry.doc_date, "%.3s01.01", today.c_str());
  std::memcpy(entry.host_code, world().information_block + q7::host_values::host_code_at, 4);
  entry.stamp = static_cast<int32_t>(std::strtoll(field(line, "stamp", "0").c_str(), nullptr, 0));
  entry.stamp_copy = static_cast<int32_t>(
      std::strtoll(field(line, "copy", field(line, "stamp", "0")).c_str(), nullptr, 0));
  const std::string file_name = ledger_file(s.args[0]);
  FILE* file = open_file(file_name, "ab");
  if (!file) throw refused{"cannot write " + file_name};
  std::fwrite(&entry, sizeof entry, 1, file);
  std::fclose(file);
}

void clear_ledgers(const step_call&) {
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(ledger_folder, error))
    std::filesystem::remove(item.path(), error);
  // The folder is there afterwards, also in a work folder entered since
  // the session began.
  std::filesystem::create_directories(ledger_folder, error);
}

void hold(const step_call& s) {
  if (s.args[0].find_first_of("/\\:") != std::string::npos)
    throw refused{"hold takes the name of a file in the work folder, not a path"};
  hold_file(s.args[0]);
}

void let_go(const step_call&) { let_go_of_files(); }

}  // namespace torval::steps
