// The module's side of the native build's loader (abi/native_module.h): its
// load notification, as DllMainCRTStartup is on Windows, and its export table
// by number.
#include "abi/native_module.h"
#include "plugin/hostlink/entry.h"
#include "plugin/hostlink/module.h"

extern "C" {

int32_t q7_native_dll_main(void* instance, uint32_t reason, void* reserved) {
  constexpr uint32_t process_attach = 1;
  constexpr uint32_t process_detach = 0;
  if (reason == process_attach) q7::process_attach(instance);
  if (reason == process_detach && !reserved) q7::process_detach();
  return 1;
}

const q7_native_export q7_native_exports[] = {
    {30001, reinterpret_cast<void*>(&entry_30001)},
    {30008, reinterpret_cast<void*>(&entry_30008)},
    {30009, reinterpret_cast<void*>(&entry_30009)},
};
const uint32_t q7_native_export_count = sizeof q7_native_exports / sizeof q7_native_exports[0];
}
