// Timings of the plug-in's hot paths in the stand-in host, native and built
// for speed: the fees of a plot, a cash document as a row of the payments
// report, a posting into ledgers of every size, and a host service called
// through its bound thunk beside the same function called directly.
// scripts/bench runs it and prints the table.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "abi/machine.h"
#include "abi/mazovia.h"
#include "abi/records.h"
#include "host/file_store.h"
#include "host/host.h"
#include "plugin/cash/payments_row.h"
#include "plugin/cash/payments_sheet.h"
#include "plugin/fees/fee_rules.h"
#include "plugin/fees/ledger.h"
#include "plugin/hostlink/services.h"

extern "C" {
int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");
int16_t* Q7_STDCALL torval_52268() Q7_SYMBOL("torval_52268");
}

namespace {

void step(const std::string& line) { torval_session_step(line.c_str()); }

// The stand-in host with the plug-in code attached, working in a scratch
// folder of its own.
void start_host() {
  static bool started;
  if (started) return;
  started = true;
  char folder[] = "/tmp/q7-bench-XXXXXX";
  if (!mkdtemp(folder) || chdir(folder) != 0) std::abort();
  step("load");
  step("ledgers clear");
  step("year 2011");
  step("date 11.03.15");
}

// Fee letters as holders write them: none, each letter, all with a heating
// amount, upper case, and a remark that switches fees on.
const char* const letter_mix[] = {"", "r", "e", "re", "r e c150", "C1e2", "R E", "centrum r"};

void compute_plot_fees_for_a_mix_of_letters(benchmark::State& state) {
  start_host();
  q7::fee_sheet sheet{};
  sheet.head.area_m2 = 412;
  sheet.plot_rate = 3800.0;
  sheet.water_rate = 4200.0;
  sheet.membership_fee = 60000.0;
  sheet.energy_rate = 100000.0;
  std::size_t i = 0;
  for (auto _ : state) {
    std::snprintf(sheet.fee_letters, sizeof sheet.fee_letters, "%s", letter_mix[i++ % 8]);
    q7::compute_plot_fees(sheet);
    benchmark::DoNotOptimize(sheet.total);
  }
}
BENCHMARK(compute_plot_fees_for_a_mix_of_letters);

// A cash document as the cash desk holds it: date, plot, payer and its
// payment lines (text, amount in złoty).
q7::cash_record cash_document(const char* date, const char* plot, const char* payer,
                              std::initializer_list<std::pair<const char*, double>> lines) {
  q7::cash_record record{};
  std::snprintf(record.cash_date, sizeof record.cash_date, "%s", date);
  std::snprintf(record.cash_plot_no, sizeof record.cash_plot_no, "%s", plot);
  std::snprintf(record.payer_name, sizeof record.payer_name, "%s", payer);
  std::size_t slot = 0;
  for (const auto& [text, amount] : lines) {
    // A slot of 25 characters, zero-terminated only when the text is shorter.
    std::memcpy(record.line_texts + slot * q7::cash_slot_width, text, strnlen(text, q7::cash_slot_width));
    record.line_amounts[slot++] = amount * 10000.0;
  }
  return record;
}

// The payments report's work for one document: its lines sorted into the
// fee categories, the totals, the amounts' texts and its spreadsheet row
// written (into a buffer, the file a buffer at a time). The host keeps the
// report's files in memory, so that the figure is the plug-in's.
void payments_report_row_of_a_cash_document(benchmark::State& state) {
  start_host();
  const q7::cash_record documents[] = {
      cash_document("11.02.01", "1", "Anna Nowak",
                    {{MZ("2011 woda 300* 0.42=126.0"), 126}, {MZ("2011 opł. 300* 0.38=114.0"), 114}}),
      cash_document("11.02.28", "2", MZ("Jan Kowalski-Wiśniewski Junior"),
                    {{"2011 konserw.       10.00", 10},
                     {"energia zaliczka", 12.5},
                     {MZ("2011 składka członk. 6.00"), 6},
                     {"2011 centr.ogrz.   150.00", 150}}),
      cash_document("11.03.15", "17", MZ("Zofia Żurawska"),
                    {{"wpisowe", 500}, {"2011 woda 12* 0.42=5.04", 5.04}}),
  };
  torval::keep_files_in_memory(true);
  q7::payments_row totals{};
  static q7::payments_sheet sheet;
  const char period[20] = "11.01.01\0" "11.12.31";
  q7::payments_sheet_begin(sheet, period);
  std::size_t rows = 0;
  for (auto _ : state) {
    const q7::cash_record& document = documents[rows++ % std::size(documents)];
    const q7::payments_row row = q7::payments_row_of(document);
    q7::add_to_totals(totals, row);
    q7::payments_sheet_row(sheet, document, row, q7::amount_texts_of(row));
    if (rows % 4096 == 0) {  // a report of 4096 documents ends, the next begins
      state.PauseTiming();
      q7::payments_sheet_end(sheet, q7::amount_texts_of(totals));
      torval::close_line_files();
      for (const char* file : {"info.txt", "info2.txt"}) torval::remove_file(file);
      q7::payments_sheet_begin(sheet, period);
      state.ResumeTiming();
    }
  }
  q7::payments_sheet_end(sheet, q7::amount_texts_of(totals));
  benchmark::DoNotOptimize(totals.total);
  torval::close_line_files();
  torval::keep_files_in_memory(false);
}
BENCHMARK(payments_report_row_of_a_cash_document);

// A holder's ledger of n entries titled "T0" to "Tn-1", open in the host.
struct ledger_of {
  FILE* file = nullptr;
  int32_t count = 0;
  q7::table_descriptor* table = nullptr;
  q7::ledger_access access() { return {table, static_cast<q7::ledger_entry*>(table->record_buffer), &count, file}; }

