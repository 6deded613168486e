// The few platform calls the plug-in makes. On Windows they are the real
// Windows API, MessageBoxA and wsprintfA late-bound through the delay-load
// mechanism; in the native test build the stand-in host answers them.
#pragma once

#include <cstdint>

#include "abi/delay_load.h"
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
// remove of the C library: deletes a file of the working folder, if there is one.
void remove_file(const char* name);

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
