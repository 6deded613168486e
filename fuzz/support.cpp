#include "fuzz/support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <string_view>
#include <vector>

#include "abi/machine.h"
#include "host/file_store.h"
#include "host/host.h"
#include "plugin/hostlink/module.h"

extern "C" int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");

namespace q7::fuzz {

void default_flag(int* argc, char*** argv, const std::string& flag) {
  // The flag's name with its "=", or the whole flag when it has no value.
  const std::size_t value = flag.find('=');
  const std::string_view name = std::string_view(flag).substr(0, value == std::string::npos ? value : value + 1);
  for (int i = 1; i < *argc; ++i)
    if (std::string_view((*argv)[i]).starts_with(name)) return;
  // Kept for the whole run: the fuzzer reads its arguments from here.
  static auto* flags = new std::deque<std::string>;  // whose texts stay where they are
  static auto* arguments = new std::vector<char*>;
  flags->push_back(flag);
  std::vector<char*> with_flag((*argv), (*argv) + *argc);
  with_flag.insert(with_flag.begin() + 1, flags->back().data());
  with_flag.push_back(nullptr);
  *arguments = std::move(with_flag);
  *argc = static_cast<int>(arguments->size()) - 1;
  *argv = arguments->data();
}

void limit_input_length(int* argc, char*** argv, std::size_t bytes) {
  default_flag(argc, argv, "-max_len=" + std::to_string(bytes));
}

void step(const std::string& line) { torval_session_step(line.c_str()); }

const std::string& scratch_folder() {
  // Never destroyed: the folder is removed at exit, after static destructors may have run.
  static const std::string* const folder = [] {
    // In memory where the machine has a memory file system: the host writes
    // and reads its files at every input, and a disk makes that the slowest part.
    const char* tmp = std::getenv("TMPDIR");
    std::error_code error;
    const std::string base = tmp && *tmp                                        ? tmp
                             : std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm"
                                                                                 : "/tmp";
    auto* path = new std::string(base + "/q7-fuzz-XXXXXX");
    if (!mkdtemp(path->data())) {
      std::perror("cannot make a scratch folder");
      std::abort();
    }
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(*folder, error);
    });
    return path;
  }();
  return *folder;
}

in_scratch_folder::in_scratch_folder() : previous_(open(".", O_RDONLY | O_DIRECTORY)) {
  if (previous_ < 0 || chdir(scratch_folder().c_str()) != 0) {
    std::perror("cannot enter the scratch folder");
    std::abort();
  }
}

in_scratch_folder::~in_scratch_folder() {
  if (fchdir(previous_) != 0) {
    std::perror("cannot return from the scratch folder");
    std::abort();
  }
  close(previous_);
}

void attach_plugin() {
  if (module.own_module) return;
  // The files the host and the plug-in share are kept in memory: opening,
  // writing and removing them at every input would cost more than the work.
  torval::keep_files_in_memory(true);
  const in_scratch_folder here;
  step("load");
  if (!module.own_module || !module.host_module) {
    std::fprintf(stderr, "the plug-in code did not attach to the stand-in host\n");
    std::abort();
  }
  // No transcript while fuzzing, unless one input is run again to be looked at.
  const char* transcript = std::getenv("Q7_FUZZ_TRANSCRIPT");
  torval::transcript().quiet = !(transcript && *transcript == '1');
  // Such a transcript goes to standard error as it is said.
  if (!torval::transcript().quiet) torval::transcript().stream = stderr;
}

const std::string& file_bytes(std::string_view name) {
  static auto* buffers = new std::map<std::string, std::string, std::less<>>;
  auto buffer = buffers->find(name);
  if (buffer == buffers->end()) buffer = buffers->emplace(std::string(name), std::string()).first;
  if (!torval::read_file(name, buffer->second)) buffer->second.clear();
  return buffer->second;
}


void queue_answer(int code, const std::string& period_start, const std::string& period_end) {
  torval::answer a;
  a.code = code;
  a.period_start = period_start;
  a.period_end = period_end;
  torval::plan().answers.push_back(a);
}

void reset_host_output() {
  torval::close_line_files();
  torval::form_refusal().clear();
  torval::transcript().text.clear();
  torval::plan().answers.clear();
}

void broken(const char* file, int line, const char* property, const std::string& detail) {
  std::fprintf(stderr, "%s:%d: does not hold: %s\n  %s\n", file, line, property, detail.c_str());
  std::abort();
}

}  // namespace q7::fuzz
