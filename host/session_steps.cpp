// The table of a session script's steps, made from host/steps.list: it
// checks a step's arguments, runs its action and makes the list that
// "torval_host --help" prints.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "abi/host_services.h"
#include "host/config_store.h"
#include "host/plan.h"
#include "host/session.h"
#include "host/steps.h"
#include "host/texts.h"
#include "host/transcript.h"
#include "host/world.h"

namespace torval {
namespace steps {

// Every step's action, declared from the list.
#define STEP(name, arguments, help, action, ...) void action(const step_call&);
#include "host/steps.list"
#undef STEP

void expect_mistakes(const step_call&) { session().mistakes_expected = true; }

}  // namespace steps

namespace {

using namespace steps;

const step_kind all_steps[] = {
#define STEP(name, arguments, help, action, ...) {name, arguments, help, action __VA_OPT__(, ) __VA_ARGS__},
#include "host/steps.list"
#undef STEP
};

}  // namespace

void steps::help(const step_call&) {
  for (const step_kind& kind : all_steps) say(std::string("  ") + kind.name + " " + kind.arguments);
}

namespace {

// The step a line's words name: the longest name its words begin with.
const step_kind* find_step(const std::vector<std::string>& w, std::size_t& name_words) {
  // The words of every step's name, split once.
  static const std::vector<std::vector<std::string>> names = [] {
    std::vector<std::vector<std::string>> all;
    for (const step_kind& kind : all_steps) all.push_back(split_words(kind.name));
    return all;
  }();
  const step_kind* found = nullptr;
  name_words = 0;
  for (std::size_t k = 0; k < std::size(all_steps); ++k) {
    const step_kind& kind = all_steps[k];
    const auto& name = names[k];
    if (name.size() > w.size() || name.size() <= name_words) continue;
    if (std::equal(name.begin(), name.end(), w.begin())) {
      found = &kind;
      name_words = name.size();
    }
  }
  return found;
}

void reset_session() {
  transcript().text.clear();
  plan().answers.clear();
  std::snprintf(reinterpret_cast<char*>(world().information_block + q7::host_values::host_code_at), 5, "%s", "0001");
  std::error_code error;
  std::filesystem::create_directories(ledger_folder, error);
  plan().form_edits.clear();
  reset_tables();
  config_clear();
}

}  // namespace

void print_steps(FILE* out) {
  std::fprintf(out, "Steps of a session script, one a line (\"#\" begins a comment):\n");
  for (const step_kind& kind : all_steps) {
    const std::string head = std::string(kind.name) + (*kind.arguments ? " " : "") + kind.arguments;
    std::fprintf(out, "  %s\n", head.c_str());
    // The description wrapped at 90 columns.
    std::string line = "     ";
    for (const std::string& word : split_words(kind.help)) {
      if (line.size() + 1 + utf8_length(word) > 90) {
        std::fprintf(out, "%s\n", line.c_str());
        line = "     ";
      }
      line += " " + word;
    }
    std::fprintf(out, "%s\n", line.c_str());
  }
}

void run_step(const std::string& line) {
  static bool session_started;
  if (!session_started) reset_session();
  session_started = true;
  const auto w = split_words(line);
  if (w.empty() || w[0][0] == '#') return;
  say("> " + line);
  std::size_t name_words = 0;
  const step_kind* kind = find_step(w, name_words);
  if (!kind) {
    std::string alike;
    for (const step_kind& k : all_steps)
      if (split_words(k.name)[0] == w[0]) alike += std::string(alike.empty() ? "" : ", ") + k.name;
    report_mistake("unknown step \"" + w[0] + "\"" +
                   (alike.empty() ? std::string(" (torval_host --help lists the steps)")
                                  : " (steps beginning so: " + alike + ")"));
    return;
  }
  step_call call{line, std::vector<std::string>(w.begin() + static_cast<long>(name_words), w.end()), ""};
  // The rest of the line after the name, as written.
  std::size_t at = line.find_first_not_of(" \t");
  for (std::size_t i = 0; i < name_words; ++i) {
    at = line.find_first_of(" \t", at);
    at = at == std::string::npos ? line.size() : line.find_first_not_of(" \t", at);
    if (at == std::string::npos) at = line.size();
  }
  call.rest = line.substr(at);
  while (!call.rest.empty() && (call.rest.back() == ' ' || call.rest.back() == '\t')) call.rest.pop_back();
  try {
    if (!kind->own_check) check_arguments(*kind, call.args);
    else if (call.args.empty()) throw refused{std::string("missing ") + kind->arguments};
    kind->run(call);
  } catch (const refused& r) {
    report_mistake(std::string(kind->name) + ": " + r.reason);
  }
}

}  // namespace torval
