// The module's entry point, called by the Windows loader. The plug-in is
// linked without the C run-time's start-up code: nothing runs at attach but
// the plug-in's own steps, no static initialisation at all (every item of
// the module is constant-initialised), and the image has no TLS directory.
// Thread attach and detach are turned off at process attach.
#include <windows.h>

#include "plugin/hostlink/module.h"

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) q7::process_attach(instance);
  // reserved is null when the module is unloaded and the process goes on;
  // at the process's end nothing of the host is touched.
  if (reason == DLL_PROCESS_DETACH && !reserved) q7::process_detach();
  return TRUE;
}
