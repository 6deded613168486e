// Every command run again and again with one host service answering its
// failure value at each of its calls in turn, missing, or raising the host's
// own exception at each of its calls in turn. After each run nothing may be
// lost or corrupted: entries the command does not post stay byte for byte,
// the totals the host keeps through 52204 match its files, a message never
// reports an amount the host did not store, and the key is passed on exactly
// when the command says so.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "abi/mazovia.h"
#include "abi/records.h"
#include "host/host.h"
#include "tests/fault_runs.h"
#include "tests/support.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace q7 {
namespace {

namespace fs = std::filesystem;
using namespace test::faults;
using test::step;

class FaultInjection : public ::testing::TestWithParam<command> {
 protected:
  void SetUp() override {
    step("load");  // from the test's own folder, where the plug-in module is
    test::enter_fresh_folder(std::string("fault_injection_") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    step("config Sudma Pytaj 1");
    step("start");
    step("activate");
  }
};

TEST_P(FaultInjection, NothingIsLostWhicheverServiceFails) {
  const command& c = GetParam();
  lay_out_data();
  const std::map<uint32_t, int> baseline = calls_in(run_command(c, {}));
  int runs = 0;
  for (uint32_t service : failing_services) {
    const auto called = baseline.find(service);
    if (called == baseline.end()) continue;
    for (int k = 1;; ++k) {
#ifdef _WIN32
      // Under Wine a sample: the first, second and last call of each service.
      if (k > 2 && k != called->second) {
        if (k > called->second) break;
        continue;
      }
#endif
      lay_out_data();
      const files before = read_files();
      const std::string fault = "fail " + std::to_string(service) + " at " + std::to_string(k);
      const std::string run = run_command(c, {fault});
      const bool reached = run.find("(service " + std::to_string(service) + " fails at its call " +
                                    std::to_string(k) + ")") != std::string::npos;
      if (!reached) break;
      ++runs;
      std::string faults;
      const files after = read_files();
      check_ledgers(before, after, c, faults);
      check_plots(before, after, c, faults);
      check_transcript(run, c, faults);
      EXPECT_EQ(faults, "") << c.name << ", " << fault << ":\n" << run;
    }
  }
  EXPECT_GT(runs, 0);
  RecordProperty("injected_runs", runs);
}

// The host's own exception raised at every call of every service the
// command makes (under Wine the first, second and last call of each), and
// caught by the host around the key handler (or, in the form hook, by the
// forms engine): every frame of the command is unwound. Afterwards nothing is
// left open, the kept totals match the files, no temporary file is left,
// entries the command does not post are unchanged, and the same command run
// again in the same process completes, with the files it writes.
TEST_P(FaultInjection, NothingIsLostWhereverTheHostEndsTheCommand) {
  const command& c = GetParam();
  lay_out_data();
  const std::map<uint32_t, int> baseline = calls_in(run_command(c, {}));
  int runs = 0;
  for (const auto& [service, calls] : baseline) {
    for (int k = 1; k <= calls; ++k) {
#ifdef _WIN32
      if (k > 2 && k != calls) continue;
#endif
      lay_out_data();
      const files before = read_files();
      const std::string raise = "raise " + std::to_string(service) + " at " + std::to_string(k);
      const std::string run = run_command(c, {raise});
      ++runs;
      std::string faults;
      if (run.find(" raises the host's exception at its call ") == std::string::npos) faults += "not raised; ";
      const bool ended = run.find("caught its exception around the key handler") != std::string::npos;
      check_ledgers(before, read_files(), c, faults);
      check_plots(before, read_files(), c, faults);
      check_transcript(run, c, faults, 0, ended);
      // The next command in the same process.
      step("fail clear");
      std::error_code error;
      fs::remove("raport_wplat_2011-02-01_2011-02-28.csv", error);
      const std::string again = run_command(c, {});
      check_transcript(again, c, faults);
      check_plots(before, read_files(), c, faults);
      if (again.find("Nie udało się zapisać pliku") != std::string::npos)
        faults += "the next report could not write its file; ";
      if (c.passing == passes_key::never && !fs::exists("raport_wplat_2011-02-01_2011-02-28.csv"))
        faults += "the next report wrote no spreadsheet file; ";
      EXPECT_EQ(faults, "") << c.name << ", " << raise << ":\n" << run << "\nthe next command:\n" << again;
    }
  }
  EXPECT_GT(runs, 0);
  RecordProperty("raised_runs", runs);
  // The closing steps that the unwindings ran, with the host services they
  // called, took less than half the room on the stack that the plug-in
  // asks for before it runs them (plugin/hostlink/way_in.cpp).
  std::smatch took;
  const std::string said = test::transcript_of([] { step("show unwind-stack"); });
  ASSERT_TRUE(std::regex_search(said, took, std::regex("took ([0-9]+) bytes")));
  RecordProperty("unwind_stack_bytes", took[1]);
  std::printf("the host's unwinding took %s bytes of stack at most\n", took[1].str().c_str());
  EXPECT_LT(std::stoi(took[1]), 16 * 1024);
}

// The services the plug-in calls: the numbers of its list of binding thunks
// (natively those of them the command calls; under Wine each command has a
// sample).
[[maybe_unused]] std::vector<uint32_t> listed_services() {
  std::ifstream in(std::string(Q7_SOURCE_DIR) + "/plugin/hostlink/services.list");
  std::vector<uint32_t> services;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] >= '0' && line[0] <= '9') services.push_back(std::stoul(line));
  return services;
}

