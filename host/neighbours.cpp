// What the host program and the other modules of its process may do around
// the plug-in, beyond calling it one call at a time: another module chains
// its key handler after the plug-in's and puts back the one it saved when it
// stops; the message loop delivers a key while a form is open; the host ends
// a call-back through its own exception handling and goes on.
#include <string>

#include "host/host.h"
#include "host/platform.h"

namespace torval {
namespace {

// Key handlers called with 32-bit slots for the two 16-bit values, so that a
// session can put anything in their upper halves.
using wide_key_handler = int32_t(Q7_STDCALL*)(int32_t, uint32_t, int32_t*, char**, int32_t,
                                              q7::table_descriptor*, int32_t, FILE*, int32_t, uint32_t,
                                              int32_t);

// The other module's key handler: it tells of the key and passes it on to
// the handler it found in the slot, as a chained handler does.
int32_t Q7_STDCALL other_module_handler(int32_t key, uint32_t a2, int32_t* record_count, char** rows,
                                        int32_t a5, q7::table_descriptor* descriptor, int32_t a7, FILE* file,
                                        int32_t a9, uint32_t a10, int32_t a11) {
  table* t = table_of(descriptor);
  const int32_t number = t ? t->number : 0;
  say("  other module's handler of table " + std::to_string(number) + ": key " + std::to_string(key) +
      ", passed on");
  const auto saved = reinterpret_cast<wide_key_handler>(host().other_module_saved[number]);
  return saved ? saved(key, a2, record_count, rows, a5, descriptor, a7, file, a9, a10, a11) : 0;
}

}  // namespace

bool is_other_module_handler(q7::key_handler handler) {
  return reinterpret_cast<void*>(handler) == reinterpret_cast<void*>(&other_module_handler);
}

void chain_other_module(table& t) {
  host().other_module_saved[t.number] = t.descriptor.handler;
  t.descriptor.handler = reinterpret_cast<q7::key_handler>(&other_module_handler);
}

void unchain_other_module(table& t) {
  t.descriptor.handler = host().other_module_saved[t.number];
  host().other_module_saved.erase(t.number);
}

int32_t press_table_key(table& t, int32_t key, const uint32_t (&v)[6]) {
  const auto handler = reinterpret_cast<wide_key_handler>(t.descriptor.handler);
  // A host that hands a key handler no descriptor, or no record count.
  q7::table_descriptor* descriptor = behaves("key-without-table") ? nullptr : &t.descriptor;
  int32_t* count = behaves("key-without-count") ? nullptr : &t.record_count;
  return handler(key, v[0], count, t.rows.data(), static_cast<int32_t>(v[1]), descriptor,
                 static_cast<int32_t>(v[2]), t.file, static_cast<int32_t>(v[3]), v[4], static_cast<int32_t>(v[5]));
}

void press_keys_in_form() {
  auto& keys = host().keys_in_form;
  while (!keys.empty()) {
    const auto [number, key] = keys.front();
    keys.pop_front();
    table* t = find_table(number);
    if (!t || !t->descriptor.handler) continue;
    say("  key " + std::to_string(key) + " pressed in the list of table " + std::to_string(number) +
        " while the form is open");
    const int32_t result = press_table_key(*t, key, {0, 5, 7, 9, 0, 11});
    say("  handler -> " + std::to_string(result));
  }
}

void raise_if_planned(uint32_t service) {
  auto& plan = host().raise_plan;
  const auto found = plan.find(service);
  if (found == plan.end() || ++host().raise_calls[service] != found->second) return;
  say("  (service " + std::to_string(service) + " raises the host's exception at its call " +
      std::to_string(found->second) + ")");
  if (!platform::raise_host_exception()) say("  (no handler of the host's would catch it: nothing raised)");
}

}  // namespace torval
