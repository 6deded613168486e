// The steps that act on the plug-in module and call into it: its module
// path, loading and unloading, its entry points, keys in a table's list, a
// handler another module chains, a call from another thread now, and the
// x87 control word and the locale every call into it is made with.
#include <cstring>
#include <string>

#include "host/calling_in.h"
#include "host/file_store.h"
#include "host/host_platform.h"
#include "host/neighbours.h"
#include "host/steps.h"
#include "host/texts.h"
#include "host/transcript.h"
#include "host/world.h"

namespace torval::steps {
namespace {

void say_caught(int entry) {
  say("  the host caught its exception around entry " + std::to_string(entry) + "; it goes on");
}

// Entry 30001 with nothing (stop), 30008 with its argument, or 30009, called
// as the host calls into the plug-in; its answer, or that the host caught its
// exception around it, said.
void call_entry(const char* step, int entry, int32_t argument = 0) {
  plugin_loaded(step);
  auto& p = neighbours().plugin;
  int32_t result = 0;
  const bool caught = call_plugin([&] {
    if (entry == 30001) result = p.start_stop(nullptr, nullptr);
    else if (entry == 30008) result = p.activate_or_report(argument);
    else p.no_effect();
  });
  if (caught) return say_caught(entry);
  say(entry == 30009 ? std::string("  30009 returned") : "  " + std::to_string(entry) + " -> " + std::to_string(result));
}

}  // namespace

void set_module_path(const step_call& s) {
  if (!platform::set_plugin_module_path(s.rest, s.rest == "fails"))
    say("  (the module path is the platform's here)");
}

// Loading is what a session expects: only a failure is told.
void load(const step_call&) {
  if (!platform::load_plugin(neighbours().plugin_path)) say("  the plug-in did not load");
}

void unload(const step_call&) {
  say(platform::unload_plugin() ? "  unloaded" : "  (the plug-in cannot be unloaded here)");
}

void start(const step_call& s) {
  plugin_loaded("start");
  const bool with_buffer = s.args.empty();
  char buffer[128];
  std::memset(buffer, 0xCC, sizeof buffer);
  static char context;
  int32_t result = 0;
  if (call_plugin([&] { result = neighbours().plugin.start_stop(&context, with_buffer ? buffer : nullptr); }))
    return say_caught(30001);
  // What the plug-in handed back and installed, in one line.
  std::string line = "  ";
  if (with_buffer) {
    const void* end = std::memchr(buffer, 0, sizeof buffer);
    if (end) {
      line += "description \"" + from_mazovia(buffer) + "\" (" +
              std::to_string(static_cast<const char*>(end) - buffer) + " bytes and terminator) · ";
    } else {
      line += "description: no terminator within the buffer · ";
    }
  }
  const void* translator = platform::installed_se_translator();
  say(line + "translator of structured exceptions: " +
      (!translator ? "none" : translator == platform::host_export(30005) ? "the host's 30005" : "another"));
  say("  30001 -> " + std::to_string(result));
}

void stop(const step_call&) { call_entry("stop", 30001); }

void activate(const step_call&) { call_entry("activate", 30008, 0); }

void report(const step_call&) { call_entry("report", 30008, 1); }

void call_entry_30008(const step_call& s) { call_entry("call 30008", 30008, static_cast<int32_t>(s.number(0))); }

void call_entry_30009(const step_call&) { call_entry("call 30009", 30009); }

void press_key(const step_call& s) {
  table& t = existing_table(table_number(s.args[0]));
  int32_t key = 0;
  key_code(s.args[1], key);
  uint32_t v[6] = {0, 5, 7, 9, 0, 11};
  if (s.args.size() != 2 && s.args.size() != 8)
    throw refused{"the six values A2 A5 A7 A9 A10 A11 are given all or none"};
  for (std::size_t i = 2; i < s.args.size(); ++i) v[i - 2] = static_cast<uint32_t>(s.number(i));
  if (!t.descriptor.handler) return say("  the table has no key handler");
  int32_t result;
  const bool returned = press_table_key(t, key, v, result);
  close_line_files();  // the command has ended
  if (returned) say("  handler -> " + std::to_string(result));
}

void chain(const step_call& s) { chain_other_module(existing_table(table_number(s.args[0]))); }

void unchain(const step_call& s) { unchain_other_module(existing_table(table_number(s.args[0]))); }

void call_from_thread_now(const step_call& s) { call_from_other_thread(thread_call(s.args)); }

void set_fpu(const step_call& s) { set_strict_fpu(s.args[0] == "strict"); }

void set_locale(const step_call& s) {
  if (!set_polish_locale(s.args[0] == "polish")) say("  (this system has no Polish locale: the C locale stays)");
}

}  // namespace torval::steps
