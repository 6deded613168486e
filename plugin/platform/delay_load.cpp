// The late binding of the user32 functions, as the Windows delay-load helper
// does it: the module's notification hook (the host's export 30007) is asked
// first at each step, then the library is loaded and the function looked up.
// Where the Windows helper would raise an exception into the host when the
// library or the function cannot be had, the plug-in puts a stand-in of its
// own in the function's place: the box answers Abort, so that the call that
// needed it is abandoned, and the formatting is the plug-in's own.
#include "plugin/platform/platform.h"

#include <cstdarg>
#include <cstring>

#include "plugin/text/formatted_text.h"

// Fallback function 2 of the binding thunks: removes two arguments, answers null.
extern "C" void* Q7_STDCALL q7_null_delay_load_hook(unsigned, q7_delay_load_info*)
    Q7_SYMBOL("q7_null_delay_load_hook");

// Constant-initialised: valid before any static constructor of the module runs.
extern "C" {
q7::delay_load_hook __pfnDliNotifyHook2 = &q7_null_delay_load_hook;
}

namespace q7::platform {
namespace {

constexpr int box_answer_abort = 3;

int Q7_STDCALL box_unavailable(void*, const char*, const char*, unsigned) { return box_answer_abort; }

// wsprintfA writes at most 1024 characters and a terminator.
int Q7_CDECL formatted_here(char* out, const char* format, ...) {
  va_list values;
  va_start(values, format);
  const std::size_t length = format_text_list(out, 1025, format, values);
  va_end(values);
  return static_cast<int>(length);
}

void* stand_in(const q7_delay_load_info& info) {
  if (!info.import_by_name) return nullptr;
  if (std::strcmp(info.proc_name, "MessageBoxA") == 0) return reinterpret_cast<void*>(&box_unavailable);
  if (std::strcmp(info.proc_name, "wsprintfA") == 0) return reinterpret_cast<void*>(&formatted_here);
  return nullptr;
}

}  // namespace

void* bind_late_function(q7_delay_load_info& info, void** module_slot, const late_library& library) {
  const delay_load_hook hook = __pfnDliNotifyHook2;
  info.module = *module_slot;
  // A function the hook hands back at the start serves this call only: the
  // slot is left, and the hook is asked again next time.
  void* function = hook ? hook(dli_start_processing, &info) : nullptr;
  if (!function) {
    void* module = *module_slot;
    if (!module) {
      if (hook) module = hook(dli_note_pre_load_library, &info);
      if (!module) module = library.load(info.dll_name);
      // Another thread may have loaded it meanwhile: one reference is kept.
      if (module && __atomic_exchange_n(module_slot, module, __ATOMIC_ACQ_REL) == module) library.release(module);
    }
    info.module = module;
    if (module && hook) function = hook(dli_note_pre_get_proc_address, &info);
    if (module && !function) function = library.find(module, info);
    if (!function) function = stand_in(info);
    if (info.function_slot) *info.function_slot = function;
  }
  info.function = function;
  info.last_error = 0;
  if (hook) hook(dli_note_end_processing, &info);
  return function;
}

}  // namespace q7::platform