  ledger_of(int n, bool last_free) {
    start_host();
    const std::string name = "ledgers/MMM" + std::to_string(n) + ".KON";
    FILE* out = std::fopen(name.c_str(), "wb");
    for (int i = 0; i < n; ++i) {
      q7::ledger_entry entry{};
      std::snprintf(entry.title, sizeof entry.title, "T%d", i);
      entry.amount = 10000.0;
      entry.stamp = entry.stamp_copy = i + 1;
      if (last_free && i == n - 1) entry = {};
      std::fwrite(&entry, sizeof entry, 1, out);
    }
    std::fclose(out);
    table = svc_52256_table_descriptor(q7::ledger_table_no);
    file = svc_50516_open_ledger(53, name.c_str(), table, &count);
    if (!file) std::abort();
  }
  ~ledger_of() { svc_52302_close_ledger(1, 0, &file, 0); }

  // Makes the last entry free again, or cuts the file back to n entries.
  void restore_free_last() {
    q7::ledger_entry entry{};
    std::fseek(file, static_cast<long>((count - 1) * sizeof entry), SEEK_SET);
    std::fwrite(&entry, sizeof entry, 1, file);
    std::fflush(file);
  }
  void cut_back(int n) {
    std::fflush(file);
    if (ftruncate(fileno(file), static_cast<off_t>(n) * static_cast<off_t>(sizeof(q7::ledger_entry))) != 0)
      std::abort();
    count = n;
  }
};

// The posted title is the last entry's: every entry is read before it.
void store_fee_replacing_the_last_entry(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  ledger_of ledger(n, false);
  std::string title = "T";
  title += std::to_string(n - 1);
  for (auto _ : state)
    benchmark::DoNotOptimize(q7::store_fee(ledger.access(), {title.c_str()}, 20000.0, {"line"}));
}
BENCHMARK(store_fee_replacing_the_last_entry)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000);

// A new title posted into a ledger of n entries, the ledger put back after
// each posting (not timed).
template <class PutBack>
void store_fee_of_a_new_title(benchmark::State& state, bool last_entry_free, PutBack put_back) {
  const int n = static_cast<int>(state.range(0));
  ledger_of ledger(n, last_entry_free);
  for (auto _ : state) {
    benchmark::DoNotOptimize(q7::store_fee(ledger.access(), {"new"}, 20000.0, {"line"}));
    state.PauseTiming();
    put_back(ledger, n);
    state.ResumeTiming();
  }
}

// A new title, and the only free entry is the last.
void store_fee_reusing_the_last_entry(benchmark::State& state) {
  store_fee_of_a_new_title(state, true, [](ledger_of& ledger, int) { ledger.restore_free_last(); });
}
BENCHMARK(store_fee_reusing_the_last_entry)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000);

// A new title and no free entry: the file grows by one.
void store_fee_appending(benchmark::State& state) {
  store_fee_of_a_new_title(state, false, [](ledger_of& ledger, int n) { ledger.cut_back(n); });
}
BENCHMARK(store_fee_appending)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000);

// The thunk adds one indirect jump to a bound call.
void host_service_through_its_bound_thunk(benchmark::State& state) {
  start_host();
  svc_52268_bookkeeping_year();  // bound on its first call
  for (auto _ : state) benchmark::DoNotOptimize(svc_52268_bookkeeping_year());
}
BENCHMARK(host_service_through_its_bound_thunk);

void host_service_called_directly(benchmark::State& state) {
  start_host();
  for (auto _ : state) benchmark::DoNotOptimize(torval_52268());
}
BENCHMARK(host_service_called_directly);

}  // namespace

BENCHMARK_MAIN();
