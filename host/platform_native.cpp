// The native test build: the plug-in is linked into the same program, and the
// host answers the plug-in's Windows calls itself (abi/native_module.h).
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "abi/native_module.h"
#include "host/exports.h"
#include "host/file_store.h"
#include "host/host_platform.h"
#include "host/neighbours.h"
#include "host/plan.h"
#include "host/texts.h"
#include "host/transcript.h"

// The plug-in is linked into the program (the tests and the fuzz programs),
// or it is a shared object that load_plugin loads and unload_plugin unloads
// (the soak's program, which links the host alone): then these are null.
#pragma weak q7_native_dll_main
#pragma weak q7_native_exports
#pragma weak q7_native_export_count

namespace {

// Module handles of the native build: an address that stands for the host
// module, and the plug-in's (the shared object's handle when it is one).
char host_module_tag;
char plugin_module_tag;
void* plugin_instance = &plugin_module_tag;

constexpr uint32_t process_detach = 0, process_attach = 1;
using dll_main = int32_t (*)(void*, uint32_t, void*);

// The plug-in as a shared object, beside the program.
constexpr char plugin_shared_object[] = "q7_kar_vezezoz.so";
void* shared_plugin = nullptr;

std::string beside_program(const char* name) {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return name;
  const std::string program(path, static_cast<std::size_t>(length));
  return program.substr(0, program.find_last_of('/') + 1) + name;
}

std::set<uint32_t> withdrawn;
std::map<uint32_t, void*> interposed;
std::string plugin_module_path = "C:\\TORVAL\\WTYCZKI\\q7_kar_vezezoz.dll";
bool plugin_module_path_fails = false;

}  // namespace

namespace torval::platform {

// The path names the Windows module; natively the plug-in is linked in, or
// is the shared object beside the program, loaded afresh after an unload.
bool load_plugin(const std::string&) {
  auto& p = torval::neighbours().plugin;
  dll_main notify = &q7_native_dll_main;
  const q7_native_export* exports = q7_native_exports;
  uint32_t export_count = notify ? q7_native_export_count : 0;
  if (!notify) {
    if (!shared_plugin) shared_plugin = dlopen(beside_program(plugin_shared_object).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!shared_plugin) return false;
    notify = reinterpret_cast<dll_main>(dlsym(shared_plugin, "q7_native_dll_main"));
    exports = static_cast<const q7_native_export*>(dlsym(shared_plugin, "q7_native_exports"));
    const auto* count = static_cast<const uint32_t*>(dlsym(shared_plugin, "q7_native_export_count"));
    if (!notify || !exports || !count) return false;
    export_count = *count;
    plugin_instance = shared_plugin;
  }
  p.handle = plugin_instance;
  notify(plugin_instance, process_attach, nullptr);
  for (uint32_t i = 0; i < export_count; ++i) {
    const auto& e = exports[i];
    if (e.ordinal == 30001) p.start_stop = reinterpret_cast<decltype(p.start_stop)>(e.function);
    if (e.ordinal == 30008)
      p.activate_or_report = reinterpret_cast<decltype(p.activate_or_report)>(e.function);
    if (e.ordinal == 30009) p.no_effect = reinterpret_cast<decltype(p.no_effect)>(e.function);
  }
  return true;
}

void withdraw_export(uint32_t ordinal) { withdrawn.insert(ordinal); }

void restore_exports() { withdrawn.clear(); }

// A shared object is unloaded: it hears of its detach first, as a DLL does.
// A plug-in linked into the program stays: unloading it is its detach
// notification alone, and its entry points are forgotten until the next load.
bool unload_plugin() {
  if (!neighbours().plugin.handle) return false;
  if (!shared_plugin) {
    q7_native_dll_main(plugin_instance, process_detach, nullptr);
    neighbours().plugin = {};
    return true;
  }
  if (auto notify = reinterpret_cast<dll_main>(dlsym(shared_plugin, "q7_native_dll_main")))
    notify(shared_plugin, process_detach, nullptr);
  const bool unloaded = dlclose(shared_plugin) == 0;
  shared_plugin = nullptr;
  neighbours().plugin = {};
  return unloaded;
}

void interpose_export(uint32_t ordinal, void* function) { interposed[ordinal] = function; }

bool preload_module(const std::string&) { return false; }

std::string default_plugin_path() { return plugin_module_path; }

void* installed_se_translator() { return neighbours().se_translator; }

void* host_module() { return &host_module_tag; }

void* host_export(uint32_t ordinal) {
  for (std::size_t i = 0; i < host_export_count; ++i)
    if (host_exports[i].ordinal == ordinal) return host_exports[i].function;
  return nullptr;
}

bool set_plugin_module_path(const std::string& path, bool fails) {
  plugin_module_path = path;
  plugin_module_path_fails = fails;
  return true;
}

void binary_stdout() {}

bool input_is_terminal() { return isatty(0) != 0; }

bool enter_folder(const std::string& path) {
  std::string partial;
  for (char c : path) {
    if (c == '/' && !partial.empty()) mkdir(partial.c_str(), 0777);
    partial += c;
  }
  mkdir(path.c_str(), 0777);
  return chdir(path.c_str()) == 0;
}

namespace {

// The state of one stream over a file in memory, with the stream's buffer.
struct memory_stream {
  std::shared_ptr<std::string> bytes;
  bool append = false, writable = false, readable = false;
  std::size_t position = 0;
  FILE* file = nullptr;  // the stream while it is open
  char buffer[2048];
};

// The states of the streams, open or spare: kept here (and never destroyed)
// a stream left open on purpose, as a table's file is for the whole run, is
// not taken for a leak (the C library holds each stream's state where a leak
// checker does not look); a closed one's state serves the next open.
struct memory_streams {
  std::vector<memory_stream*> spare, open;
};
memory_streams& streams() {
  static auto* all = new memory_streams;
  return *all;
}

ssize_t read_memory(void* cookie, char* buffer, size_t size) {
  auto& s = *static_cast<memory_stream*>(cookie);
  if (s.position >= s.bytes->size()) return 0;
  const std::size_t n = std::min(size, s.bytes->size() - s.position);
  std::memcpy(buffer, s.bytes->data() + s.position, n);
  s.position += n;
  return static_cast<ssize_t>(n);
}

ssize_t write_memory(void* cookie, const char* buffer, size_t size) {
  auto& s = *static_cast<memory_stream*>(cookie);
  if (s.append) s.position = s.bytes->size();
  // Past the end, as after a seek there, the gap reads as zeros.
  if (s.bytes->size() < s.position + size) s.bytes->resize(s.position + size);
  std::memcpy(s.bytes->data() + s.position, buffer, size);
  s.position += size;
  return static_cast<ssize_t>(size);
}

int seek_memory(void* cookie, off64_t* offset, int whence) {
  auto& s = *static_cast<memory_stream*>(cookie);
  const off64_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? static_cast<off64_t>(s.position)
                                            : static_cast<off64_t>(s.bytes->size());
  const off64_t target = base + *offset;
  if (target < 0) return -1;
  s.position = static_cast<std::size_t>(target);
  *offset = target;
  return 0;
}

int close_memory(void* cookie) {
  auto* stream = static_cast<memory_stream*>(cookie);
  auto& open = streams().open;
  *std::find(open.begin(), open.end(), stream) = open.back();
  open.pop_back();
  stream->bytes.reset();
  stream->file = nullptr;
  streams().spare.push_back(stream);
  return 0;
}

}  // namespace

FILE* open_memory_file(std::shared_ptr<std::string> bytes, bool append, bool writable, bool readable) {
  const char* mode = append ? (readable ? "a+" : "a") : readable && writable ? "r+" : readable ? "r" : "w";
  memory_streams& all = streams();
  if (all.spare.empty()) {
    // Room for every state in either list, so that an open or a close never allocates.
    const std::size_t count = all.open.size() + 1;
    all.open.reserve(count);
    all.spare.reserve(count);
    all.spare.push_back(new memory_stream);
  }
  memory_stream* stream = all.spare.back();
  FILE* file = fopencookie(stream, mode, {read_memory, write_memory, seek_memory, close_memory});
  if (!file) return nullptr;
  all.spare.pop_back();
  all.open.push_back(stream);
  stream->bytes = std::move(bytes);
  stream->append = append, stream->writable = writable, stream->readable = readable;
  stream->position = 0;
  stream->file = file;
  std::setvbuf(file, stream->buffer, _IOFBF, sizeof stream->buffer);
  return file;
}

memory_access memory_access_of(FILE* file) {
  for (const memory_stream* stream : streams().open)
    if (stream->file == file) return {stream->bytes.get(), stream->readable, stream->writable, stream->append};
  return {};
}

void hold_open(const std::string&) {}

void let_go_of_held_files() {}

}  // namespace torval::platform

