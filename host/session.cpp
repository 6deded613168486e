// Session scripts: plain text, one step a line, run against the real plug-in.
// Every step is echoed into the transcript ("> step") with what the user saw.
//
//   version N                      interface version the host reports
//   table N size S | missing | no-handler
//   config SECTION KEY VALUE       a setting before the plug-in starts
//   show config | show handlers
//   withdraw N                     the host lacks service N, as an older host
//   answer yes|no|ok|cancel|abort|retry|ignore|N [value V]
//   module-path PATH | fails       GetModuleFileNameA of the plug-in (native build)
//   load                           load the plug-in module
//   start [nobuffer] | stop | activate | report | entry 30008 MODE | entry 30009
//   key TABLE CODE [A2 A5 A7 A9 A10 A11]   a key pressed in a table's list
//   edit ITEM VALUE                for the next form shown: types VALUE into input field ITEM
//   edit LABEL = VALUE             ... into the input field after the label shown as LABEL
//                                  (or the only label that begins so). Amounts are typed in
//                                  currency units (0.50), texts in UTF-8; edits apply in order,
//                                  and the form then closes with the next answer (ok / cancel)
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "abi/machine.h"
#include "host/config_store.h"
#include "host/host.h"
#include "host/platform.h"

extern "C" {
int Q7_CDECL torval_run_session(int argc, char** argv) Q7_SYMBOL("torval_run_session");
int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");
const char* Q7_CDECL torval_session_transcript() Q7_SYMBOL("torval_session_transcript");
}

namespace torval {

// Key handler of the host's own tables: reports the eleven values it got,
// pointers by what they are, and answers 7000 plus the key code.
int32_t Q7_STDCALL host_key_handler(int32_t key, uint32_t a2, int32_t* record_count, char** rows,
                                    int32_t a5, q7::table_descriptor* descriptor, int32_t a7,
                                    FILE* file, int32_t a9, uint32_t a10, int32_t a11) {
  table* t = nullptr;
  for (auto& [number, candidate] : host().tables)
    if (&candidate.descriptor == descriptor) t = &candidate;
  auto pointer = [](const void* p, const void* expected, const char* name) {
    if (p == expected) return std::string(name);
    char text[24];
    std::snprintf(text, sizeof text, "%p", p);
    return std::string(text);
  };
  char values[160];
  std::snprintf(values, sizeof values, "key %d, 0x%08x, %s, %s, %d, %s, %d, %s, %d, 0x%08x, %d",
                static_cast<int>(key), static_cast<unsigned>(a2),
                pointer(record_count, t ? &t->record_count : nullptr, "count").c_str(),
                pointer(rows, t ? t->rows.data() : nullptr, "rows").c_str(), static_cast<int>(a5),
                pointer(descriptor, t ? &t->descriptor : nullptr, "table").c_str(),
                static_cast<int>(a7), pointer(file, t ? t->file : nullptr, "file").c_str(),
                static_cast<int>(a9), static_cast<unsigned>(a10), static_cast<int>(a11));
  say(std::string("  host's handler of table ") + (t ? std::to_string(t->number) : "?") + ": " +
      values);
  return 7000 + key;
}

namespace {

// Key handlers called with 32-bit slots for the two 16-bit values, so that a
// session can put anything in their upper halves.
using wide_key_handler = int32_t(Q7_STDCALL*)(int32_t, uint32_t, int32_t*, char**, int32_t,
                                              q7::table_descriptor*, int32_t, FILE*, int32_t,
                                              uint32_t, int32_t);

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

long long number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 0); }

std::string handler_name(const table& t) {
  const auto handler = reinterpret_cast<void*>(t.descriptor.handler);
  if (!handler) return "no key handler";
  if (handler == reinterpret_cast<void*>(&host_key_handler)) return "host's key handler";
  return "plug-in's key handler";
}

bool plugin_loaded(const char* step) {
  if (host().plugin.start_stop) return true;
  say(std::string("  cannot ") + step + ": the plug-in is not loaded");
  return false;
}

