#include "plugin/hostlink/module.h"

#include "plugin/hostlink/binding.h"

namespace q7 {

module_state module;

void process_attach(platform::module_handle own) {
  module.own_module = own;
  platform::disable_thread_notifications(own);
  if (platform::module_file_name(own, module.own_path, sizeof module.own_path) == 0)
    module.own_path[0] = 0;
  module.own_path[sizeof module.own_path - 1] = 0;
  if (module.host_module) return;
  module.host_module = platform::find_module(host_module_name);
  if (!module.host_module) return;
  // Ordinal 30007 of the host is its delay-load notification hook; from now on
  // the host is asked first whenever a late-bound Windows function is loaded.
  auto hook = platform::find_export(module.host_module, reinterpret_cast<const char*>(30007));
  __pfnDliNotifyHook2 = reinterpret_cast<delay_load_hook>(hook);
}

char* copy_description(char* buffer) {
  return platform::copy_text(buffer, plugin_description.data());
}

}  // namespace q7
