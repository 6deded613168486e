// The few platform calls the plug-in makes. On Windows they are the real
// Windows API, MessageBoxA and wsprintfA late-bound through the delay-load
// mechanism; in the native test build the stand-in host answers them.
#pragma once

#include <cstdint>

#include "abi/delay_load.h"
#include "abi/frame_chain.h"
#include "abi/machine.h"

// Late-bound user32 functions, called through their delay-load stubs.
extern "C" int Q7_STDCALL q7_MessageBoxA(void* owner, const char* text, const char* caption,
                                         unsigned style) Q7_STDCALL_SYMBOL("MessageBoxA", 16);
// At most 1024 characters and a terminator.
extern "C" int Q7_CDECL q7_wsprintfA(char* out, const char* format, ...) Q7_SYMBOL("wsprintfA");

// The module's delay-load notification hook, consulted for every late-bound
// function; it starts as a function that answers null.
extern "C" q7::delay_load_hook __pfnDliNotifyHook2;

namespace q7::platform {

using module_handle = void*;

// GetModuleHandleA: an already loaded module by name, or null.
module_handle find_module(const char* name);
// GetProcAddress: a value below 65536 is an ordinal, else the address of a name.
void* find_export(module_handle module, const char* name_or_ordinal);
// GetModuleFileNameA: characters written (without terminator), 0 on failure.
uint32_t module_file_name(module_handle module, char* buffer, uint32_t size);
// lstrcpyA
char* copy_text(char* destination, const char* source);

// The thread's chain of frame handlers: its head, and a record of the
// caller's frame put at its head or taken off it again.
const q7_frame_record* frame_chain_head();
void register_frame(q7_frame_record* record);
void unregister_frame(q7_frame_record* record);

// GetCurrentThreadId: the calling thread's number, never 0.
uint32_t current_thread();
// Whether the thread of the number has ended (or there is none): OpenThread
// and a wait on it. A thread the system cannot tell about counts as alive.
bool thread_ended(uint32_t thread);

// The calling thread's stack, from its lowest committed address to its base
// (the thread information block's StackLimit and StackBase).
struct stack_span {
  uintptr_t low, high;
};
stack_span thread_stack();
// The bytes the calling thread's stack may still grow by below the caller's
// frame (VirtualQuery: down to the stack's reserved base).
uint32_t stack_room();

// Tells the platform that the module has nothing to do at the host's thread
// attach and detach, so that it is not called for them.
void disable_thread_notifications(module_handle own);

// How the platform loads a library and finds a function in it.
struct late_library {
  void* (*load)(const char* name);
  void* (*find)(void* module, const q7_delay_load_info& info);
  void (*release)(void* module);  // a reference load took
};
// Binds one late-bound function of the module: asks the module's delay-load
// notification hook at each step as the Windows helper does, then loads and
// looks up; when the library or the function cannot be had, a stand-in of
// the plug-in's own takes its place (a box that answers Abort, formatting of
// its own) instead of an exception raised into the host. The library's
// module is kept in *module_slot, the function in *info.function_slot.
void* bind_late_function(q7_delay_load_info& info, void** module_slot, const late_library& library);

// Installs the C run-time's per-thread translator of structured exceptions.
void install_se_translator(void* translator);
// The host's translator of structured exceptions, imported by number (30005).
void* host_se_translator();

}  // namespace q7::platform

// A file of the working folder written whole and then put in the place of
// an older one of the same name at once, so that the older one is either
// replaced by a complete file or left as it was. Each call answers whether
// it was done.
namespace q7::platform {

using file_handle = void*;

// CreateFileA: a new, empty file, an older one of the name made empty; no
// other program may open it meanwhile. Null when it cannot be made.
file_handle create_file(const char* name);
// WriteFile, until every byte is written.
bool write_file(file_handle file, const char* bytes, uint32_t size);
// FlushFileBuffers and CloseHandle: the bytes are on the disk when it answers true.
bool close_file(file_handle file);
// MoveFileExA, replacing a file of the name to and waiting until the move is on the disk.
bool replace_file(const char* from, const char* to);
// DeleteFileA
void delete_file(const char* name);

}  // namespace q7::platform
