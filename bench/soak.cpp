// A year of use in one process: the stand-in host runs the plug-in's five
// commands many times over, mixed, with cancels, failing services and
// abandoned calls among them, stops and starts the plug-in again and again,
// and unloads and loads its module; then it says whether the process's
// private memory, its handles and its modules end where they stood after the
// first hundred commands, and whether the ledgers and the plot file agree
// with the totals the host kept. Built under Windows (run under Wine with the
// real DLL) and natively under the sanitizers (the plug-in as a shared object
// beside the program, so that it too is unloaded and loaded again).
//
//   torval_soak COMMANDS CYCLES RELOADS [SEED]
//
// A stop and start cycle (30001 without and with a context, then 30008) and
// an unload and load cycle come at even intervals among the commands, both
// after the first hundred. Exits 1 when a figure is outside its tolerance or
// a command went wrong, with what it was.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "abi/machine.h"
#include "bench/process_figures.h"

extern "C" {
int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");
const char* Q7_CDECL torval_session_transcript() Q7_SYMBOL("torval_session_transcript");
int32_t Q7_CDECL torval_session_calls(uint32_t service) Q7_SYMBOL("torval_session_calls");
int32_t Q7_CDECL torval_session_forget_plan() Q7_SYMBOL("torval_session_forget_plan");
}

namespace {

constexpr int plots = 24;      // the last with an area no fee is computed from
constexpr int documents = 48;  // cash documents of one year
constexpr int baseline_commands = 100;

void step(const std::string& line) { torval_session_step(line.c_str()); }

// The same mix from the same seed on every platform.
struct random_numbers {
  uint32_t state;
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }
};

void write_garden() {
  std::ofstream out("plots.csv");
  const char* letters[] = {"", "r", "re", "r e c150", "E", "R c80.5", "rec12.5"};
  for (int i = 1; i <= plots; ++i)
    out << i << ";Działkowiec " << i << ";" << (i == plots ? 40000 : 150 + (i * 37) % 1051) << ";"
        << letters[i % 7] << ";" << i << "\n";
  std::ofstream cash("cash.csv");
  for (int i = 1; i <= documents; ++i)
    cash << "11." << (i % 12 + 1 < 10 ? "0" : "") << i % 12 + 1 << ".1" << i % 9 << ";" << i % plots + 1
         << ";Wpłacający " << i << ";2011 woda 126.00;126;2011 opł. 114.00;114;inna wpłata;" << i % 50
         << "\n";
}

// The kinds of command, the services each calls that the host can make fail
// (52268 and 32500 answer null, which abandons the call in progress), and
// how it is started.
struct command_kind {
  const char* name;
  const char* key;
  std::vector<uint32_t> failing;
};
const command_kind kinds[] = {
    {"Ctrl-B", "plots ctrl-b", {52256, 52224, 52026, 50516, 52286, 52287, 52288, 52290, 52268, 32500}},
    {"Ctrl-C", "plots ctrl-c", {52256, 52028, 52224, 52286, 52287}},
    {"Ctrl-A", "plots ctrl-a", {52256, 50516, 52286, 52287, 52288, 52290, 52026, 52268, 32500}},
    {"Ctrl-W", "plots ctrl-w", {52256, 50516, 52286, 52287, 52288, 52290, 52026, 52268, 32500}},
    {"cash Ctrl-A", "cash ctrl-a", {52028, 52023, 52286}},
};

struct tally {
  long by_kind[5] = {};
  long cancelled = 0, failing = 0, abandoned = 0, withdrawn = 0;
  long cycles = 0, reloads = 0;
  std::vector<std::string> wrong;  // what went wrong, the first few
};

// Queues the answers of a command that goes its usual way, or is cancelled.
void queue_answers(int kind, bool cancel, random_numbers& r) {
  switch (kind) {
    case 0:
      if (!cancel && r.chance(30))
        step(std::string("edit (4) Stawka opłaty działka: = ") + (r.chance(50) ? "0.40" : "0.38"));
      step(cancel ? "answer cancel" : "answer ok");
      break;
    case 1:
      step(cancel ? "answer no" : "answer yes");
      break;
    case 2:
      if (!cancel && r.chance(50)) step("edit Woda poprzedni rok: = " + std::to_string(r.below(90)));
      if (!cancel && r.chance(30)) step("edit Prąd zaliczka: = 12.50");
      step(cancel ? "answer cancel" : "answer ok");
      break;
    case 3:
      if (!cancel && r.chance(50)) step("edit Wpisowe: = " + std::to_string(100 + r.below(200)));
      if (!cancel && r.chance(30)) step("edit Inwestycyjne: = 0");
      step(cancel ? "answer cancel" : "answer ok");
      break;
    default:
      if (cancel && r.chance(50)) return step("answer no");
      step("answer yes");
      step(cancel ? "answer cancel" : "answer ok period 11.01.01 11.12.31");
      step(r.chance(20) ? "answer yes" : "answer no");  // print it, or not
  }
}

