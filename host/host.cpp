#include "host/host.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>

#include "host/file_store.h"

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

// Each line is written out as it is said, so that whatever happens later
// the transcript so far is kept.
void say(const std::string& line) {
  if (host().quiet) return;
  host().transcript += line;
  host().transcript += '\n';
  if (FILE* stream = host().transcript_stream) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
  }
}



void say_text(const char* mazovia_text) {
  if (!host().quiet) say_lines(from_mazovia(mazovia_text));
}

void say_windows_text(const char* windows_text) {
  if (!host().quiet) say_lines(plugin_display_path(from_windows_1250(windows_text)));
}


bool behaves(const char* behaviour) { return host().behaviours.count(behaviour) != 0; }

bool answer_of(const std::vector<std::string>& w, answer& a, std::string& why) {
  static const std::pair<const char*, int> names[] = {
      {"yes", 0x5001}, {"ok", 0x5001}, {"f12", 0x5001}, {"no", 0}, {"cancel", 0x5002},
      {"abort", box_abort}, {"retry", box_retry}, {"ignore", box_ignore}};
  a = answer{};
  if (w.empty()) return why = "no answer", false;
  bool named = false;
  for (const auto& [name, code] : names)
    if (w[0] == name) a.code = code, named = true;
  if (!named) {
    char* end = nullptr;
    const long long code = std::strtoll(w[0].c_str(), &end, 0);
    if (w[0].empty() || *end || code < INT16_MIN || code > UINT16_MAX)
      return why = "\"" + w[0] + "\" is not an answer (ok, yes, no, cancel, abort, retry, ignore or a number)", false;
    a.code = static_cast<int>(code);
  }
  if (w.size() == 3 && w[1] == "value") {
    char* end = nullptr;
    const long long value = std::strtoll(w[2].c_str(), &end, 0);
    if (w[2].empty() || *end || value < INT16_MIN || value > INT16_MAX)
      return why = "\"" + w[2] + "\" is not a value of 16 bits", false;
    a.sets_value = true;
    a.value = static_cast<int>(value);
  } else if (w.size() == 4 && w[1] == "period") {
    for (const std::string& date : {w[2], w[3]})
      if (!calendar_date(date))
        return why = "\"" + date + "\" is not a date YY.MM.DD", false;
    a.period_start = w[2];
    a.period_end = w[3];
  } else if (w.size() != 1) {
    return why = "after the answer only \"value V\" or \"period START END\" may follow", false;
  }
  return true;
}

answer next_answer(int default_code, const char* what) {
  auto& answers = host().answers;
  // At the terminal the person answers what no script answered.
  while (answers.empty() && host().ask) {
    std::string reply, why;
    if (!host().ask(std::string("  answer the ") + what +
                        " (ok, yes, no, cancel, abort, retry, ignore, a number; Enter: " +
                        std::to_string(default_code) + "): ",
                    reply))
      break;
    std::vector<std::string> w = split_words(reply);
    if (w.empty()) {
      reply = std::to_string(default_code);
      w = {reply};
    }
    answer a;
    if (!answer_of(w, a, why)) {
      say("  " + why);
      continue;
    }
    host().replied_steps.push_back("answer " + reply);
    return a;
  }
  if (answers.empty()) {
    say([&] {
      return std::string("  (no answer scripted for the ") + what + ": " + std::to_string(default_code) + ")";
    });
    answer a;
    a.code = default_code;
    return a;
  }
  const answer a = answers.front();
  answers.pop_front();
  return a;
}