void start(bool with_buffer) {
  if (!plugin_loaded("start")) return;
  char buffer[128];
  std::memset(buffer, 0xCC, sizeof buffer);
  static char context;
  const int32_t result = host().plugin.start_stop(&context, with_buffer ? buffer : nullptr);
  if (with_buffer) {
    const void* end = std::memchr(buffer, 0, sizeof buffer);
    if (end) {
      say("  description \"" + from_mazovia(buffer) + "\" (" +
          std::to_string(static_cast<const char*>(end) - buffer) + " bytes and terminator)");
    } else {
      say("  description: no terminator within the buffer");
    }
  }
  const void* translator = platform::installed_se_translator();
  say(std::string("  translator of structured exceptions: ") +
      (!translator ? "none" : translator == platform::host_export(30005) ? "the host's 30005" : "another"));
  say("  30001 -> " + std::to_string(result));
}

answer parse_answer(const std::vector<std::string>& w) {
  static const std::pair<const char*, int> names[] = {
      {"yes", 0x5001}, {"ok", 0x5001}, {"no", 0},     {"cancel", 0x5002},
      {"abort", box_abort}, {"retry", box_retry}, {"ignore", box_ignore}};
  answer a{static_cast<int>(number(w.at(1)))};
  for (const auto& [name, code] : names)
    if (w.at(1) == name) a.code = code;
  if (w.size() >= 4 && w[2] == "value") {
    a.sets_value = true;
    a.value = static_cast<int>(number(w[3]));
  }
  return a;
}

void press_key(const std::vector<std::string>& w) {
  table* t = find_table(static_cast<int32_t>(number(w.at(1))));
  if (!t) return say("  no such table");
  uint32_t v[6] = {0, 5, 7, 9, 0, 11};
  for (std::size_t i = 3; i < w.size() && i < 9; ++i) v[i - 3] = static_cast<uint32_t>(number(w[i]));
  const auto handler = reinterpret_cast<wide_key_handler>(t->descriptor.handler);
  if (!handler) return say("  the table has no key handler");
  const int32_t result =
      handler(static_cast<int32_t>(number(w.at(2))), v[0], &t->record_count, t->rows.data(),
              static_cast<int32_t>(v[1]), &t->descriptor, static_cast<int32_t>(v[2]), t->file,
              static_cast<int32_t>(v[3]), v[4], static_cast<int32_t>(v[5]));
  say("  handler -> " + std::to_string(result));
}

form_edit parse_edit(const std::string& line) {
  const std::string rest = line.substr(line.find_first_not_of(' ', line.find("edit") + 4));
  form_edit edit;
  if (const std::size_t equals = rest.find(" = "); equals != std::string::npos) {
    edit.label = rest.substr(0, equals);
    edit.value = rest.substr(equals + 3);
    return edit;
  }
  const std::size_t space = rest.find(' ');
  edit.item = rest.substr(0, space);
  if (space != std::string::npos) edit.value = rest.substr(space + 1);
  return edit;
}

void reset_session() {
  host().transcript.clear();
  host().answers.clear();
  host().form_edits.clear();
  reset_tables();
  config_clear();
}