bool said(const char* text) { return std::strstr(torval_session_transcript(), text) != nullptr; }

// The key reached the host's own handler exactly when it must: always in the
// list of firms except after a completed Ctrl-W, which answers 1; never for
// Ctrl-A in the cash desk, which answers 0.
std::string check_command(int kind) {
  const char* handler = std::strstr(torval_session_transcript(), "  handler -> ");
  if (!handler) return "the key handler did not return";
  const long result = std::strtol(handler + 13, nullptr, 10);
  const bool passed_on = said("host's handler of table");
  if (kind == 4) {
    if (result != 0 || passed_on) return "the cash desk's Ctrl-A answered " + std::to_string(result);
  } else {
    static const int codes[] = {2, 3, 1, 23};
    const bool completed = kind == 3 && (said("Wpisano zadłużenia") || said("Nie wpisano zadłużeń"));
    const long expected = completed ? 1 : 7000 + codes[kind];
    if (result != expected || passed_on == completed)
      return std::string(kinds[kind].name) + " answered " + std::to_string(result) + ", expected " +
             std::to_string(expected);
  }
  if (said("audit: 52204")) return "52204 for a ledger that is not open";
  if (said("\n! ")) return "a step was refused";
  return "";
}

void note(tally& t, long command, const std::string& what) {
  if (what.empty() || t.wrong.size() >= 10) return;
  t.wrong.push_back("command " + std::to_string(command) + ": " + what + "\n" + torval_session_transcript());
}

// One command of the mix.
void run_command(long n, bool withdraw_one, random_numbers& r, tally& t) {
  const int kind = r.below(5);
  ++t.by_kind[kind];
  if (kind != 4) step("cursor " + std::to_string(r.below(plots)));
  const int scenario = r.below(100);
  const bool cancel = scenario < 15;
  queue_answers(kind, cancel, r);
  t.cancelled += cancel;
  const auto& failing = kinds[kind].failing;
  uint32_t withdrawn = 0;
  if (withdraw_one) {
    // A service the host lacks, in a module that has bound none yet: the
    // binding error box answers Abort, and every call of it is abandoned
    // until the module is loaded again. Start and activation need 52256 and
    // 52224, so those two stay.
    do withdrawn = failing[r.below(static_cast<int>(failing.size()))];
    while (withdrawn == 52256 || withdrawn == 52224);
    step("withdraw " + std::to_string(withdrawn));
    step("windows-box abort");
    ++t.withdrawn;
  } else if (scenario >= 15 && scenario < 40) {
    const bool abandons = kind != 1 && kind != 4 && scenario < 25;
    const uint32_t service = abandons ? (r.chance(50) ? 52268 : 32500)
                                      : failing[r.below(static_cast<int>(failing.size()))];
    const int call = torval_session_calls(service) + 1 + r.below(3);
    step("fail " + std::to_string(service) + " at " + std::to_string(call));
    (abandons ? t.abandoned : t.failing) += 1;
  }
  step(std::string("key ") + kinds[kind].key);
  note(t, n, check_command(kind));
  torval_session_forget_plan();
  if (withdrawn) {
    step("withdraw clear");
    step("windows-box scripted");
  }
  step("transcript clear");
}

void expect(tally& t, long n, const char* text, const char* what) {
  if (!said(text)) note(t, n, what);
  step("transcript clear");
}

void stop_and_start(tally& t, long n) {
  step("stop");
  step("start");
  step("activate");
  expect(t, n, "30008 -> 0", "the plug-in did not start again");
  ++t.cycles;
}

void reload(tally& t, long n) {
  step("stop");
  step("unload");
  if (q7::bench::plugin_module_loaded()) note(t, n, "the plug-in's module is still in the process");
  step("load");
  step("start");
  step("activate");
  if (!said("  unloaded")) note(t, n, "the plug-in was not unloaded");
  expect(t, n, "30008 -> 0", "the plug-in did not load and start again");
  ++t.reloads;
}

