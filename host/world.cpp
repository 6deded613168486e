#include "host/world.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/calling_in.h"
#include "host/host_platform.h"
#include "host/transcript.h"

namespace torval {
namespace {

constexpr int16_t plot_record_size = sizeof(q7::plot_record);
constexpr int16_t cash_record_size = sizeof(q7::cash_record);
constexpr int16_t ledger_record_size = sizeof(q7::ledger_entry);

}  // namespace

host_world& world() {
  static host_world state;
  return state;
}

table* table_of(const q7::table_descriptor* descriptor) {
  for (auto& [number, t] : world().tables)
    if (&t.descriptor == descriptor) return &t;
  return nullptr;
}

bool read_record(table& t, FILE* file, int32_t index) {
  const long size = t.descriptor.record_size;
  if (!file || index < 0 || size <= 0 || size > static_cast<long>(t.record_buffer.size())) return false;
  if (const platform::memory_access memory = platform::memory_access_of(file); memory.bytes) {
    const uint64_t at = uint64_t(index) * uint64_t(size);
    if (!memory.readable || at + uint64_t(size) > memory.bytes->size()) return false;
    std::memcpy(t.record_buffer.data(), memory.bytes->data() + at, size);
    return true;
  }
  if (std::fseek(file, index * size, SEEK_SET) != 0) return false;
  return std::fread(t.record_buffer.data(), 1, size, file) == static_cast<std::size_t>(size);
}

bool write_record(table& t, FILE* file, int32_t index) {
  const long size = t.descriptor.record_size;
  if (!file || index < 0 || size <= 0 || size > static_cast<long>(t.record_buffer.size())) return false;
  if (const platform::memory_access memory = platform::memory_access_of(file); memory.bytes) {
    if (!memory.writable) return false;
    // Past the end the gap reads as zeros; appending writes at the end.
    const uint64_t at = memory.append ? memory.bytes->size() : uint64_t(index) * uint64_t(size);
    if (at + uint64_t(size) > memory.bytes->max_size()) return false;
    if (memory.bytes->size() < at + size) memory.bytes->resize(at + size);
    std::memcpy(memory.bytes->data() + at, t.record_buffer.data(), size);
    return true;
  }
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
  if (!file || record_size <= 0) return 0;
  if (const platform::memory_access memory = platform::memory_access_of(file); memory.bytes)
    return static_cast<int32_t>(memory.bytes->size() / record_size);
  if (std::fseek(file, 0, SEEK_END) != 0) return 0;
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

// Key handler of the host's own tables: reports the eleven values it got,
// pointers by what they are, and answers 7000 plus the key code.
int32_t Q7_STDCALL host_key_handler(int32_t key, uint32_t a2, int32_t* record_count, char** rows,
                                    int32_t a5, q7::table_descriptor* descriptor, int32_t a7,
                                    FILE* file, int32_t a9, uint32_t a10, int32_t a11) {
  check_entered_word("the host's key handler");
  table* t = nullptr;
  for (auto& [number, candidate] : world().tables)
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

table& add_table(int32_t number, int16_t record_size) {
  table& t = world().tables[number];
  t.number = number;
  t.descriptor.record_size = record_size;
  t.descriptor.record_buffer = t.record_buffer.data();
  t.descriptor.column_totals = t.column_totals.data();
  t.descriptor.handler = reinterpret_cast<q7::key_handler>(&host_key_handler);
  return t;
}

void reset_tables() {
  world().tables.clear();
  add_table(q7::plot_table_no, plot_record_size);
  add_table(q7::cash_table_no, cash_record_size);
  add_table(q7::ledger_table_no, ledger_record_size);
}

table* find_table(int32_t number) {
  auto& tables = world().tables;
  const auto found = tables.find(number);
  return found == tables.end() ? nullptr : &found->second;
}

std::string amount_text(double scaled) {
  const c_numbers in_c;
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", scaled / q7::amount_scale);
  return text;
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

}  // namespace torval
