// The host's answers from untrusted bytes: a sequence of commands (Ctrl-B,
// Ctrl-C, Ctrl-A and Ctrl-W in the list of firms, Ctrl-A in the cash desk,
// another key) in the stand-in host, where the fuzzer's bytes choose the list
// window and the key handler's values of each command, and then, call by
// call, what every service answers to the plug-in (fuzz/answers.h).
//
// After every command: the key reached the previous handler, with the same
// values, exactly when it must (always in the list of firms but after a
// completed Ctrl-W, which answers 1; never for Ctrl-A in the cash desk, which
// answers 0); every holder's ledger, pass and change opened was closed, but a
// ledger the host's 52302 did not close; no row of the list was written but
// the cursor's, and that one only in its ledger totals. Unless an answer told
// other than what the host did: the host's totals of every ledger opened and
// of the plot table agree with the files, and a message of a posted total
// tells what the host stored. The sanitizers watch every byte, the host's
// record buffers being exactly a record long.
//
// Input: per command a byte for the kind, one for the window and the record
// count, one for a null among the handler's values; then the answers' bytes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "abi/records.h"
#include "fuzz/answers.h"
#include "fuzz/support.h"
#include "host/file_store.h"
#include "host/host.h"

namespace {

using q7::fuzz::bytes;
using q7::fuzz::record;

constexpr int most_commands = 3;
constexpr uint32_t a2 = 0xA2A2, a10 = 0xA10A;  // the two 16-bit values of a key handler call

// The previous handler of both tables: counts its calls and keeps the values.
struct previous_call {
  int calls = 0;
  int32_t key = 0;
  uint32_t a2 = 0, a10 = 0;
  int32_t* count = nullptr;
  char** rows = nullptr;
  q7::table_descriptor* table = nullptr;
  FILE* file = nullptr;
  int32_t a5 = 0, a7 = 0, a9 = 0, a11 = 0;
};
previous_call previous;

int32_t Q7_STDCALL previous_handler(int32_t key, uint32_t v2, int32_t* count, char** rows, int32_t a5,
                                    q7::table_descriptor* table, int32_t a7, FILE* file, int32_t a9,
                                    uint32_t v10, int32_t a11) {
  previous = {previous.calls + 1, key, v2, v10, count, rows, table, file, a5, a7, a9, a11};
  return 7000 + key;
}

// The files, the list's rows and the column totals as every input starts
// with them.
constexpr std::string_view start_names[] = {"plots.dat", "cash.dat", "ledgers/MMM00001.KON",
                                            "ledgers/MMM00002.KON", "torval.ini"};
std::string start_bytes[std::size(start_names)];
struct start_table {
  std::vector<std::vector<char>> rows;
  std::vector<double> column_totals;
};
std::map<int32_t, start_table> start_tables;
// An answer of this input told other than what the host did: from then on
// its totals need not agree with its files.
const char* untrue_before = nullptr;

void set_up() {
  q7::fuzz::attach_plugin();
  const q7::fuzz::in_scratch_folder here;
  q7::fuzz::install_answers();
  std::ofstream("plots.csv") << "1;Anna Nowak;300;r e c150;1\n2;Jan Kowalski;412.5;RE;2\n"
                                "3;Ewa Zielińska;1200;;3\n";
  std::ofstream("cash.csv") << "11.03.20;1;Anna Nowak;2011 opł. 300* 0.38=114.0;114.00;2011 woda;126;inne;12.5\n"
                               "10.12.31;3;Ewa Zielińska;2010 centr.ogrz.   150.00;150\n";
  for (const char* line :
       {"config Sudma Pytaj 1", "rates 0.38 0.42 10.00 6.00", "plots plots.csv", "cash cash.csv",
        "ledger 1 entry stamp=3 amount=114 line=2011 opł.; title=2011 Opłata - użytkowanie",
        "ledger 1 entry stamp=0 amount=0 title=wolny", "ledger 1 entry stamp=4 amount=6 paid=6 title=2011 Opłata członkowska",
        "ledger 2 entry stamp=9 amount=45 title=2011 Woda poprzedni rok"})
    q7::fuzz::step(line);
  for (std::size_t i = 0; i < std::size(start_names); ++i) start_bytes[i] = q7::fuzz::file_bytes(start_names[i]);
  // A transcript, when one is written, shows the calls that change what is kept.
  if (!torval::transcript().quiet) q7::fuzz::step("trace 50516 52204 52286 52287 52288 52290 52302");
  for (const int32_t number : {q7::plot_table_no, q7::cash_table_no})
    torval::find_table(number)->descriptor.handler = reinterpret_cast<q7::key_handler>(&previous_handler);
  for (const int32_t number : {q7::plot_table_no, q7::cash_table_no, q7::ledger_table_no}) {
    const torval::table& t = *torval::find_table(number);
    start_tables[number] = {t.held, t.column_totals};
  }
  q7::fuzz::step("start");
  q7::fuzz::step("activate");
  if (reinterpret_cast<void*>(torval::find_table(q7::plot_table_no)->descriptor.handler) ==
      reinterpret_cast<void*>(&previous_handler))
    q7::fuzz::broken(__FILE__, __LINE__, "activated", "the plug-in did not take the key handlers");
}

// Whether the input starts with the file.
bool is_start_file(std::string_view name) {
  return std::find(std::begin(start_names), std::end(start_names), name) != std::end(start_names);
}

// Every input starts from the same tables, ledgers, settings and audit: each
// ends by putting them back. A file, a row or a total is made again only
// where the input changed it (a fuzz program must run tens of thousands of
// inputs a second), and whatever the input allocated is freed, so that the
// fuzzer sees no leak to look for.
void start_again() {
  torval::forget_files_other_than(is_start_file);
  for (std::size_t i = 0; i < std::size(start_names); ++i)
    if (const std::string* now = torval::bytes_in_memory(start_names[i]); !now || *now != start_bytes[i])
      torval::write_file(start_names[i], start_bytes[i]);
  for (auto& [number, start] : start_tables) {
    torval::table& t = *torval::find_table(number);
    t.record_count = static_cast<int32_t>(start.rows.size());
    if (t.held.size() != start.rows.size()) torval::reload_rows(t);
    for (std::size_t i = 0; i < t.held.size(); ++i)
      if (t.held[i] != start.rows[i]) t.held[i] = start.rows[i];
    t.column_totals = start.column_totals;
  }
  // The audit starts anew but for the kept totals of the ledgers, which
  // each opening sets again: their entries serve every input.
  auto& audit = torval::audit();
  auto ledger_totals = std::move(audit.ledger_totals);
  audit = {};
  audit.ledger_totals = std::move(ledger_totals);
  record().start_command();
  record().ledgers.clear();
  untrue_before = nullptr;
}

bool same_amount(double a, double b) { return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b)); }

