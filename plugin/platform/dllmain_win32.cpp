// The module's entry point, called by the Windows loader. The plug-in is
// linked without the C run-time's start-up code: nothing runs at attach but
// the plug-in's own steps, no static initialisation at all (every item of
// the module is constant-initialised), and the image has no TLS directory,
// so nothing of the plug-in runs at the host's thread attach and detach.
#include <windows.h>

#include "plugin/hostlink/module.h"

extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) q7::process_attach(instance);
  return TRUE;
}

// The number formatting of the toolchain's C library registers a clean-up of
// its scratch memory at exit. Without the start-up code nothing would run it
// at the module's unload, and the C run-time's own list runs at process exit,
// possibly after the module is gone: the registration is declined, and the
// memory goes with the process.
extern "C" int atexit(void (*)(void)) { return 0; }