void run_step(const std::string& line) {
  static bool session_started;
  if (!session_started) reset_session();
  session_started = true;
  const auto w = words(line);
  if (w.empty() || w[0][0] == '#') return;
  say("> " + line);
  const std::string& verb = w[0];
  if (verb == "version") {
    host().interface_version = static_cast<int32_t>(number(w.at(1)));
  } else if (verb == "table") {
    const auto n = static_cast<int32_t>(number(w.at(1)));
    if (w.at(2) == "missing") {
      host().tables.erase(n);
    } else if (w[2] == "size") {
      const auto size = static_cast<int16_t>(number(w.at(3)));
      if (table* t = find_table(n)) t->descriptor.record_size = size;
      else add_table(n, size);
    } else if (table* t = find_table(n); !t) {
      say("  no such table");
    } else if (w[2] == "no-handler") {
      t->descriptor.handler = nullptr;
    }
  } else if (verb == "config") {
    config_write(w.at(1), w.at(2), to_mazovia(w.at(3)));
  } else if (verb == "show" && w.at(1) == "config") {
    const std::string text = config_contents();
    if (text.empty()) say("  (no settings)");
    else say_text(text.substr(0, text.size() - 1).c_str());
  } else if (verb == "show" && w.at(1) == "handlers") {
    for (const auto& [n, t] : host().tables)
      say("  table " + std::to_string(n) + ": " + handler_name(t));
  } else if (verb == "withdraw") {
    platform::withdraw_export(static_cast<uint32_t>(number(w.at(1))));
  } else if (verb == "answer") {
    host().answers.push_back(parse_answer(w));
  } else if (verb == "module-path") {
    const std::string rest = line.substr(line.find(w.at(1)));
    if (!platform::set_plugin_module_path(rest, rest == "fails"))
      say("  (the module path is the platform's here)");
  } else if (verb == "load") {
    say(platform::load_plugin(host().plugin_path) ? "  loaded" : "  the plug-in did not load");
  } else if (verb == "start") {
    start(!(w.size() > 1 && w[1] == "nobuffer"));
  } else if (verb == "stop") {
    if (!plugin_loaded("stop")) return;
    say("  30001 -> " + std::to_string(host().plugin.start_stop(nullptr, nullptr)));
  } else if (verb == "activate" || verb == "report" || (verb == "entry" && w.at(1) == "30008")) {
    if (!plugin_loaded("call 30008")) return;
    const auto mode = verb == "activate" ? 0 : verb == "report" ? 1 : number(w.at(2));
    say("  30008 -> " + std::to_string(host().plugin.activate_or_report(static_cast<int32_t>(mode))));
  } else if (verb == "entry" && w.at(1) == "30009") {
    if (!plugin_loaded("call 30009")) return;
    host().plugin.no_effect();
    say("  30009 returned");
  } else if (verb == "key") {
    press_key(w);
  } else if (verb == "edit" && w.size() >= 2) {
    host().form_edits.push_back(parse_edit(line));
  } else {
    say("  unknown step");
  }
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The first line where the transcript differs from the expected one, or 0.
std::size_t first_difference(const std::string& expected, const std::string& actual,
                             std::string& expected_line, std::string& actual_line) {
  std::istringstream e(expected), a(actual);
  for (std::size_t n = 1;; ++n) {
    const bool more_e = static_cast<bool>(std::getline(e, expected_line));
    const bool more_a = static_cast<bool>(std::getline(a, actual_line));
    if (more_e && !expected_line.empty() && expected_line.back() == '\r') expected_line.pop_back();
    if (!more_e && !more_a) return 0;
    if (more_e != more_a || expected_line != actual_line) {
      if (!more_e) expected_line = "(end)";
      if (!more_a) actual_line = "(end)";
      return n;
    }
  }
}

}  // namespace
}  // namespace torval

using namespace torval;

extern "C" int Q7_CDECL torval_session_step(const char* line) {
  run_step(line);
  return 0;
}

extern "C" const char* Q7_CDECL torval_session_transcript() { return host().transcript.c_str(); }

// torval_host SCRIPT [--expect FILE] [--work FOLDER] [--plugin PATH]
extern "C" int Q7_CDECL torval_run_session(int argc, char** argv) {
  std::string script, expected, work, plugin;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--expect" && i + 1 < argc) expected = argv[++i];
    else if (arg == "--work" && i + 1 < argc) work = argv[++i];
    else if (arg == "--plugin" && i + 1 < argc) plugin = argv[++i];
    else script = arg;
  }
  if (script.empty()) {
    std::fprintf(stderr, "usage: torval_host SCRIPT [--expect FILE] [--work FOLDER] [--plugin PATH]\n");
    return 2;
  }
  platform::binary_stdout();
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read the session script %s\n", script.c_str());
    return 2;
  }
  const std::string expected_text = expected.empty() ? "" : read_file(expected);
  if (!expected.empty() && expected_text.empty()) {
    std::fprintf(stderr, "cannot read the expected transcript %s\n", expected.c_str());
    return 2;
  }
  if (!work.empty() && !platform::enter_folder(work)) {
    std::fprintf(stderr, "cannot enter the working folder %s\n", work.c_str());
    return 2;
  }
  host().plugin_path = plugin.empty() ? platform::default_plugin_path() : plugin;
  host().plugin_folder = host().plugin_path.substr(0, host().plugin_path.find_last_of("\\/"));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    run_step(line);
  }
  std::fwrite(host().transcript.data(), 1, host().transcript.size(), stdout);
  if (expected.empty()) return 0;
  std::string e, a;
  if (const std::size_t line = first_difference(expected_text, host().transcript, e, a)) {
    std::printf("\nTRANSCRIPT DIFFERS from %s at line %zu:\n  expected: %s\n  actual:   %s\n",
                expected.c_str(), line, e.c_str(), a.c_str());
    return 1;
  }
  return 0;
}
