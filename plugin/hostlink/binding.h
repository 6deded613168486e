// Binding of host services by number on their first call.
#pragma once

#include <cstdint>

#include "abi/machine.h"
#include "plugin/hostlink/guard.h"

namespace q7 {

// One entry of a binding thunk table, as the generated assembly lays it out.
struct thunk_entry {
  uintptr_t service;       // number, or the address of a name when 65536 or more
  void* slot;              // where the entry's jump leads: binder, service, fallback or empty
  int32_t bytes_removed;   // argument bytes the service removes; -1: the caller removes them
};

// Looks a service up in the host module; on failure asks the user through the
// binding error box and applies the fallback rule or empties the slot.
void resolve_service(uintptr_t service, void** slot);
// 1 = go on with a fallback function, 0 = abort.
int32_t binding_error_box(uintptr_t service, const char* module_name);
// Stores the fallback function that the number or name selects, or null.
void apply_fallback_rule(uintptr_t service, void** slot);

// The fallback function at index n (0..14): removes 4n bytes, answers 0.
void* fallback_function(int index);
// Index of a fallback function, or -1 for any other address.
int fallback_index(const void* function);

// The ignore-all flag of the binding error box.
bool ignoring_missing_services();

}  // namespace q7

// Called by the common binder with the entry to bind.
extern "C" void Q7_CDECL q7_bind_service(q7::thunk_entry* entry) Q7_SYMBOL("q7_bind_service");
// Where an empty slot leads: abandons the command that made the call.
extern "C" [[noreturn]] void q7_abandoned_service_call() Q7_SYMBOL("q7_abandoned_service_call");