// The kept totals of the ledgers opened and of the plot table, against
// their files; empty when they agree. The files are read from memory, and
// the host's own readers are left alone.
std::string totals_disagree() {
  for (const auto* kept : record().ledgers) {
    const std::string& name = kept->first;
    const std::string* bytes = torval::bytes_in_memory(name);
    if (!bytes) continue;
    const std::string& file = *bytes;
    double debit = 0, credit = 0;
    for (std::size_t at = 0; at + sizeof(q7::ledger_entry) <= file.size(); at += sizeof(q7::ledger_entry)) {
      q7::ledger_entry entry;
      std::memcpy(&entry, file.data() + at, sizeof entry);
      debit += torval::ledger_debit(entry);
      credit += torval::ledger_credit(entry);
    }
    if (!same_amount(kept->second.first, debit) || !same_amount(kept->second.second, credit))
      return name + " kept " + std::to_string(kept->second.first) + " and " +
             std::to_string(kept->second.second) + ", its file holds " + std::to_string(debit) + " and " +
             std::to_string(credit);
  }
  static const std::string none;
  const std::string* bytes = torval::bytes_in_memory("plots.dat");
  const std::string& file = bytes ? *bytes : none;
  double kwota[2] = {0, 0};
  for (std::size_t at = 0; at + sizeof(q7::plot_record) <= file.size(); at += sizeof(q7::plot_record)) {
    q7::plot_record plot;
    std::memcpy(&plot, file.data() + at, sizeof plot);
    kwota[0] += torval::column_amount(plot.kwota1);
    kwota[1] += torval::column_amount(plot.kwota2);
  }
  const auto& kept = torval::find_table(q7::plot_table_no)->column_totals;
  if (!same_amount(kept[torval::kwota1_column], kwota[0]) || !same_amount(kept[torval::kwota2_column], kwota[1]))
    return "the plot table kept " + std::to_string(kept[torval::kwota1_column]) + " and " +
           std::to_string(kept[torval::kwota2_column]) + ", its file holds " + std::to_string(kwota[0]) +
           " and " + std::to_string(kwota[1]);
  return "";
}

