// The runner of session scripts: reads a script (or the terminal), runs its
// steps against the real plug-in and writes the transcript as it goes, so
// that whatever happens the transcript so far is kept. With --expect it
// compares the transcript with the expected one and shows a unified diff.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "abi/machine.h"
#include "host/host_platform.h"
#include "host/neighbours.h"
#include "host/session.h"
#include "host/texts.h"
#include "host/transcript.h"
#include "host/world.h"

extern "C" {
int Q7_CDECL torval_run_session(int argc, char** argv) Q7_SYMBOL("torval_run_session");
int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");
const char* Q7_CDECL torval_session_transcript() Q7_SYMBOL("torval_session_transcript");
int32_t Q7_CDECL torval_session_table(int32_t number, q7::table_descriptor** descriptor, FILE** file,
                                      int32_t* count) Q7_SYMBOL("torval_session_table");
}

namespace torval {

session_state& session() {
  static session_state state;
  return state;
}

void report_mistake(const std::string& reason) {
  ++session().mistakes;
  const std::string place =
      session().line ? session().source + " line " + std::to_string(session().line) + ": " : "";
  say("! " + place + reason);
  // Also where a person running the tests sees it when the transcript goes to a file.
  if (transcript().stream != stdout) std::fprintf(stderr, "! %s%s\n", place.c_str(), reason.c_str());
}

std::string script_path(const std::string& path) {
  if (path.empty() || path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'))
    return path;
  return session().base.empty() ? path : session().base + "/" + path;
}

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// A unified diff of two texts by lines (three lines of context), empty when
// they are the same.
std::string unified_diff(const std::vector<std::string>& a, const std::vector<std::string>& b,
                         const std::string& a_name, const std::string& b_name) {
  // The longest common subsequence over what lies between the common head and tail.
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
    ++tail;
  const std::size_t n = a.size() - head - tail, m = b.size() - head - tail;
  if (n == 0 && m == 0) return "";
  std::vector<std::vector<unsigned>> common(n + 1, std::vector<unsigned>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;)
    for (std::size_t j = m; j-- > 0;)
      common[i][j] = a[head + i] == b[head + j] ? common[i + 1][j + 1] + 1
                                                : std::max(common[i + 1][j], common[i][j + 1]);
  // The edit script: ' ' kept, '-' only in a, '+' only in b, with each line's place.
  struct op { char kind; std::size_t ai, bi; };
  std::vector<op> ops;
  for (std::size_t i = 0; i < head; ++i) ops.push_back({' ', i, i});
  std::size_t i = 0, j = 0;
  while (i < n || j < m) {
    if (i < n && j < m && a[head + i] == b[head + j]) ops.push_back({' ', head + i++, head + j++});
    else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) ops.push_back({'-', head + i++, head + j});
    else ops.push_back({'+', head + i, head + j++});
  }
  for (std::size_t k = 0; k < tail; ++k) ops.push_back({' ', a.size() - tail + k, b.size() - tail + k});
  std::string out = "--- " + a_name + "\n+++ " + b_name + "\n";
  constexpr std::size_t context = 3;
  std::size_t shown_to = 0;
  for (std::size_t k = 0; k < ops.size(); ++k) {
    if (ops[k].kind == ' ' || k < shown_to) continue;
    // A hunk: the changes no more than six unchanged lines apart, with three
    // lines of context before and after.
    const std::size_t start = std::max(k >= context ? k - context : 0, shown_to);
    std::size_t last_change = k;
    for (std::size_t e = k; e < ops.size() && e - last_change <= 2 * context; ++e)
      if (ops[e].kind != ' ') last_change = e;
    const std::size_t end = std::min(last_change + context + 1, ops.size());
    std::size_t a_count = 0, b_count = 0;
    for (std::size_t t = start; t < end; ++t) {
      a_count += ops[t].kind != '+';
      b_count += ops[t].kind != '-';
    }
    out += "@@ -" + std::to_string(ops[start].ai + 1) + "," + std::to_string(a_count) + " +" +
           std::to_string(ops[start].bi + 1) + "," + std::to_string(b_count) + " @@\n";
    for (std::size_t t = start; t < end; ++t)
      out += ops[t].kind + (ops[t].kind == '+' ? b[ops[t].bi] : a[ops[t].ai]) + "\n";
    shown_to = end;
  }
  return out;
}

// At the terminal: the prompt, then a line of input.
bool ask_terminal(const std::string& prompt, std::string& reply) {
  std::fputs(prompt.c_str(), stdout);
  std::fflush(stdout);
  if (!std::getline(std::cin, reply)) return false;
  if (!reply.empty() && reply.back() == '\r') reply.pop_back();
  // Input from a pipe is not echoed by a terminal: the reply is shown after its prompt.
  if (!platform::input_is_terminal()) std::printf("%s\n", reply.c_str());
  // Typed input is part of what the person saw.
  transcript().text += prompt + reply + "\n";
  return true;
}

// Interactive use: steps are read from the terminal, each run at once; the
// plot list is shown after the steps that move in it, a form asks for its
// input fields, and "save SCRIPT" writes the steps so far as a script.
int run_interactive() {
  transcript().ask = ask_terminal;
  session().source = "input";
  std::vector<std::string> typed;
  std::printf("Steps of a session, one a line; \"help\" lists them, \"save SCRIPT\" writes the steps "
              "so far as a script, \"quit\" ends.\n");
  for (std::string line;;) {
    ++session().line;
    if (!ask_terminal("torval> ", line)) break;
    const auto w = split_words(line);
    if (w.empty()) continue;
    if (w[0] == "quit" || w[0] == "exit") break;
    if (w[0] == "save") {
      if (w.size() != 2) {
        report_mistake("save SCRIPT: the name of the script to write");
        continue;
      }
      const std::string path = script_path(w[1]);
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      for (const std::string& step : typed) out << step << "\n";
      out.close();
      if (!out) report_mistake("cannot write " + path);
      else say("  " + std::to_string(typed.size()) + " steps written to " + path);
      continue;
    }
    transcript().replied_steps.clear();
    const int mistakes = session().mistakes;
    run_step(line);
    if (session().mistakes != mistakes) continue;  // a refused step is not saved
    // What the person answered during the step comes before it in a script.
    typed.insert(typed.end(), transcript().replied_steps.begin(), transcript().replied_steps.end());
    typed.push_back(line);
    if (w[0] == "plots" || w[0] == "cursor" || w[0] == "key" || (w[0] == "reload" && w.size() > 1))
      run_step("show plots");
  }
  std::printf("\n");
  return session().mistakes ? 3 : 0;
}

constexpr const char* usage =
    "usage: torval_host SCRIPT [--expect FILE] [--work FOLDER] [--plugin PATH] [--preload MODULE]...\n"
    "       torval_host --interactive [--work FOLDER] [--plugin PATH] [--preload MODULE]...\n"
    "       torval_host --help\n";

void print_help() {
  std::printf("%s\n", usage);
  std::printf(
      "Runs a session script against the plug-in and writes the transcript: every box, dialog\n"
      "and form the user would see. Relative paths in a script are taken from the script's\n"
      "folder (at the terminal: the folder torval_host was started in); the host keeps its\n"
      "files (tables, ledgers/, settings, reports) in the work folder, which it prints first.\n"
      "\n"
      "  --expect FILE   compare the transcript with FILE and show a unified diff when they\n"
      "                  differ; the transcript goes to transcript.txt in the work folder.\n"
      "                  With Q7_UPDATE_TRANSCRIPTS=1 in the environment FILE is rewritten.\n"
      "  --work FOLDER   the work folder, emptied first (default: the current folder)\n"
      "  --plugin PATH   the plug-in DLL (default: beside the program)\n"
      "  --preload MODULE  loads a module into the process first, as another module of the\n"
      "                  host program would (Windows only): the transcript must not change\n"
      "  --interactive   steps from the terminal; forms ask for their fields\n"
      "\n"
      "Exit status: 0 done, 1 the transcript differs, 2 a wrong command line,\n"
      "3 a step or a data file was refused.\n\n");
  print_steps(stdout);
}

}  // namespace
}  // namespace torval

