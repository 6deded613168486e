#include "tests/support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "abi/machine.h"
#include "host/host.h"
#include "plugin/hostlink/module.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

extern "C" {
int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");
const char* Q7_CDECL torval_session_transcript() Q7_SYMBOL("torval_session_transcript");
}

namespace q7::test {

void step(const std::string& line) { torval_session_step(line.c_str()); }

std::string transcript() { return torval_session_transcript(); }

void enter_fresh_folder(const std::string& name) {
  namespace fs = std::filesystem;
  // Under the build folder, whatever folder the tests were started in.
  const fs::path folder = fs::path(Q7_TEST_WORK) / name;
  std::error_code error;
  fs::remove_all(folder, error);
  fs::create_directories(folder, error);
  fs::current_path(folder);
}

#ifdef _WIN32
namespace {

// The modules named by Q7_PRELOAD, which is a comma-separated list.
std::vector<std::string> modules_to_preload() {
  std::vector<std::string> modules;
  const char* list = std::getenv("Q7_PRELOAD");
  std::string rest = list ? list : "";
  for (std::size_t comma; !rest.empty(); rest = comma == std::string::npos ? "" : rest.substr(comma + 1)) {
    comma = rest.find(',');
    modules.push_back(rest.substr(0, comma));
  }
  return modules;
}

// Q7_PRELOAD: modules (comma-separated) loaded before any test runs, as other
// modules of the host program may have brought them into its process.
struct preloaded_modules : ::testing::Environment {
  void SetUp() override {
    for (const std::string& module : modules_to_preload())
      ASSERT_NE(LoadLibraryA(module.c_str()), nullptr) << "cannot preload " << module;
  }
};
const auto* const preload = ::testing::AddGlobalTestEnvironment(new preloaded_modules);

}  // namespace

void attach_plugin_code() { process_attach(GetModuleHandleA(nullptr)); }
int host_lookups(unsigned) { return -1; }
void forget_host_lookups() {}
#else
// In the native build the plug-in code is the module the host loads.
void attach_plugin_code() {
  if (!module.own_module) step("load");
}
int host_lookups(unsigned ordinal) { return torval::neighbours().lookups[ordinal]; }
void forget_host_lookups() { torval::neighbours().lookups.clear(); }
#endif

#ifdef _WIN32
int run_host_program(const std::string& script, const std::string& work_folder,
                     const std::string& output) {
  // Z: is the whole file system under Wine; the child inherits the standard
  // output made to point at the transcript's file.
  std::string program = "Z:" Q7_HOST_PROGRAM;
  for (char& c : program)
    if (c == '/') c = '\\';
  const int saved = _dup(1);
  std::fflush(stdout);
  FILE* out = std::fopen(output.c_str(), "wb");
  if (!out) return -1;
  _dup2(_fileno(out), 1);
  std::vector<std::string> arguments{program, script, "--work", work_folder};
  for (const std::string& module : modules_to_preload()) {
    arguments.push_back("--preload");
    arguments.push_back(module);
  }
  std::vector<const char*> argv;
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  const intptr_t status = _spawnv(_P_WAIT, program.c_str(), argv.data());
  std::fflush(stdout);
  _dup2(saved, 1);
  _close(saved);
  std::fclose(out);
  return static_cast<int>(status);
}
#else
int run_host_program(const std::string& script, const std::string& work_folder,
                     const std::string& output) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) _exit(126);
    dup2(out, 1);
    execl(Q7_HOST_PROGRAM, Q7_HOST_PROGRAM, script.c_str(), "--work", work_folder.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif

}  // namespace q7::test
