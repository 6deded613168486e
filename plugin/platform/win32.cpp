// The platform calls of the plug-in on Windows.
#include <windows.h>

#include <cstdio>

#include "plugin/platform/platform.h"

// The host's translator of structured exceptions, imported by number: the
// import address table entry holds the function's own address.
extern "C" void* const q7_import_30005 Q7_SYMBOL("_imp__torval_30005");

namespace q7::platform {

module_handle find_module(const char* name) { return GetModuleHandleA(name); }

void* find_export(module_handle module, const char* name_or_ordinal) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name_or_ordinal));
}

uint32_t module_file_name(module_handle module, char* buffer, uint32_t size) {
  return GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
}

char* copy_text(char* destination, const char* source) { return lstrcpyA(destination, source); }

// The head of the chain is the first word of the thread's information block.
const q7_frame_record* frame_chain_head() {
  const q7_frame_record* head;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void register_frame(q7_frame_record* record) {
  record->previous = const_cast<q7_frame_record*>(frame_chain_head());
  __asm__ volatile("movl %0, %%fs:0" : : "r"(record) : "memory");
}

void unregister_frame(q7_frame_record* record) {
  __asm__ volatile("movl %0, %%fs:0" : : "r"(record->previous) : "memory");
}

uint32_t current_thread() { return GetCurrentThreadId(); }

bool thread_ended(uint32_t thread) {
  const HANDLE handle = OpenThread(SYNCHRONIZE, FALSE, thread);
  if (!handle) return GetLastError() == ERROR_INVALID_PARAMETER;  // no thread of the number
  const bool ended = WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
  CloseHandle(handle);
  return ended;
}

stack_span thread_stack() {
  stack_span stack;
  __asm__ volatile("movl %%fs:8, %0\n\tmovl %%fs:4, %1" : "=r"(stack.low), "=r"(stack.high));
  return stack;
}

uint32_t stack_room() {
  const auto* here = static_cast<const char*>(__builtin_frame_address(0));
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(here, &region, sizeof region) != sizeof region) return 0;
  return static_cast<uint32_t>(here - static_cast<const char*>(region.AllocationBase));
}

void disable_thread_notifications(module_handle own) { DisableThreadLibraryCalls(static_cast<HMODULE>(own)); }

void install_se_translator(void* translator) {
  // The C run-time exports the setter only under its C++ name.
  using se_translator = void(__cdecl*)(unsigned, EXCEPTION_POINTERS*);
  using setter = se_translator(__cdecl*)(se_translator);
  const auto set = reinterpret_cast<setter>(GetProcAddress(
      GetModuleHandleA("msvcrt.dll"), "?_set_se_translator@@YAP6AXIPAU_EXCEPTION_POINTERS@@@ZP6AXI0@Z@Z"));
  if (set) set(reinterpret_cast<se_translator>(translator));
}

void* host_se_translator() { return q7_import_30005; }

}  // namespace q7::platform

namespace {

// A delay-load descriptor as the import library lays it out: relative addresses.
struct delay_descriptor {
  DWORD attributes, dll_name, module, functions, names, bound_functions, unload_functions, time_stamp;
};

void* load_library(const char* name) { return LoadLibraryA(name); }

void release_library(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

void* find_function(void* module, const q7_delay_load_info& info) {
  const char* name = info.import_by_name ? info.proc_name : MAKEINTRESOURCEA(info.ordinal);
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace

extern "C" IMAGE_DOS_HEADER __ImageBase;

// The delay-load helper the import library's stubs call with their
// descriptor and the slot of the function called: it binds the function
// and answers it, and the stub jumps to it.
extern "C" void* WINAPI q7_delay_load_helper(const delay_descriptor* descriptor, void** slot)
    Q7_STDCALL_SYMBOL("__delayLoadHelper2", 8);

extern "C" void* WINAPI q7_delay_load_helper(const delay_descriptor* descriptor, void** slot) {
  const auto* base = reinterpret_cast<const char*>(&__ImageBase);
  const auto* functions = reinterpret_cast<void* const*>(base + descriptor->functions);
  const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA32*>(base + descriptor->names);
  const DWORD name = names[slot - functions].u1.AddressOfData;
  q7_delay_load_info info{};
  info.size = sizeof info;
  info.descriptor = descriptor;
  info.function_slot = slot;
  info.dll_name = base + descriptor->dll_name;
  info.import_by_name = !IMAGE_SNAP_BY_ORDINAL32(name);
  if (info.import_by_name)
    info.proc_name = reinterpret_cast<const char*>(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name)->Name);
  else
    info.ordinal = IMAGE_ORDINAL32(name);
  static constexpr q7::platform::late_library windows{&load_library, &find_function, &release_library};
  return q7::platform::bind_late_function(info, reinterpret_cast<void**>(const_cast<char*>(base) + descriptor->module),
                                          windows);
}

namespace q7::platform {

file_handle create_file(const char* name) {
  const HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

bool write_file(file_handle file, const char* bytes, uint32_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, size, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

bool close_file(file_handle file) {
  const bool flushed = FlushFileBuffers(file) != 0;
  return CloseHandle(file) != 0 && flushed;
}

bool replace_file(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void delete_file(const char* name) { DeleteFileA(name); }

}  // namespace q7::platform
