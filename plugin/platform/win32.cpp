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

void remove_file(const char* name) { std::remove(name); }

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
