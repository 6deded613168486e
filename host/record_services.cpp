// The host services of the stand-in host that keep its tables and files: a
// table's records, passes and changes over its file, its column totals, the
// holders' ledgers and the entry stamp. One function each, exported by
// number (plugin/hostlink/services.list); each tells the transcript what the user would see.
#include <cmath>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "abi/delay_load.h"
#include "abi/host_services.h"
#include "abi/mazovia.h"
#include "host/audit.h"
#include "host/file_store.h"
#include "host/plan.h"
#include "host/service_functions.h"
#include "host/transcript.h"
#include "host/world.h"


using namespace torval;

namespace {

// The record services of a table file: a fault plan may refuse them, and the
// transcript shows each call when traced. action does the work; outcome
// tells, after it, what came of the call.
template <class Action, class Outcome>
int32_t record_service(uint32_t service, q7::table_descriptor* descriptor, Action action,
                       Outcome outcome) {
  if (failing(service)) return 0;
  table* t = table_of(descriptor);
  const bool done = t && action(*t);
  if (done && service != 52286) audit_stored(*t);
  trace(service, [&]() -> std::string { return "table " + std::to_string(t ? t->number : 0) + outcome(done); });
  return done;
}

}  // namespace

extern "C" {

// A running stamp kept in a file of the working folder, so that it goes on
// rising from session to session like the host's own.
// Read and written whole, without a stream: every posting takes a stamp.
int32_t Q7_STDCALL torval_50800() {
  static std::string text;
  const long last = read_file("torval.stamp", text) ? std::strtol(text.c_str(), nullptr, 10) : 0;
  const auto stamp = static_cast<int32_t>(last + 1);
  char line[16];
  write_file("torval.stamp", std::string_view(line, std::snprintf(line, sizeof line, "%d\n", static_cast<int>(stamp))));
  return stamp;
}

int32_t Q7_STDCALL torval_52286(int32_t, int32_t index, q7::table_descriptor* descriptor, int32_t,
                                FILE* file) {
  return record_service(
      52286, descriptor, [&](table& t) { return read_record(t, file, index); },
      [&](bool done) { return ", record " + std::to_string(index) + (done ? "" : ": not read"); });
}

int32_t Q7_STDCALL torval_52287(int32_t, int32_t index, q7::table_descriptor* descriptor, int32_t,
                                FILE* file) {
  return record_service(
      52287, descriptor, [&](table& t) { return write_record(t, file, index); },
      [&](bool done) { return ", record " + std::to_string(index) + (done ? "" : ": not written"); });
}

int32_t Q7_STDCALL torval_52288(int32_t* count, q7::table_descriptor* descriptor, FILE* file) {
  const int32_t done = record_service(
      52288, descriptor, [&](table& t) { return append_record(t, file, count); },
      [&](bool done) {
        return done ? ", now " + std::to_string(*count) + " records" : std::string(": not appended");
      });
  // A host whose append answers the new record's index (0 in an empty file).
  if (done && behaves("append-answers-index")) return *count - 1;
  return done;
}

// Keeps the column totals of a table as records are taken out (-1) and put
// back (+1): for a holder's ledger the debit and the credit totals.
void Q7_STDCALL torval_52204(q7::table_descriptor* descriptor, void* record, int32_t sign, int32_t fd) {
  table* t = table_of(descriptor);
  if (!t || !record) return;
  std::string (*amounts)(const void*) = [](const void*) { return std::string(); };
  if (t->number == q7::ledger_table_no) {
    q7::ledger_entry entry;
    std::memcpy(&entry, record, sizeof entry);
    t->column_totals[0] += sign * ledger_debit(entry);
    t->column_totals[1] += sign * ledger_credit(entry);
    audit_ledger_totals(fd, sign * ledger_debit(entry), sign * ledger_credit(entry));
    amounts = [](const void* r) {
      q7::ledger_entry e;
      std::memcpy(&e, r, sizeof e);
      return ", " + amount_text(ledger_debit(e));
    };
  } else if (t->number == q7::plot_table_no) {
    q7::plot_record plot;
    std::memcpy(&plot, record, sizeof plot);
    t->column_totals[kwota1_column] += sign * column_amount(plot.kwota1);
    t->column_totals[kwota2_column] += sign * column_amount(plot.kwota2);
    amounts = [](const void* r) {
      q7::plot_record p;
      std::memcpy(&p, r, sizeof p);
      return ", kwota1 " + amount_text(column_amount(p.kwota1)) + ", kwota2 " +
             amount_text(column_amount(p.kwota2));
    };
  }
  trace(52204, [&]() -> std::string {
    return "table " + std::to_string(t->number) + ", " + (sign < 0 ? "-1" : "+1") + amounts(record);
  });
}

// Opens a holder's ledger file, making an empty one for a holder who has none.
FILE* Q7_STDCALL torval_50516(int32_t, const char* file_name, q7::table_descriptor* descriptor,
                              int32_t* count) {
  if (failing(50516)) return nullptr;
  table* t = table_of(descriptor);
  FILE* file = open_file(file_name, "r+b");
  if (!file) file = open_file(file_name, "w+b");
  if (!t || !file || !count) {
    if (file) std::fclose(file);
    return nullptr;
  }
  *count = records_in(file, t->descriptor.record_size);
  // The ledger table's totals are this holder's from now on.
  total_ledger(*t, file, *count);
  audit_opened_ledger(file, file_name, t->column_totals[0], t->column_totals[1]);
  trace(50516, [&]() -> std::string { return std::string(file_name) + ", " + std::to_string(*count) + " entries"; });
  return file;
}

// Finishes a holder's ledger: its debit and credit totals are recomputed
// from the file into the ledger table's column totals.
int32_t Q7_STDCALL torval_52290(FILE* file, int32_t count, q7::table_descriptor* descriptor) {
  if (failing(52290)) return 0;
  table* t = table_of(descriptor);
  if (!t || !file || !total_ledger(*t, file, count)) return 0;
  trace(52290, [&]() -> std::string { return "debit " + amount_text(t->column_totals[0]) + ", credit " +
                   amount_text(t->column_totals[1]); });
  return 1;
}

void Q7_STDCALL torval_52302(int32_t ok, int32_t, FILE** handle, int32_t) {
  trace(52302, [&]() -> std::string { return "ok " + std::to_string(ok); });
  if (handle && *handle) {
    audit_closed_ledger(*handle);
    std::fclose(*handle);
  }
  if (handle) *handle = nullptr;
}

// The number of the table whose file this is; 0 for none.
static int32_t table_of_file(const FILE* file) {
  for (const auto& [number, t] : world().tables)
    if (file && t.file == file) return number;
  return 0;
}

void Q7_STDCALL torval_52282(FILE* file) {
  trace(52282, [] { return std::string(); });
  audit_pass(file, table_of_file(file), true);
}

void Q7_STDCALL torval_52283(FILE* file) {
  trace(52283, [] { return std::string(); });
  audit_pass(file, table_of_file(file), false);
}

void Q7_STDCALL torval_52297(q7::table_descriptor* descriptor, FILE* file) {
  const table* t = table_of(descriptor);
  trace(52297, [&]() -> std::string { return "table " + std::to_string(t ? t->number : 0); });
  audit_changes(file, t ? t->number : 0, true);
}

void Q7_STDCALL torval_52298(q7::table_descriptor* descriptor, FILE* file) {
  const table* t = table_of(descriptor);
  trace(52298, [&]() -> std::string { return "table " + std::to_string(t ? t->number : 0); });
  audit_changes(file, t ? t->number : 0, false);
}

void Q7_STDCALL torval_52465(q7::table_descriptor* descriptor, int32_t what) {
  const table* t = table_of(descriptor);
  trace(52465, [&]() -> std::string { return "table " + std::to_string(t ? t->number : 0) + ", " + std::to_string(what); });
}

// Holders' ledgers are files in the ledger folder, named by prefix, account
// number and extension.
char* Q7_STDCALL torval_52311(int32_t account, char* buffer, const char* prefix,
                              const char* extension, int32_t length) {
  if (buffer && length > 0 && !behaves("file-name-unwritten"))
    std::snprintf(buffer, static_cast<std::size_t>(length), "%s/%s%05d%s", ledger_folder, prefix,
                  static_cast<int>(account), extension);
  trace(52311, [&]() -> std::string { return buffer ? buffer : ""; });
  return buffer;
}

// A scaled amount as the integer of a numeric column (a column value of
// 40600 with the scale 100 stands for 4060000.0).
int32_t Q7_STDCALL torval_52178(double scaled_amount, int32_t scale) {
  const double value = scale ? scaled_amount / scale : 0.0;
  if (!std::isfinite(value)) return 0;
  if (value >= INT32_MAX) return INT32_MAX;
  if (value <= INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(std::lround(value));
}

}  // extern "C"
