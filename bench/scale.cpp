// Scale runs in the stand-in host: the dry run (Ctrl-C) over many plots and
// the payments report (Ctrl-A in the cash desk) over many cash documents,
// each beside the host's own bare pass over the same table (the same reads,
// writes and appends without the plug-in), with the memory the command took.
// scripts/bench runs each at N and at 10*N, in processes of their own: the
// native build with the plug-in's code linked in, and the Windows build
// under Wine with the real DLL, which it takes from beside the program.
//
//   torval_scale dry-run|report|thunk N      (thunk: native build only)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "abi/host_services.h"
#include "abi/machine.h"
#include "abi/records.h"
#include "bench/proc_status.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>
#endif

extern "C" {
int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");
const char* Q7_CDECL torval_session_transcript() Q7_SYMBOL("torval_session_transcript");
int32_t Q7_CDECL torval_session_table(int32_t number, q7::table_descriptor** descriptor, FILE** file,
                                      int32_t* count) Q7_SYMBOL("torval_session_table");
#define Q7_DECLARE_HOST_FUNCTION(number, convention, result, parameters) \
  result convention torval_##number parameters Q7_SYMBOL("torval_" #number);
Q7_HOST_SERVICES(Q7_DECLARE_HOST_FUNCTION)
#undef Q7_DECLARE_HOST_FUNCTION
}

namespace {

void step(const std::string& line) { torval_session_step(line.c_str()); }

template <class Body>
double seconds_of(Body body) {
  const auto start = std::chrono::steady_clock::now();
  body();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A run whose command did not reach its end measures nothing.
void expect_in_transcript(const char* text) {
  const char* transcript = torval_session_transcript();
  if (std::strstr(transcript, text)) return;
  std::fprintf(stderr, "the command did not run to its end:\n%s\n", transcript);
  std::exit(1);
}

// A report that did not reach its end measures nothing: its last line is
// the totals. (The report view draws only the report's first lines.)
void expect_report_totals(const char* file) {
  std::ifstream in(file, std::ios::binary);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty() && line != "\r") last = line;
  if (last.rfind("RAZEM", 0) == 0) return;
  std::fprintf(stderr, "the report did not reach its totals:\n%s\n", torval_session_transcript());
  std::exit(1);
}

#ifdef _WIN32
// The process's private memory in KB. Windows keeps the peak of it but
// cannot set the peak back, so a thread watches it while a command runs.
long private_kilobytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)
             ? static_cast<long>(counters.PagefileUsage / 1024)
             : 0;
}

