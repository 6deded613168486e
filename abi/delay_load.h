// The record the delay-load mechanism hands to its notification hook
// (the host's export 30007), laid out as on 32-bit Windows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "machine.h"

struct q7_delay_load_info {
  uint32_t size;                 // cb
  const void* descriptor;        // pidd
  void** function_slot;          // ppfn
  const char* dll_name;          // szDll
  int32_t import_by_name;        // dlp.fImportByName
  union {
    const char* proc_name;       // dlp.szProcName
    uint32_t ordinal;            // dlp.dwOrdinal
  };
  void* module;                  // hmodCur
  void* function;                // pfnCur
  uint32_t last_error;           // dwLastError
};
static_assert(offsetof(q7_delay_load_info, proc_name) == 20);
static_assert(sizeof(q7_delay_load_info) == 36);

namespace q7 {
// Notification codes the hook is called with.
enum delay_load_notification : unsigned {
  dli_start_processing = 0,
  dli_note_pre_load_library = 1,
  dli_note_pre_get_proc_address = 2,
  dli_fail_load_library = 3,
  dli_fail_get_proc = 4,
  dli_note_end_processing = 5,
};
using delay_load_hook = void*(Q7_STDCALL*)(unsigned notification, q7_delay_load_info* info);
}  // namespace q7