std::vector<std::string> split_words(const std::string& line) {
  // White space as the C locale has it; a string stream would do the same,
  // slowly, with its locale.
  const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  std::vector<std::string> out;
  for (std::size_t i = 0; i < line.size();) {
    while (i < line.size() && space(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !space(line[i])) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

std::string answer_text(int code) {
  static const std::pair<int, const char*> names[] = {{0x5001, "OK"}, {0x5002, "Cancel"},
                                                      {0, "No"},      {box_abort, "Abort"},
                                                      {box_retry, "Retry"}, {box_ignore, "Ignore"}};
  for (const auto& [number, name] : names)
    if (code == number) return std::to_string(code) + " (" + name + ")";
  return std::to_string(code);
}

bool failing(uint32_t service) {
  const int call = ++host().calls[service];
  const auto found = host().faults.find(service);
  if (found == host().faults.end()) return false;
  const fault& f = found->second;
  const bool fails = f.from_then_on ? call >= f.call : call == f.call;
  if (fails) say("  (service " + std::to_string(service) + " fails at its call " + std::to_string(call) + ")");
  return fails;
}

bool traced(uint32_t service) { return host().traced.count(service) != 0; }

std::string amount_text(double scaled) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", scaled / q7::amount_scale);
  return text;
}

table* table_of(const q7::table_descriptor* descriptor) {
  for (auto& [number, t] : host().tables)
    if (&t.descriptor == descriptor) return &t;
  return nullptr;
}

bool read_record(table& t, FILE* file, int32_t index) {
  const long size = t.descriptor.record_size;
  if (!file || index < 0 || size <= 0 || size > static_cast<long>(t.record_buffer.size())) return false;
  if (std::fseek(file, index * size, SEEK_SET) != 0) return false;
  return std::fread(t.record_buffer.data(), 1, size, file) == static_cast<std::size_t>(size);
}

bool write_record(table& t, FILE* file, int32_t index) {
  const long size = t.descriptor.record_size;
  if (!file || index < 0 || size <= 0 || size > static_cast<long>(t.record_buffer.size())) return false;
  if (std::fseek(file, index * size, SEEK_SET) != 0) return false;
  const bool written = std::fwrite(t.record_buffer.data(), 1, size, file) == static_cast<std::size_t>(size);
  return std::fflush(file) == 0 && written;
}

bool append_record(table& t, FILE* file, int32_t* count) {
  const long size = t.descriptor.record_size;
  if (!file || !count || size <= 0 || size > static_cast<long>(t.record_buffer.size())) return false;
  const int32_t index = records_in(file, size);
  if (!write_record(t, file, index)) return false;
  *count = index + 1;
  return true;
}

int32_t records_in(FILE* file, int32_t record_size) {
  if (!file || record_size <= 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
  return static_cast<int32_t>(std::ftell(file) / record_size);
}

void reload_rows(table& t) {
  t.held.clear();
  t.rows.clear();
  const auto size = static_cast<std::size_t>(t.descriptor.record_size);
  for (int32_t i = 0; i < t.record_count && read_record(t, t.file, i); ++i)
    t.held.emplace_back(t.record_buffer.begin(), t.record_buffer.begin() + static_cast<long>(size));
  for (auto& row : t.held) t.rows.push_back(row.data());
  t.rows.push_back(nullptr);  // the row array ends with a null row
}

void recompute_plot_totals(table& t) {
  t.column_totals[kwota1_column] = t.column_totals[kwota2_column] = 0;
  for (int32_t i = 0; i < records_in(t.file, t.descriptor.record_size); ++i) {
    if (!read_record(t, t.file, i)) break;
    q7::plot_record plot;
    std::memcpy(&plot, t.record_buffer.data(), sizeof plot);
    t.column_totals[kwota1_column] += column_amount(plot.kwota1);
    t.column_totals[kwota2_column] += column_amount(plot.kwota2);
  }
}

double ledger_debit(const q7::ledger_entry& entry) { return entry.amount; }

double ledger_credit(const q7::ledger_entry& entry) {
  double credit;
  std::memcpy(&credit, entry.zero362, sizeof credit);
  return credit;
}

void set_ledger_credit(q7::ledger_entry& entry, double credit) {
  std::memcpy(entry.zero362, &credit, sizeof credit);
}

bool total_ledger(table& t, FILE* file, int32_t count) {
  double debit = 0, credit = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (!read_record(t, file, i)) return false;
    q7::ledger_entry entry;
    std::memcpy(&entry, t.record_buffer.data(), sizeof entry);
    debit += ledger_debit(entry);
    credit += ledger_credit(entry);
  }
  t.column_totals[0] = debit;
  t.column_totals[1] = credit;
  return true;
}

void audit_opened_ledger(FILE* file, const std::string& name, double debit, double credit) {
  host().audit.ledger_totals[name] = {debit, credit};
  host().audit.open_ledgers[fileno(file)] = name;
}

void audit_closed_ledger(FILE* file) {
  host().audit.open_ledgers.erase(fileno(file));
  host().audit.begun_changes.erase(file);
}

void audit_pass(const FILE* file, int32_t table, bool begins) {
  if (begins) return void(host().audit.open_passes[file] = table);
  host().audit.open_passes.erase(file);
  host().audit.begun_changes.erase(file);  // the pass is over, and its changes with it
}

void audit_changes(const FILE* file, int32_t table, bool begin) {
  if (begin) host().audit.begun_changes[file] = table;
  else host().audit.begun_changes.erase(file);
}

void audit_ledger_totals(int fd, double debit, double credit) {
  const auto open = host().audit.open_ledgers.find(fd);
  if (open == host().audit.open_ledgers.end()) return say("  audit: 52204 for a ledger that is not open");
  auto& totals = host().audit.ledger_totals[open->second];
  totals.first += debit;
  totals.second += credit;
}

void audit_stored(const table& t) {
  if (t.number != q7::ledger_table_no) return;
  q7::ledger_entry entry;
  std::memcpy(&entry, t.record_buffer.data(), sizeof entry);
  host().audit.stored += entry.amount;
  ++host().audit.stored_entries;
}

namespace {

// Totals compare equal when they agree to a hundredth of the smallest unit.
bool same_amount(double a, double b) { return std::fabs(a - b) < 0.01; }

}  // namespace

void report_audit() {
  bool sound = true;
  table* ledger_table = find_table(q7::ledger_table_no);
  for (const auto& [name, kept] : host().audit.ledger_totals) {
    FILE* file = open_file(name, "rb");
    if (!file || !ledger_table) continue;
    const double saved[2] = {ledger_table->column_totals[0], ledger_table->column_totals[1]};
    const bool read = total_ledger(*ledger_table, file, records_in(file, sizeof(q7::ledger_entry)));
    const double debit = ledger_table->column_totals[0], credit = ledger_table->column_totals[1];
    ledger_table->column_totals[0] = saved[0];
    ledger_table->column_totals[1] = saved[1];
    std::fclose(file);
    if (!read || !same_amount(kept.first, debit) || !same_amount(kept.second, credit)) {
      sound = false;
      say("  audit: " + name + " kept debit " + amount_text(kept.first) + " credit " +
          amount_text(kept.second) + ", its file holds " + amount_text(debit) + " and " +
          amount_text(credit));
    }
  }
  std::string plot_totals;
  if (table* plots = find_table(q7::plot_table_no); plots && plots->file) {
    const double kept[2] = {plots->column_totals[kwota1_column], plots->column_totals[kwota2_column]};
    recompute_plot_totals(*plots);
    const double file[2] = {plots->column_totals[kwota1_column], plots->column_totals[kwota2_column]};
    if (!same_amount(kept[0], file[0]) || !same_amount(kept[1], file[1])) {
      sound = false;
      say("  audit: plot column totals kept " + amount_text(kept[0]) + " and " +
          amount_text(kept[1]) + ", the file holds " + amount_text(file[0]) + " and " +
          amount_text(file[1]));
    }
    plots->column_totals[kwota1_column] = kept[0];
    plots->column_totals[kwota2_column] = kept[1];
    plot_totals = "; plot column totals " + amount_text(kept[0]) + " (" + amount_text(kept[1]) + ")";
  }
  // Whatever a command opened in the host must be closed when it returns.
  const audit_state& a = host().audit;
  for (const auto& [fd, name] : a.open_ledgers) say("  audit: the ledger " + name + " is left open");
  for (const auto& [file, number] : a.open_passes)
    say("  audit: a pass over table " + std::to_string(number) + " is left unended");
  for (const auto& [file, number] : a.begun_changes)
    say("  audit: changes to table " + std::to_string(number) + " are left unended");
  const bool closed = a.open_ledgers.empty() && a.open_passes.empty() && a.begun_changes.empty();
  say(std::string("  audit: ") + (sound ? "totals match the files" : "TOTALS DIFFER") + "; " +
      (closed ? "nothing left open" : "LEFT OPEN") + "; stored " +
      amount_text(host().audit.stored) + " in " + std::to_string(host().audit.stored_entries) +
      " ledger entries" + plot_totals);
}

bool day_number(const char* date, long& days) {
  int yy, mm, dd;
  char dot1, dot2;
  if (std::sscanf(date, "%2d%c%2d%c%2d", &yy, &dot1, &mm, &dot2, &dd) != 5 || dot1 != '.' ||
      dot2 != '.' || mm < 1 || mm > 12 || dd < 1 || dd > 31)
    return false;
  // Two-digit years: 80 to 99 are of the last century.
  long y = (yy >= 80 ? 1900 : 2000) + yy - (mm <= 2);
  const long era = y / 400;
  const long year_of_era = y - era * 400;
  const long day_of_year = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
  const long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  days = era * 146097 + day_of_era - 719468;
  return true;
}

bool calendar_date(const std::string& date) {
  long day;
  if (date.size() != 8 || date[2] != '.' || date[5] != '.' ||
      date.find_first_not_of("0123456789.") != std::string::npos || !day_number(date.c_str(), day))
    return false;
  const int yy = std::atoi(date.c_str()), mm = std::atoi(date.c_str() + 3), dd = std::atoi(date.c_str() + 6);
  const int year = (yy >= 80 ? 1900 : 2000) + yy;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return dd <= days[mm - 1] + (mm == 2 && leap);
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
