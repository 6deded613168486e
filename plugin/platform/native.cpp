// The platform calls of the plug-in in the native test build: the stand-in
// host answers them, and the late binding of MessageBoxA follows the
// Windows delay-load helper's notifications, so the host's hook decides.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "abi/native_module.h"
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

const q7_frame_record* frame_chain_head() { return *torval_native_frame_chain(); }

void register_frame(q7_frame_record* record) {
  q7_frame_record** head = torval_native_frame_chain();
  record->previous = *head;
  *head = record;
}

void unregister_frame(q7_frame_record* record) { *torval_native_frame_chain() = record->previous; }

uint32_t current_thread() { return torval_native_GetCurrentThreadId(); }

bool thread_ended(uint32_t thread) { return torval_native_thread_ended(thread) != 0; }

stack_span thread_stack() {
  stack_span stack;
  torval_native_thread_stack(&stack.low, &stack.high);
  return stack;
}

uint32_t stack_room() { return torval_native_stack_room(__builtin_frame_address(0)); }

void disable_thread_notifications(module_handle) {}

void install_se_translator(void* translator) { torval_native_set_se_translator(translator); }

void* host_se_translator() { return reinterpret_cast<void*>(&torval_30005); }

}  // namespace q7::platform

namespace {

using message_box_function = int(Q7_STDCALL*)(void*, const char*, const char*, unsigned);

// user32 of the native build: a module that the stand-in host answers for.
char user32_tag;

void* load_library(const char* name) { return std::strcmp(name, "user32.dll") == 0 ? &user32_tag : nullptr; }

void* find_function(void* module, const q7_delay_load_info& info) {
  if (module == &user32_tag && info.import_by_name && std::strcmp(info.proc_name, "MessageBoxA") == 0)
    return reinterpret_cast<void*>(&torval_native_MessageBoxA);
  return torval_native_GetProcAddress(module, info.import_by_name ? info.proc_name : nullptr);
}

void release_library(void*) {}

void* user32_module;

// The notifications of the Windows delay-load helper for one function of user32.
void* delay_load(const char* name, void** slot) {
  q7_delay_load_info info{};
  info.size = sizeof info;
  info.function_slot = slot;
  info.dll_name = "user32.dll";
  info.import_by_name = 1;
  info.proc_name = name;
  static constexpr q7::platform::late_library native{&load_library, &find_function, &release_library};
  return q7::platform::bind_late_function(info, &user32_module, native);
}

}  // namespace

extern "C" int Q7_STDCALL q7_MessageBoxA(void* owner, const char* text, const char* caption,
                                         unsigned style) {
  static void* bound;
  void* const function = bound ? bound : delay_load("MessageBoxA", &bound);
  return reinterpret_cast<message_box_function>(function)(owner, text, caption, style);
}

extern "C" int Q7_CDECL q7_wsprintfA(char* out, const char* format, ...) {
  va_list values;
  va_start(values, format);
  const int length = std::vsnprintf(out, 1025, format, values);
  va_end(values);
  return length > 1024 ? 1024 : length;
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
