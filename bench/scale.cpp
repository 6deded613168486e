// Scale runs in the stand-in host: the dry run (Ctrl-C) over many plots and
// the payments report (Ctrl-A in the cash desk) over many cash documents,
// each beside the host's own bare pass over the same table (the same reads,
// writes and appends without the plug-in), with the peak memory of the
// process. scripts/bench runs each at N and at 10*N, in processes of their own.
//
//   torval_scale dry-run|report|thunk N
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "abi/host_services.h"
#include "abi/machine.h"
#include "abi/records.h"
#include "host/host.h"

extern "C" {
int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");
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
  if (torval::host().transcript.find(text) != std::string::npos) return;
  std::fprintf(stderr, "the command did not run to its end:\n%s\n", torval::host().transcript.c_str());
  std::exit(1);
}

// The process's peak memory is set back to what it holds now (Linux), so that
// the next reading is the peak of what ran in between.
void restart_peak() {
  if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", refs);
    std::fclose(refs);
  }
}

// A figure of /proc/self/status in KB: "VmHWM" the peak, "VmRSS" now.
long status_kilobytes(const char* field) {
  long value = 0;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status))
      if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
        value = std::strtol(line + length + 1, nullptr, 10);
        break;
      }
    std::fclose(status);
  }
  return value;
}

// Runs a key press, and the memory it took beyond what the process held
// before it: the peak during it less the memory before it.
struct measured_key {
  double seconds;
  long grown_kilobytes;
};
measured_key press(const char* key) {
  restart_peak();
  const long before = status_kilobytes("VmRSS");
  const double seconds = seconds_of([&] { step(key); });
  return {seconds, status_kilobytes("VmHWM") - before};
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
  std::printf("%s: %ld %s, bare pass %.3f s, command %.3f s, ratio %.2f, own cost %.2f us each, "
              "memory taken by the command %ld KB (the host's transcript now %ld KB)\n",
              what, n, unit, bare, command.seconds, command.seconds / bare,
              (command.seconds - bare) / n * 1e6, command.grown_kilobytes,
              static_cast<long>(torval::host().transcript.capacity() / 1024));
}

// A table loaded from a data file by its step, as the bare passes take it.
struct loaded_table {
  q7::table_descriptor* descriptor;
  FILE* file;
  int32_t count;
};

loaded_table load(const std::string& load_step, int32_t number) {
  step(load_step);
  torval::table& t = *torval::find_table(number);
  return {&t.descriptor, t.file, t.record_count};
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
  expect_in_transcript("RAZEM");
  print_run("report", n, "cash documents", bare, command);
  return 0;
}

// n calls of one host service through its bound thunk, and n of the same
// function called directly: an instruction count of each tells the thunk's
// own cost of a call.
extern "C" int16_t* Q7_STDCALL svc_52268() Q7_SYMBOL("svc_52268");
__attribute__((noinline)) void calls_through_the_thunk(long n) {
  for (long i = 0; i < n; ++i) svc_52268();
}
__attribute__((noinline)) void calls_made_directly(long n) {
  for (long i = 0; i < n; ++i) torval_52268();
}

int thunk(long n) {
  svc_52268();  // bound on its first call
  calls_through_the_thunk(n);
  calls_made_directly(n);
  std::printf("thunk: %ld calls each way\n", n);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  const long n = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
  if ((what != "dry-run" && what != "report" && what != "thunk") || n <= 0) {
    std::fprintf(stderr, "usage: torval_scale dry-run|report|thunk N\n");
    return 2;
  }
  char folder[] = "/tmp/q7-scale-XXXXXX";
  if (!mkdtemp(folder) || chdir(folder) != 0) return 1;
  step("config Sudma Pytaj 1");
  step("load");
  step("start");
  step("activate");
  step("transcript clear");
  const int status = what == "dry-run" ? dry_run(n) : what == "report" ? report(n) : thunk(n);
  std::string remove = std::string("rm -rf ") + folder;
  return std::system(remove.c_str()) == 0 ? status : 1;
}