void audit(tally& t, long n) {
  step("audit");
  expect(t, n, "totals match the files; nothing left open", "the audit is not sound");
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  if (argc < 4) {
    std::fputs("usage: torval_soak COMMANDS CYCLES RELOADS [SEED]\n", stderr);
    return 2;
  }
  const long commands = std::strtol(argv[1], nullptr, 10);
  const long cycles = std::strtol(argv[2], nullptr, 10), reloads = std::strtol(argv[3], nullptr, 10);
  random_numbers r{argc > 4 ? static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10)) : 19u};
  if (commands <= baseline_commands || cycles < 0 || reloads < 0 || r.state == 0) {
    std::fputs("torval_soak: more than 100 commands, cycles and reloads from 0, a seed other than 0\n", stderr);
    return 2;
  }
  std::error_code error;
  // A folder of its own, removed at the end; another soak may run beside it.
  const fs::path folder =
      fs::temp_directory_path(error) / ("q7-soak-" + std::to_string(q7::bench::process_number()));
  fs::remove_all(folder, error);
  if (!fs::create_directories(folder, error) || !q7::bench::prepare_folder(folder.string())) {
    std::fprintf(stderr, "cannot make the work folder %s\n", folder.string().c_str());
    return 1;
  }
  fs::current_path(folder, error);
  write_garden();
  for (const char* line : {"config Sudma Pytaj 1", "rates 0.38 0.42 10.00 6.00", "plots plots.csv",
                           "cash cash.csv", "report-lines 0", "load", "start", "activate"})
    step(line);
  tally t;
  expect(t, 0, "30008 -> 0", "the plug-in did not start");

  // Cycles and reloads come at even intervals after the first hundred commands.
  const long rest = commands - baseline_commands;
  const auto due = [&](long n, long count, long offset) {
    return count > 0 && n > baseline_commands &&
           (n - baseline_commands + offset) % std::max(1L, rest / count) == 0;
  };
  q7::bench::process_figures first{}, highest{};
  std::vector<long> memory_curve, resident_curve;  // at every tenth of the commands
  const auto start = std::chrono::steady_clock::now();
  bool reloaded = false;
  for (long n = 1; n <= commands; ++n) {
    // The first command after a reload may find a service missing, which the
    // module forgets only when it is loaded again. The first hundred commands
    // have one such, after a reload of their own, so that what the first
    // binding error box brings into the process is there from the start.
    run_command(n, reloaded && (n < baseline_commands || r.chance(50)), r, t);
    reloaded = false;
    if (n == baseline_commands) first = highest = q7::bench::measure();
    if ((n == baseline_commands / 2 && reloads > 0) || (t.reloads < reloads && due(n, reloads, 0))) {
      reload(t, n);
      reloaded = true;
    }
    if (t.cycles < cycles && due(n, cycles, rest / std::max(1L, cycles) / 2)) stop_and_start(t, n);
    if (n % 1000 == 0 && n > baseline_commands) highest = q7::bench::highest(highest, q7::bench::measure());
    if (n % std::max(1L, commands / 10) == 0) {
      const q7::bench::process_figures now = q7::bench::measure();
      memory_curve.push_back(now.memory_kb);
      resident_curve.push_back(now.resident_kb);
    }
    if (n % 10000 == 0) audit(t, n);
  }
  while (t.cycles < cycles) stop_and_start(t, commands);
  while (t.reloads < reloads) reload(t, commands);
  audit(t, commands);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const q7::bench::process_figures last = q7::bench::measure();

  std::printf("soak: %ld commands (Ctrl-B %ld, Ctrl-C %ld, Ctrl-A %ld, Ctrl-W %ld, cash desk Ctrl-A %ld; "
              "cancelled %ld, a service failing %ld, a call abandoned %ld, a service missing %ld), "
              "%ld stop and start cycles, %ld unloads and loads, %.0f s\n",
              commands, t.by_kind[0], t.by_kind[1], t.by_kind[2], t.by_kind[3], t.by_kind[4], t.cancelled,
              t.failing, t.abandoned, t.withdrawn, t.cycles, t.reloads, seconds);
  const bool within = q7::bench::report(first, highest, last);
  std::printf("memory at every tenth of the commands (KB):");
  for (const long kb : memory_curve) std::printf(" %ld", kb);
  if (resident_curve != memory_curve) {
    std::printf("; resident:");
    for (const long kb : resident_curve) std::printf(" %ld", kb);
  }
  std::printf("\n");
  for (const std::string& w : t.wrong) std::printf("WRONG: %s\n", w.c_str());
  std::printf("audit: %s\n", t.wrong.empty() ? "totals match the files; nothing left open" : "see above");
  fs::current_path(folder.parent_path(), error);
  fs::remove_all(folder, error);
  return within && t.wrong.empty() ? 0 : 1;
}