// A session of the stand-in host in a process of its own, so that the
// plug-in module is fresh: no service bound yet, no box answered yet.
std::string run_session(const fs::path& root, const std::string& name,
                        const std::vector<std::string>& steps, int& status) {
  const fs::path script = root / (name + ".session");
  {
    std::ofstream out(script, std::ios::binary);
    out << "config Sudma Pytaj 1\n";
    for (const std::string& s : data_steps) out << s << "\n";
    out << "load\nstart\nactivate\n";
    for (const std::string& s : steps) out << s << "\n";
  }
  const fs::path transcript = root / (name + ".transcript");
  status = test::run_host_program(script.string(), (root / name).string(), transcript.string());
  return read_text(transcript);
}

// Every service the command may call is missing in turn, as in an older host,
// and the user answers the binding error box with Abort or with Ignore: the
// command stops wherever that is, yet closes what it opened, keeps the host's
// totals equal to its files, reports no more than was stored and shows no
// message after an abandonment.
TEST_P(FaultInjection, NothingIsLostWhicheverServiceIsMissing) {
  const command& c = GetParam();
  // A service the command never calls cannot be missed by it.
  lay_out_data();
  const std::map<uint32_t, int> baseline = calls_in(run_command(c, {}));
  const fs::path root = fs::absolute(fs::current_path());
  int status = 0;
  run_session(root, "reference", {}, status);
  ASSERT_EQ(status, 0);
  const files before = read_files(root / "reference");
#ifdef _WIN32
  // Under Wine a sample: a process takes long to start there.
  const std::vector<uint32_t> services = c.wine_sample;
  const std::vector<std::string> box_answers{"abort"};
#else
  const std::vector<uint32_t> services = listed_services();
  const std::vector<std::string> box_answers{"abort", "ignore"};
#endif
  int runs = 0;
  for (uint32_t service : services) {
    if (!baseline.count(service)) continue;
    for (const std::string& box : box_answers) {
      std::vector<std::string> steps{"withdraw " + std::to_string(service), "windows-box " + box};
      steps.insert(steps.end(), c.answers.begin(), c.answers.end());
      steps.push_back(c.key);
      steps.push_back("audit");
      const std::string name = "missing_" + std::to_string(service) + "_" + box;
      const std::string run = run_session(root, name, steps, status);
      ++runs;
      std::string faults;
      if (status != 0) faults += "the host ended with " + std::to_string(status) + "; ";
      check_ledgers(before, read_files(root / name), c, faults);
      check_plots(before, read_files(root / name), c, faults);
      check_transcript(run, c, faults, service);
      // Abandoned in the form hook, a call leaves the form as it is and the
      // command goes on: only there may a message follow.
      const bool hook_service = service == 52040 || service == 52034;
      const std::size_t box_shown = run.find("brak wpisu  " + std::to_string(service) + " ");
      if (box == "abort" && !hook_service && box_shown != std::string::npos &&
          run.find("message \"uwaga\"", box_shown) != std::string::npos)
        faults += "a message after the abandonment; ";
      EXPECT_EQ(faults, "") << c.name << ", " << service << " missing, " << box << ":\n" << run;
    }
  }
  RecordProperty("withdrawn_runs", runs);
}

INSTANTIATE_TEST_SUITE_P(Commands, FaultInjection, ::testing::ValuesIn(commands),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& ch : name)
                             if (ch == ' ' || ch == '-') ch = '_';
                           return name;
                         });

#ifndef _WIN32
// Start and activation in a process of their own for every fault, since the
// plug-in keeps its size checks for the life of the module.
TEST(FaultInjectionAtStart, StartAndActivationAnswerAndLeaveNothingHalfReplaced) {
  test::enter_fresh_folder("fault_injection_start");
  int runs = 0;
  for (uint32_t service : {51594u, 52256u, 52224u, 52023u}) {
    for (int k = 1;; ++k) {
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        const std::string fault = "fail " + std::to_string(service) + " at " + std::to_string(k);
        const std::string run = test::transcript_of([&] {
          step(fault);
          step("load");
          step("start");
          step("activate");
          step("show handlers");
          step("key 35 16");
          step("stop");
          step("show handlers");
        });
        if (run.find("fails at its call") == std::string::npos) _exit(2);
        const bool refused = run.find("30008 -> -1") != std::string::npos;
        const std::size_t handlers = run.find("> show handlers");
        const bool replaced = run.find("plug-in's key handler", handlers) < run.find("> key", handlers);
        const bool given_back = run.find("plug-in's key handler", run.rfind("> stop")) == std::string::npos;
        const bool ok = (!refused || !replaced) && given_back &&
                        run.find("host's handler of table 35: key 16") != std::string::npos;
        if (!ok) std::fprintf(stderr, "%s:\n%s\n", fault.c_str(), run.c_str());
        _exit(ok ? 0 : 1);
      }
      int status = 0;
      waitpid(child, &status, 0);
      ASSERT_TRUE(WIFEXITED(status)) << "service " << service << " at call " << k << " crashed";
      if (WEXITSTATUS(status) == 2) break;
      EXPECT_EQ(WEXITSTATUS(status), 0) << "service " << service << " at call " << k;
      ++runs;
    }
  }
  EXPECT_GT(runs, 4);
}
#endif

}  // namespace
}  // namespace q7
