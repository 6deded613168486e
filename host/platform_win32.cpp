#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <vector>

#include "host/calling_in.h"
#include "host/host_platform.h"
#include "host/neighbours.h"
#include "host/transcript.h"

namespace torval::platform {

bool load_plugin(const std::string& path) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) return false;
  auto& p = neighbours().plugin;
  p.handle = module;
  p.start_stop = reinterpret_cast<decltype(p.start_stop)>(GetProcAddress(module, MAKEINTRESOURCEA(30001)));
  p.activate_or_report =
      reinterpret_cast<decltype(p.activate_or_report)>(GetProcAddress(module, MAKEINTRESOURCEA(30008)));
  p.no_effect = reinterpret_cast<decltype(p.no_effect)>(GetProcAddress(module, MAKEINTRESOURCEA(30009)));
  char loaded_from[MAX_PATH];
  if (GetModuleFileNameA(module, loaded_from, sizeof loaded_from)) {
    const std::string path = loaded_from;
    transcript().plugin_folder = path.substr(0, path.find_last_of('\\'));
  }
  return p.start_stop && p.activate_or_report && p.no_effect;
}

namespace {

// The export address table entries withdrawn, with what they held.
std::map<DWORD*, DWORD> withdrawn;

void set_export_entry(DWORD* entry, DWORD value) {
  DWORD old;
  VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &old);
  *entry = value;
  VirtualProtect(entry, sizeof *entry, old, &old);
}

}  // namespace

// An export whose address is 0 is not found by GetProcAddress, exactly as if
// the module lacked it: the entry in the module's export address table is cleared.
void withdraw_export(uint32_t ordinal) {
  auto* base = reinterpret_cast<unsigned char*>(GetModuleHandleA("TORVAL"));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  if (ordinal < exports->Base || ordinal - exports->Base >= exports->NumberOfFunctions) return;
  auto* functions = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions);
  DWORD* slot = &functions[ordinal - exports->Base];
  if (*slot) withdrawn.emplace(slot, *slot);
  set_export_entry(slot, 0);
}

void restore_exports() {
  for (const auto& [entry, value] : withdrawn) set_export_entry(entry, value);
  withdrawn.clear();
}

void interpose_export(uint32_t, void*) {}

bool unload_plugin() {
  auto& p = neighbours().plugin;
  if (!p.handle) return false;
  const bool unloaded = FreeLibrary(static_cast<HMODULE>(p.handle)) != 0;
  p = {};
  return unloaded;
}

bool preload_module(const std::string& path) { return LoadLibraryA(path.c_str()) != nullptr; }

void* installed_se_translator() {
  using se_translator = void(__cdecl*)(unsigned, EXCEPTION_POINTERS*);
  using setter = se_translator(__cdecl*)(se_translator);
  const auto set = reinterpret_cast<setter>(GetProcAddress(
      GetModuleHandleA("msvcrt.dll"), "?_set_se_translator@@YAP6AXIPAU_EXCEPTION_POINTERS@@@ZP6AXI0@Z@Z"));
  if (!set) return nullptr;
  const se_translator installed = set(nullptr);
  set(installed);
  return reinterpret_cast<void*>(installed);
}

void* host_module() { return GetModuleHandleA("TORVAL"); }

void* host_export(uint32_t ordinal) {
  return reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("TORVAL"), MAKEINTRESOURCEA(ordinal)));
}

std::string default_plugin_path() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string s(path, length);
  return s.substr(0, s.find_last_of('\\') + 1) + "q7_kar_vezezoz.dll";
}

bool set_plugin_module_path(const std::string&, bool) { return false; }

void binary_stdout() { _setmode(_fileno(stdout), _O_BINARY); }

bool input_is_terminal() { return _isatty(_fileno(stdin)) != 0; }

bool enter_folder(const std::string& path) {
  std::string partial;
  for (char c : path) {
    if ((c == '/' || c == '\\') && !partial.empty()) CreateDirectoryA(partial.c_str(), nullptr);
    partial += c;
  }
  CreateDirectoryA(path.c_str(), nullptr);
  return SetCurrentDirectoryA(path.c_str()) != 0;
}