template <class Body>
long memory_grown_by(Body body) {
  const long before = private_kilobytes();
  std::atomic<bool> done{false};
  std::atomic<long> peak{before};
  std::thread watcher([&] {
    while (!done) {
      peak = std::max(peak.load(), private_kilobytes());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  body();
  done = true;
  watcher.join();
  return std::max(peak.load(), private_kilobytes()) - before;
}
#else
// The process's peak memory is set back to what it holds now (Linux), so that
// the next reading is the peak of what ran in between.
void restart_peak() {
  if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", refs);
    std::fclose(refs);
  }
}

template <class Body>
long memory_grown_by(Body body) {
  restart_peak();
  const long before = q7::bench::status_kilobytes("VmRSS");
  body();
  return q7::bench::status_kilobytes("VmHWM") - before;
}
#endif

// Runs a key press, and the memory it took beyond what the process held
// before it: the peak during it less the memory before it.
struct measured_key {
  double seconds;
  long grown_kilobytes;
};
measured_key press(const char* key) {
  double seconds = 0;
  const long grown = memory_grown_by([&] { seconds = seconds_of([&] { step(key); }); });
  return {seconds, grown};
}


// Plots of areas from 150 to 1,200 m2 and a mix of fee letters.
void write_plots(const std::string& name, long n) {
  std::ofstream out(name);
  const char* letters[] = {"", "r", "re", "r e c150", "E", "R c80.5"};
  for (long i = 1; i <= n; ++i)
    out << i << ";Działkowiec " << i << ";" << 150 + (i * 37) % 1051 << ";" << letters[i % 6] << ";"
        << i % 30000 << "\n";
}

// Cash documents of one year, each with the plug-in's fee lines.
void write_cash(const std::string& name, long n) {
  std::ofstream out(name);
  for (long i = 1; i <= n; ++i) {
    char date[16];
    std::snprintf(date, sizeof date, "11.%02ld.%02ld", i % 12 + 1, i % 28 + 1);
    out << date << ";" << i % 30000 + 1 << ";Wpłacający " << i << ";2011 woda 126.00;126;"
        << "2011 opł. 114.00;114;inna wpłata;" << i % 50 << "\n";
  }
}

// The host's calls of the dry run, every one of them, without the plug-in.
// Named, so that an instruction count can be taken of it alone.
__attribute__((noinline)) void bare_dry_run_pass(q7::table_descriptor* table, FILE* file, int32_t count) {
  auto& plot = *static_cast<q7::plot_record*>(table->record_buffer);
  torval_52282(file);
  torval_52297(table, file);
  for (int32_t i = 0; i < count; ++i) {
    torval_52286(0, i, table, 0, file);
    torval_52204(table, &plot, -1, fileno(file));
    plot.kwota1 = torval_52178(1000.0 * i, 100);
    plot.kwota2 = torval_52178(500.0 * i, 100);
    torval_52287(0, i, table, 0, file);
    torval_52204(table, &plot, +1, fileno(file));
  }
  torval_52298(table, file);
  torval_52283(file);
}

// The same for the payments report: every document read and its date
// compared with the period; the lines of the documents in the period
// appended to two files, and the report shown.
__attribute__((noinline)) void bare_report_pass(q7::table_descriptor* table, FILE* file, int32_t count) {
  const auto& record = *static_cast<const q7::cash_record*>(table->record_buffer);
  std::remove("bare.txt");
  std::remove("bare2.txt");
  for (int32_t i = 0; i < count; ++i) {
    torval_52286(0, i, table, 0, file);
    if (torval_30908("11.01.01", record.cash_date) > 0 || torval_30908("11.12.31", record.cash_date) < 0)
      continue;
    torval_52407("bare2.txt", record.payer_name);
    torval_52407("bare.txt", record.payer_name);
  }
  torval_52409("bare.txt", "l-1Nazwisko", 0, "Raport", 0);
}

void print_run(const char* what, long n, const char* unit, double bare, const measured_key& command) {
  std::printf(
      "%s: %ld %s, bare pass %.3f s, command %.3f s, ratio %.2f, own cost %.2f us each, "
      "memory taken by the command %ld KB (the host's transcript now %ld KB)\n",
      what, n, unit, bare, command.seconds, command.seconds / bare, (command.seconds - bare) / n * 1e6,
      command.grown_kilobytes, static_cast<long>(std::strlen(torval_session_transcript()) / 1024));
}

// A table loaded from a data file by its step, as the bare passes take it.
struct loaded_table {
  q7::table_descriptor* descriptor;
  FILE* file;
  int32_t count;
};

loaded_table load(const std::string& load_step, int32_t number) {
  step(load_step);
  loaded_table t{};
  if (!torval_session_table(number, &t.descriptor, &t.file, &t.count) || !t.file) {
    std::fprintf(stderr, "the host has no table %d\n", static_cast<int>(number));
    std::exit(1);
  }
  return t;
}

int dry_run(long n) {
  write_plots("plots.csv", n);
  const loaded_table plots = load("plots plots.csv", q7::plot_table_no);
  // The bare pass after the command, so that both find the host's file in the
  // same state (a first pass pays for the file the loader has just written).
  step("answer yes");
  const measured_key command = press("key 35 3");
  expect_in_transcript("wyniesie");
  const double bare = seconds_of([&] { bare_dry_run_pass(plots.descriptor, plots.file, plots.count); });
  print_run("dry run", n, "plots", bare, command);
  return 0;
}

int report(long n) {
  write_cash("cash.csv", n);
  const loaded_table cash = load("cash cash.csv", q7::cash_table_no);
  const double bare = seconds_of([&] { bare_report_pass(cash.descriptor, cash.file, cash.count); });
  step("answer yes");
  step("answer ok period 11.01.01 11.12.31");
  step("answer no");
  const measured_key command = press("key 28 1");
  expect_report_totals("info.txt");
  print_run("report", n, "cash documents", bare, command);
  return 0;
}

#ifndef _WIN32
// n calls of one host service through its calling entry (the way the
// plug-in calls it: the host's x87 word loaded for the call), n through its
// bound thunk alone, and n of the same function called directly: an
// instruction count of each tells what the entry and the thunk cost a call.
// The plug-in's thunks are in this program only in the native build.
extern "C" int16_t* Q7_STDCALL svc_52268_bookkeeping_year() Q7_SYMBOL("svc_52268");
extern "C" int16_t* Q7_STDCALL svc_52268_called_out() Q7_SYMBOL("svc_52268_call");
__attribute__((noinline)) void calls_through_the_calling_entry(long n) {
  for (long i = 0; i < n; ++i) svc_52268_called_out();
}
__attribute__((noinline)) void calls_through_the_thunk(long n) {
  for (long i = 0; i < n; ++i) svc_52268_bookkeeping_year();
}
__attribute__((noinline)) void calls_made_directly(long n) {
  for (long i = 0; i < n; ++i) torval_52268();
}

int thunk(long n) {
  svc_52268_bookkeeping_year();  // bound on its first call
  calls_through_the_calling_entry(n);
  calls_through_the_thunk(n);
  calls_made_directly(n);
  std::printf("thunk: %ld calls each way\n", n);
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const std::string what = argc > 1 ? argv[1] : "";
  const long n = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
#ifdef _WIN32
  const bool known = what == "dry-run" || what == "report";
  const char* const usage = "usage: torval_scale dry-run|report N\n";
#else
  const bool known = what == "dry-run" || what == "report" || what == "thunk";
  const char* const usage = "usage: torval_scale dry-run|report|thunk N\n";
#endif
  if (!known || n <= 0) {
    std::fputs(usage, stderr);
    return 2;
  }
  // A folder of its own, removed at the end.
  std::error_code error;
  const fs::path folder = fs::temp_directory_path(error) / ("q7-scale-" + what + "-" + std::to_string(n));
  fs::remove_all(folder, error);
  if (!fs::create_directories(folder, error)) {
    std::fprintf(stderr, "cannot make the work folder %s\n", folder.string().c_str());
    return 1;
  }
#ifdef _WIN32
  // The plug-in module, from beside the program, is loaded from the work folder.
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  fs::copy_file(fs::path(std::string(program, length)).parent_path() / "q7_kar_vezezoz.dll",
                folder / "q7_kar_vezezoz.dll", error);
  if (error) {
    std::fprintf(stderr, "the plug-in module is not beside the program: %s\n", error.message().c_str());
    return 1;
  }
#endif
  fs::current_path(folder, error);
  if (error) return 1;
  step("config Sudma Pytaj 1");
  step("report-lines 20");  // the report view's transcript would grow with the report
  step("load");
  step("start");
  step("activate");
  step("transcript clear");
#ifdef _WIN32
  const int status = what == "dry-run" ? dry_run(n) : report(n);
#else
  const int status = what == "dry-run" ? dry_run(n) : what == "report" ? report(n) : thunk(n);
#endif
  // Under Windows the loaded plug-in module and the host's open table files
  // keep the folder; the next run of the same kind and size removes it first.
  fs::current_path(folder.parent_path(), error);
  fs::remove_all(folder, error);
  return status;
}
