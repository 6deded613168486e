// The platform calls of the plug-in in the native test build: the stand-in
// host answers them, and the late binding of MessageBoxA follows the
// Windows delay-load helper's notifications, so the host's hook decides.
#include <cstdarg>
#include <cstdio>

#include "abi/native_module.h"
#include "plugin/hostlink/entry.h"
#include "plugin/hostlink/module.h"
#include "plugin/platform/platform.h"

extern "C" void Q7_CDECL torval_30005(unsigned, struct _EXCEPTION_POINTERS*) Q7_SYMBOL("torval_30005");

namespace q7::platform {

module_handle find_module(const char* name) { return torval_native_GetModuleHandleA(name); }

void* find_export(module_handle module, const char* name_or_ordinal) {
  return torval_native_GetProcAddress(module, name_or_ordinal);
}

uint32_t module_file_name(module_handle module, char* buffer, uint32_t size) {
  return torval_native_GetModuleFileNameA(module, buffer, size);
}

char* copy_text(char* destination, const char* source) {
  char* d = destination;
  while ((*d++ = *source++) != 0) {
  }
  return destination;
}

void remove_file(const char* name) { torval_native_remove(name); }

void install_se_translator(void* translator) { torval_native_set_se_translator(translator); }

void* host_se_translator() { return reinterpret_cast<void*>(&torval_30005); }

}  // namespace q7::platform

namespace {

using message_box_function = int(Q7_STDCALL*)(void*, const char*, const char*, unsigned);

// The notifications of the Windows delay-load helper for one function of user32.
void* delay_load(const char* name, void* default_function) {
  q7_delay_load_info info{};
  info.size = sizeof info;
  info.dll_name = "user32.dll";
  info.import_by_name = 1;
  info.proc_name = name;
  const q7::delay_load_hook hook = __pfnDliNotifyHook2;
  void* function = hook ? hook(q7::dli_start_processing, &info) : nullptr;
  if (!function && hook) hook(q7::dli_note_pre_load_library, &info);
  if (!function && hook) function = hook(q7::dli_note_pre_get_proc_address, &info);
  if (!function) function = default_function;
  info.function = function;
  if (hook) hook(q7::dli_note_end_processing, &info);
  return function;
}

}  // namespace

extern "C" int Q7_STDCALL q7_MessageBoxA(void* owner, const char* text, const char* caption,
                                         unsigned style) {
  static message_box_function bound;
  if (!bound)
    bound = reinterpret_cast<message_box_function>(
        delay_load("MessageBoxA", reinterpret_cast<void*>(&torval_native_MessageBoxA)));
  return bound(owner, text, caption, style);
}

extern "C" int Q7_CDECL q7_wsprintfA(char* out, const char* format, ...) {
  va_list values;
  va_start(values, format);
  const int length = std::vsnprintf(out, 1025, format, values);
  va_end(values);
  return length > 1024 ? 1024 : length;
}

extern "C" {

int32_t q7_native_dll_main(void* instance, uint32_t reason) {
  constexpr uint32_t process_attach = 1;
  if (reason == process_attach) q7::process_attach(instance);
  return 1;
}

const q7_native_export q7_native_exports[] = {
    {30001, reinterpret_cast<void*>(&entry_30001)},
    {30008, reinterpret_cast<void*>(&entry_30008)},
    {30009, reinterpret_cast<void*>(&entry_30009)},
};
const uint32_t q7_native_export_count = sizeof q7_native_exports / sizeof q7_native_exports[0];
}

namespace q7::platform {

file_handle create_file(const char* name) { return torval_native_CreateFileA(name); }

bool write_file(file_handle file, const char* bytes, uint32_t size) {
  return torval_native_WriteFile(file, bytes, size) != 0;
}

bool close_file(file_handle file) { return torval_native_CloseHandle(file) != 0; }

bool replace_file(const char* from, const char* to) { return torval_native_MoveFileExA(from, to) != 0; }

void delete_file(const char* name) { torval_native_DeleteFileA(name); }

}  // namespace q7::platform