// What ran, for a report: the key, the answer that told other than what the
// host did, and the transcript when one is written (Q7_FUZZ_TRANSCRIPT=1).
std::string what_ran(int32_t key, int32_t table) {
  return torval::transcript().text + "key " + std::to_string(key) + " in table " + std::to_string(table) +
         (record().untrue ? std::string(" (") + record().untrue + ")" : std::string()) +
         (untrue_before ? std::string(" (before it ") + untrue_before + ")" : std::string());
}

void run_command() {
  const uint8_t kind = bytes().next() % 6, window = bytes().next(), nulls = bytes().next();
  constexpr int32_t keys[] = {q7::key_ctrl_b, q7::key_ctrl_c, q7::key_ctrl_a, q7::key_ctrl_w, q7::key_ctrl_a};
  const bool cash = kind == 4 || (kind == 5 && window & 1);
  const int32_t key = kind < 5 ? keys[kind] : cash ? q7::key_ctrl_b : 4;
  torval::table& t = *torval::find_table(cash ? q7::cash_table_no : q7::plot_table_no);
  const int32_t rows_held = static_cast<int32_t>(t.held.size());

  // The record count the handler is handed: the table's, none, or another.
  int32_t other_count = 0;
  int32_t* count = &other_count;
  switch ((window >> 3) % 8) {
    case 0: count = &t.record_count; break;
    case 1: count = nullptr; break;
    case 2: other_count = 0; break;
    case 3: other_count = -1; break;
    case 4: other_count = std::numeric_limits<int32_t>::min(); break;
    case 5: other_count = rows_held + 2; break;
    case 6: other_count = std::numeric_limits<int32_t>::max(); break;
    default: other_count = rows_held - 1; break;
  }
  // The list window: on a row, or on none (before the first row held, or at
  // the count). Where the count runs beyond the rows held, the window stays
  // on a row the host holds: the count is all that bounds the row array.
  auto& d = t.descriptor;
  d.first_held = d.top_record = 0;
  d.cursor_line = window % 4;
  if (d.cursor_line == 3) {
    if (window & 4) d.first_held = 1, d.cursor_line = 0;
    else d.cursor_line = count ? std::max(0, *count) : 0;
  }
  if (count && *count > rows_held && d.cursor_line >= rows_held) d.cursor_line = 0, d.first_held = 0;
  const int64_t cursor_row = int64_t{d.top_record} + d.cursor_line - d.first_held;

  char** rows = t.rows.data();
  q7::table_descriptor* table = &d;
  FILE* file = t.file;
  if (nulls >= 0x80) {
    if (nulls % 3 == 0) rows = nullptr;
    if (nulls % 3 == 1) table = nullptr;
    if (nulls % 3 == 2) file = nullptr;
  }

  // Kept as texts: a text is copied with memcpy, which the sanitizer hands to
  // the C library, where a vector's copy goes a byte at a time. The texts
  // keep their room from one command to the next, whatever the table.
  static std::vector<std::string> rows_before;
  const std::size_t rows_kept = t.held.size();
  if (rows_before.size() < rows_kept) rows_before.resize(rows_kept);
  for (std::size_t i = 0; i < rows_kept; ++i) rows_before[i].assign(t.held[i].data(), t.held[i].size());
  const double stored_before = torval::audit().stored;
  previous = {};
  record().start_command();
  record().active = true;
  const int32_t result = d.handler(key, a2, count, rows, 5, table, 7, file, 9, a10, 11);
  record().active = false;
  torval::close_line_files();
  q7::fuzz::restore_descriptors();
  // What ran, made only for a report.
  const auto ran = [&] { return what_ran(key, t.number); };

  // The key: passed on, with its eleven values, exactly when it must be.
  const bool completed = !cash && key == q7::key_ctrl_w && record().closing_message;
  const bool kept = cash ? key == q7::key_ctrl_a : completed;
  Q7_FUZZ_CHECK(previous.calls == (kept ? 0 : 1), ran() + ": the previous handler was called " +
                                                      std::to_string(previous.calls) + " times");
  Q7_FUZZ_CHECK(result == (kept ? (cash ? 0 : 1) : 7000 + key), ran() + ": the handler answered " + std::to_string(result));
  if (!kept)
    Q7_FUZZ_CHECK(previous.key == key && previous.a2 == a2 && previous.count == count && previous.rows == rows &&
                      previous.a5 == 5 && previous.table == table && previous.a7 == 7 && previous.file == file &&
                      previous.a9 == 9 && previous.a10 == a10 && previous.a11 == 11,
                  ran() + ": the key was passed on with other values");

  // Everything opened is closed, but a ledger the host did not close.
  auto& audit = torval::audit();
  for (FILE* open : record().left_open) {
    torval::audit_closed_ledger(open);
    std::fclose(open);
  }
  Q7_FUZZ_CHECK(audit.open_ledgers.empty() && audit.open_passes.empty() && audit.begun_changes.empty(),
                ran() + ": left open: " + std::to_string(audit.open_ledgers.size()) + " ledgers, " +
                    std::to_string(audit.open_passes.size()) + " passes, " +
                    std::to_string(audit.begun_changes.size()) + " changes");

  // No row written but the cursor's, and that one only in its ledger totals.
  for (std::size_t i = 0; i < rows_kept; ++i) {
    const std::string_view now(t.held[i].data(), t.held[i].size()), then = rows_before[i];
    if (static_cast<int64_t>(i) == cursor_row && !cash) {
      constexpr std::size_t from = offsetof(q7::plot_record, ledger_debit_total);
      constexpr std::size_t to = offsetof(q7::plot_record, ledger_balance) + sizeof(double);
      Q7_FUZZ_CHECK(std::memcmp(now.data(), then.data(), from) == 0 &&
                        std::memcmp(now.data() + to, then.data() + to, now.size() - to) == 0,
                    ran() + ": the cursor's row was written beyond its ledger totals");
    } else {
      Q7_FUZZ_CHECK(now == then, ran() + ": row " + std::to_string(i) + " was written");
    }
  }

  if (record().untrue) untrue_before = record().untrue;
  if (untrue_before) return;
  const std::string disagree = totals_disagree();
  Q7_FUZZ_CHECK(disagree.empty(), ran() + ": " + disagree);
  const double stored = (audit.stored - stored_before) / 10000.0;
  if (record().posted_message)
    Q7_FUZZ_CHECK(same_amount(record().posted_total, stored),
                  ran() + ": the message tells " + std::to_string(record().posted_total) + ", the host stored " +
                      std::to_string(stored));
}

}  // namespace

// No input is longer than the bytes its commands can read: a Ctrl-B reads
// 120 with its head. A feature counts as rare while seen fewer than 16
// times, not 255: the fuzzer looks up every rare feature an input reaches in
// a list of them all, and with this program's two thousand features and a
// corpus kept from long runs that list made the fuzzer's own bookkeeping a
// third of every input. The hundred rarest features count as rare whatever
// the limit, so the fuzzer still gives its time to the inputs that reach them.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  q7::fuzz::limit_input_length(argc, argv, 256);
  q7::fuzz::default_flag(argc, argv, "-entropic_feature_frequency_threshold=16");
  return 0;
}

// AddressSanitizer keeps back 32 MB of freed blocks (not 256) and records 8
// frames of each allocation's stack (not 30): a command allocates a few
// hundred blocks, so a use after free is still caught hundreds of inputs
// later, and a finding still names where its block was allocated, while each
// allocation costs half as much.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=32:malloc_context_size=8"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const bool ready = (set_up(), true);
  (void)ready;
  bytes() = {data, data, data + size};
  for (int n = 0; n < most_commands && !bytes().empty(); ++n) run_command();
  q7::fuzz::reset_host_output();
  start_again();
  return 0;
}
