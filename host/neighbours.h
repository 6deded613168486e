// The host's neighbours in its process: the plug-in module it loaded (its
// entry points, the translator of structured exceptions it installed, the
// services it looked up), and what the host program and the other modules
// of the process do around it: another module chains its key handler after
// the plug-in's; a key is pressed in a list while a form is open; a second
// thread, or the message loop on the thread that waits, calls in while a
// service waits. Every host service is entered through an entry here that
// counts its call and makes what the plan (host/plan.h) holds for that call
// happen first. How each call into the plug-in is made: host/calling_in.h.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "abi/records.h"
#include "host/world.h"

namespace torval {

// The three entry points of a loaded plug-in.
struct plugin_module {
  void* handle = nullptr;
  int32_t(Q7_STDCALL* start_stop)(void*, char*) = nullptr;
  int32_t(Q7_STDCALL* activate_or_report)(int32_t) = nullptr;
  void(Q7_STDCALL* no_effect)() = nullptr;
};

struct host_neighbours {
  plugin_module plugin;
  std::string plugin_path = "q7_kar_vezezoz.dll";
  void* se_translator = nullptr;      // as the plug-in installed it
  std::map<uint32_t, int> lookups;    // service lookups by number (native build)
  // The handler another module saved when it chained its own into a table's
  // slot, by table.
  std::map<int32_t, q7::key_handler> other_module_saved;
};
host_neighbours& neighbours();

// Another module's key handler chained into a table's slot after the one
// there, and put back.
bool is_other_module_handler(q7::key_handler handler);
void chain_other_module(table& t);
void unchain_other_module(table& t);
// A key pressed in a table's list (A2 A5 A7 A9 A10 A11 as given), the
// handler's answer in result: false when the host caught its own exception
// around the handler (the transcript says so).
bool press_table_key(table& t, int32_t key, const uint32_t (&values)[6], int32_t& result);
// The keys the plan queued for the open form, pressed.
void press_keys_in_form();
// The calls another thread of the host makes while a service waits: a key
// in a table's list, or an entry point; and the same call made by the
// host's message loop on the thread that waits.
void call_from_other_thread(const std::vector<std::string>& call);
void call_meanwhile(const std::vector<std::string>& call);

}  // namespace torval
