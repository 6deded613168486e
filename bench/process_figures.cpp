#include "bench/process_figures.h"

#include "bench/proc_status.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>
#elif defined(__SANITIZE_ADDRESS__)
// The sanitizers' allocator statistics (sanitizer/allocator_interface.h,
// which this compiler does not ship).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif
#ifndef _WIN32
#include <unistd.h>
#endif

namespace q7::bench {
namespace {

// The tolerances: what the end may hold beyond the figures after the first
// commands. Memory may settle a little higher as the host's containers reach
// their largest size; no handle, no module and no mapping may be left over.
constexpr long memory_tolerance_kb = 256;
constexpr long handle_tolerance = 0;

}  // namespace

#ifdef _WIN32
namespace {

// The process's handles, from the system's list of every process's handles
// (Wine's GetProcessHandleCount answers 0).
long handle_count() {
  struct handle_entry {
    ULONG process;
    BYTE type, flags;
    USHORT value;
    void* object;
    ULONG access;
  };
  using query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  constexpr ULONG system_handle_information = 16;
  const auto query_system = reinterpret_cast<query>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
  static std::vector<char> buffer(1 << 16);
  for (;;) {
    ULONG needed = 0;
    const LONG status = query_system ? query_system(system_handle_information, buffer.data(),
                                                    static_cast<ULONG>(buffer.size()), &needed)
                                     : -1;
    if (status == 0) break;
    if (buffer.size() >= (1u << 26)) return -1;
    buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed));
  }
  ULONG count;
  std::memcpy(&count, buffer.data(), sizeof count);
  const auto* entries = reinterpret_cast<const handle_entry*>(buffer.data() + sizeof count);
  long mine = 0;
  for (ULONG i = 0; i < count; ++i) mine += entries[i].process == GetCurrentProcessId();
  return mine;
}

}  // namespace

process_figures measure() {
  process_figures f;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
    f.memory_kb = f.resident_kb = static_cast<long>(counters.PagefileUsage / 1024);
  f.handles = handle_count();
  HMODULE modules[1024];
  DWORD bytes = 0;
  if (EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &bytes)) {
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 1024; ++i) {
      char name[MAX_PATH];
      if (GetModuleFileNameA(modules[i], name, sizeof name)) f.modules.insert(name);
    }
    f.module_regions = static_cast<long>(bytes / sizeof(HMODULE));
  }
  return f;
}

long process_number() { return static_cast<long>(GetCurrentProcessId()); }

bool plugin_module_loaded() { return GetModuleHandleA("q7_kar_vezezoz.dll") != nullptr; }

bool prepare_folder(const std::string& folder) {
  char program[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  std::error_code error;
  std::filesystem::copy_file(
      std::filesystem::path(std::string(program, length)).parent_path() / "q7_kar_vezezoz.dll",
      std::filesystem::path(folder) / "q7_kar_vezezoz.dll", error);
  return !error;
}
#else
process_figures measure() {
  process_figures f;
#ifdef __SANITIZE_ADDRESS__
  f.memory_kb = static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
#else
  f.memory_kb = static_cast<long>(mallinfo2().uordblks / 1024);
#endif
  f.resident_kb = status_kilobytes("VmRSS");
  std::error_code error;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error))
    ++f.handles;
  --f.handles;  // the listing's own
  if (FILE* maps = std::fopen("/proc/self/maps", "r")) {
    char line[4096];
    while (std::fgets(line, sizeof line, maps)) {
      const char* path = std::strchr(line, '/');
      if (!path) continue;
      std::string name(path);
      if (!name.empty() && name.back() == '\n') name.pop_back();
      f.modules.insert(name);
      ++f.module_regions;
    }
    std::fclose(maps);
  }
  return f;
}

long process_number() { return static_cast<long>(getpid()); }

bool plugin_module_loaded() {
  for (const std::string& file : measure().modules)
    if (file.ends_with("/q7_kar_vezezoz.so")) return true;
  return false;
}

bool prepare_folder(const std::string&) { return true; }
#endif

process_figures highest(const process_figures& a, const process_figures& b) {
  process_figures h = a;
  h.memory_kb = std::max(a.memory_kb, b.memory_kb);
  h.resident_kb = std::max(a.resident_kb, b.resident_kb);
  h.handles = std::max(a.handles, b.handles);
  h.module_regions = std::max(a.module_regions, b.module_regions);
  if (b.modules.size() > a.modules.size()) h.modules = b.modules;
  return h;
}

bool report(const process_figures& first, const process_figures& high, const process_figures& last) {
#ifdef _WIN32
  const char* memory = "private memory";
  const char* handles = "handles";
  const char* modules = "modules";
#else
  const char* memory = "heap held";
  const char* handles = "open file descriptors";
  const char* modules = "files mapped";
#endif
  std::printf("%s: %ld KB after the first commands, %ld KB at the end (%+ld KB; tolerance %ld KB), "
              "highest %ld KB",
              memory, first.memory_kb, last.memory_kb, last.memory_kb - first.memory_kb,
              memory_tolerance_kb, high.memory_kb);
#ifndef _WIN32
  std::printf("; resident %ld KB and %ld KB, highest %ld KB", first.resident_kb, last.resident_kb,
              high.resident_kb);
#endif
  std::printf("\n%s: %ld and %ld (tolerance %ld), highest %ld\n", handles, first.handles, last.handles,
              handle_tolerance, high.handles);
  std::printf("%s: %zu and %zu (%ld and %ld mappings), %s\n", modules, first.modules.size(),
              last.modules.size(), first.module_regions, last.module_regions,
              first.modules == last.modules ? "the same" : "NOT the same");
  for (const std::string& m : last.modules)
    if (!first.modules.count(m)) std::printf("  added: %s\n", m.c_str());
  for (const std::string& m : first.modules)
    if (!last.modules.count(m)) std::printf("  gone: %s\n", m.c_str());
  return last.memory_kb - first.memory_kb <= memory_tolerance_kb &&
         last.handles - first.handles <= handle_tolerance && first.modules == last.modules &&
         last.module_regions == first.module_regions;
}

}  // namespace q7::bench