using namespace torval;

extern "C" int Q7_CDECL torval_session_step(const char* line) {
  run_step(line);
  return 0;
}

extern "C" const char* Q7_CDECL torval_session_transcript() { return transcript().text.c_str(); }

// A table as a command of the plug-in is handed it: its descriptor, its file
// and its number of records; 0 when the host has no such table.
extern "C" int32_t Q7_CDECL torval_session_table(int32_t number, q7::table_descriptor** descriptor,
                                                 FILE** file, int32_t* count) {
  table* t = find_table(number);
  if (!t) return 0;
  *descriptor = &t->descriptor;
  *file = t->file;
  *count = t->record_count;
  return 1;
}

// The session's work folder starts empty. A folder the host did not make
// itself (no marker file in it) is never emptied.
bool enter_fresh_work_folder(const std::string& folder) {
  namespace fs = std::filesystem;
  constexpr const char* marker = ".torval-work";
  std::error_code error;
  const fs::path path(folder);
  if (fs::exists(path, error) && !fs::is_empty(path, error) && !fs::exists(path / marker, error)) {
    std::fprintf(stderr, "the work folder %s holds files the host did not make\n", folder.c_str());
    return false;
  }
  if (fs::exists(path, error))
    for (const auto& item : fs::directory_iterator(path, error)) fs::remove_all(item.path(), error);
  fs::create_directories(path, error);
  if (!platform::enter_folder(folder)) {
    std::fprintf(stderr, "cannot enter the work folder %s\n", folder.c_str());
    return false;
  }
  if (FILE* mark = std::fopen(marker, "w")) std::fclose(mark);
  return true;
}

