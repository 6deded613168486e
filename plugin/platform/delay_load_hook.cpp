#include "plugin/platform/platform.h"

// Fallback function 2 of the binding thunks: removes two arguments, answers null.
extern "C" void* Q7_STDCALL q7_null_delay_load_hook(unsigned, q7_delay_load_info*)
    Q7_SYMBOL("q7_null_delay_load_hook");

// Constant-initialised: valid before any static constructor of the module runs.
extern "C" {
q7::delay_load_hook __pfnDliNotifyHook2 = &q7_null_delay_load_hook;
}