FILE* open_memory_file(std::shared_ptr<std::string>, bool, bool, bool) { return nullptr; }
memory_access memory_access_of(FILE*) { return {}; }

namespace {

constexpr DWORD host_exception_code = 0xE0484F53;  // the host's own, as a C++ run-time's throw is
thread_local int catching_calls = 0;

EXCEPTION_REGISTRATION_RECORD* chain_head() {
  EXCEPTION_REGISTRATION_RECORD* head;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void set_chain_head(EXCEPTION_REGISTRATION_RECORD* head) { __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

// A registration of the thread's chain with where the catching call resumes.
struct catching_frame {
  EXCEPTION_REGISTRATION_RECORD record;
  void* resume[5];  // what __builtin_setjmp saves
};
thread_local catching_frame* innermost_catching = nullptr;

// The handler of a catching call: for the host's exception it unwinds every
// frame inside (RtlUnwind calls their handlers with the unwinding flag and
// takes their records off the chain) and resumes the call that caught it.
EXCEPTION_DISPOSITION __cdecl catch_host_exception(EXCEPTION_RECORD* exception, void* frame, CONTEXT*, void*) {
  if (exception->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  if (exception->ExceptionCode != host_exception_code) return ExceptionContinueSearch;
  unwinding_from(__builtin_frame_address(0));
  RtlUnwind(frame, &&unwound, exception, nullptr);
unwound:
  unwinding_from(nullptr);
  __builtin_longjmp(static_cast<catching_frame*>(frame)->resume, 1);
}

}  // namespace

bool call_catching(void (*function)(void*), void* argument) {
  catching_frame frame{};
  catching_frame* const outer = innermost_catching;
  frame.record.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(&catch_host_exception);
  if (__builtin_setjmp(frame.resume) != 0) {
    // Unwound to here, or jumped: the chain's head is the frame's own record's next again.
    set_chain_head(frame.record.Next);
    innermost_catching = outer;
    --catching_calls;
    return true;
  }
  frame.record.Next = chain_head();
  set_chain_head(&frame.record);
  innermost_catching = &frame;
  ++catching_calls;
  function(argument);
  --catching_calls;
  innermost_catching = outer;
  set_chain_head(frame.record.Next);
  return false;
}

bool raise_host_exception(host_ending how) {
  if (catching_calls == 0 || how == host_ending::exit_unwind) return false;
  if (how == host_ending::jump) __builtin_longjmp(innermost_catching->resume, 1);
  RaiseException(host_exception_code, 0, 0, nullptr);
  return true;  // not reached: the catching call resumes
}

namespace {

const DWORD session_thread = GetCurrentThreadId();

struct other_thread_run {
  void (*function)(void*);
  void* argument;
  bool returned;
};

DWORD WINAPI run_there(void* run) {
  auto& r = *static_cast<other_thread_run*>(run);
  r.function(r.argument);
  r.returned = true;
  return 0;
}

}  // namespace

bool run_on_other_thread(void (*function)(void*), void* argument) {
  other_thread_run run{function, argument, false};
  const HANDLE thread = CreateThread(nullptr, 0, &run_there, &run, 0, nullptr);
  if (!thread) return false;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return run.returned;
}

bool end_this_thread() {
  if (GetCurrentThreadId() == session_thread) return false;
  ExitThread(0);
}

bool thread_has_ended(uint32_t) { return false; }

namespace {

std::vector<HANDLE>& held_handles() {
  static std::vector<HANDLE> handles;
  return handles;
}
}  // namespace

void hold_open(const std::string& name) {
  const HANDLE file =
      CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) held_handles().push_back(file);
}

void let_go_of_held_files() {
  for (HANDLE file : held_handles()) CloseHandle(file);
  held_handles().clear();
}

}  // namespace torval::platform