extern "C" int Q7_CDECL torval_run_session(int argc, char** argv) {
  std::string script, expected, work, plugin;
  bool interactive = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      print_help();
      return 0;
    }
    if (arg == "--interactive") interactive = true;
    else if (arg == "--preload" && has_value) {
      if (!platform::preload_module(argv[++i])) {
        std::fprintf(stderr, "cannot load the module %s before the plug-in\n", argv[i]);
        return 2;
      }
    } else if (arg == "--expect" && has_value) expected = argv[++i];
    else if (arg == "--work" && has_value) work = argv[++i];
    else if (arg == "--plugin" && has_value) plugin = argv[++i];
    else if (arg.rfind("--", 0) == 0 || !script.empty()) {
      std::fprintf(stderr, "%s: %s\n%s", arg.rfind("--", 0) == 0 ? "unknown option or no value" : "a second script",
                   arg.c_str(), usage);
      return 2;
    } else script = arg;
  }
  if (script.empty() == !interactive) {
    std::fprintf(stderr, "%s", usage);
    return 2;
  }
  platform::binary_stdout();
  std::ifstream in;
  std::error_code error;
  if (!interactive) {
    in.open(script, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read the session script %s\n", script.c_str());
      return 2;
    }
    session().source = std::filesystem::path(script).filename().string();
    session().base = std::filesystem::absolute(script, error).parent_path().string();
  } else {
    session().base = std::filesystem::current_path(error).string();
  }
  const std::string expected_text = expected.empty() ? "" : read_file(expected);
  if (!expected.empty() && expected_text.empty() && !std::getenv("Q7_UPDATE_TRANSCRIPTS")) {
    std::fprintf(stderr, "cannot read the expected transcript %s\n", expected.c_str());
    return 2;
  }
  const std::string expected_path = expected.empty() ? "" : std::filesystem::absolute(expected, error).string();
  if (!work.empty() && !enter_fresh_work_folder(work)) return 2;
  session().work = std::filesystem::current_path(error).string();
  std::string& plugin_path = neighbours().plugin_path;
  plugin_path = plugin.empty() ? platform::default_plugin_path() : plugin;
  transcript().plugin_folder = plugin_path.substr(0, plugin_path.find_last_of("\\/"));
  // The transcript is written as it is said: with --expect into the work
  // folder's transcript.txt, otherwise onto standard output.
  FILE* stream = stdout;
  if (!expected.empty()) {
    stream = std::fopen("transcript.txt", "wb");
    if (!stream) {
      std::fprintf(stderr, "cannot write transcript.txt in %s\n", session().work.c_str());
      return 2;
    }
    std::fprintf(stderr, "transcript: %s/transcript.txt\n", session().work.c_str());
  } else {
    std::printf("work folder: %s\n", session().work.c_str());
  }
  transcript().stream = stream;
  if (interactive) return run_interactive();
  for (std::string line; std::getline(in, line);) {
    ++session().line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    run_step(line);
  }
  const int status = session().mistakes && !session().mistakes_expected ? 3 : 0;
  if (expected.empty()) return status;
  std::fclose(stream);
  transcript().stream = nullptr;
  const std::string diff = unified_diff(lines_of(expected_text), lines_of(transcript().text),
                                        expected, "transcript of " + script);
  if (diff.empty()) return status;
  if (std::getenv("Q7_UPDATE_TRANSCRIPTS")) {
    std::ofstream out(expected_path, std::ios::binary | std::ios::trunc);
    out << transcript().text;
    std::printf("updated %s\n%s", expected.c_str(), diff.c_str());
    // Q7_UPDATE_LOG: a file that gathers what every rewriting run changed.
    if (const char* log = std::getenv("Q7_UPDATE_LOG"))
      if (FILE* changes = std::fopen(log, "ab")) {
        std::fprintf(changes, "updated %s\n%s", expected.c_str(), diff.c_str());
        std::fclose(changes);
      }
    return out ? status : 2;
  }
  std::printf("TRANSCRIPT DIFFERS:\n%s", diff.c_str());
  return 1;
}
