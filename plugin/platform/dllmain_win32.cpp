// The module's load notification: only the process attach does anything.
#include <windows.h>

#include "plugin/hostlink/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) q7::process_attach(instance);
  return TRUE;
}