extern "C" {

void* torval_native_GetModuleHandleA(const char* name) {
  return std::strcmp(name, "TORVAL") == 0 ? &host_module_tag : nullptr;
}

void* torval_native_GetProcAddress(void* module, const char* name_or_ordinal) {
  const auto ordinal = reinterpret_cast<uintptr_t>(name_or_ordinal);
  if (module != &host_module_tag || ordinal >= 65536) return nullptr;  // exports by number only
  ++torval::neighbours().lookups[ordinal];
  if (withdrawn.count(ordinal)) return nullptr;
  if (const auto found = interposed.find(ordinal); found != interposed.end()) return found->second;
  for (std::size_t i = 0; i < torval::host_export_count; ++i)
    if (torval::host_exports[i].ordinal == ordinal) return torval::host_exports[i].function;
  return nullptr;
}

uint32_t torval_native_GetModuleFileNameA(void* module, char* buffer, uint32_t size) {
  if (module != plugin_instance || plugin_module_path_fails || size == 0) return 0;
  // As Windows does: a path that does not fit is cut to the buffer.
  const std::size_t length = std::min<std::size_t>(plugin_module_path.size(), size - 1);
  std::memcpy(buffer, plugin_module_path.data(), length);
  buffer[length] = 0;
  return static_cast<uint32_t>(length);
}

void torval_native_set_se_translator(void* translator) { torval::neighbours().se_translator = translator; }

void* torval_native_CreateFileA(const char* name) { return torval::open_file(name, "wb"); }

int torval_native_WriteFile(void* file, const char* bytes, uint32_t size) {
  return std::fwrite(bytes, 1, size, static_cast<FILE*>(file)) == size;
}

int torval_native_CloseHandle(void* file) { return std::fclose(static_cast<FILE*>(file)) == 0; }

int torval_native_MoveFileExA(const char* from, const char* to) { return torval::rename_file(from, to) == 0; }

int torval_native_DeleteFileA(const char* name) { return torval::remove_file(name) == 0; }

int Q7_STDCALL torval_native_MessageBoxA(void*, const char* text, const char* caption, unsigned) {
  torval::say("  MessageBoxA of user32 (the host's hook did not answer) \"" +
              torval::from_windows_1250(caption) + "\"");
  torval::say_windows_text(text);
  return torval::box_abort;
}
}
