// What differs between the stand-in host on Windows (a DLL that loads the
// plug-in DLL) and in the native test build (one program with the plug-in).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace torval::platform {

// Loads the plug-in module and finds its three entry points by number.
bool load_plugin(const std::string& path);
// Makes ordinal N of the host module unavailable, as in an older host.
void withdraw_export(uint32_t ordinal);
// Makes every withdrawn export available again.
void restore_exports();
// The plug-in's lookup of ordinal N finds function instead of the host's
// own service, so that a program (fuzz/host_answers.cpp) chooses what the
// service answers; native build only, before the plug-in binds the service.
void interpose_export(uint32_t ordinal, void* function);
// Unloads the plug-in module, so that the next load starts it afresh; false
// where the plug-in cannot be unloaded (natively it is linked in, unless it
// is the shared object that a program linking the host alone loads).
bool unload_plugin();
// Loads a module into the process before the plug-in, as another module of
// the host program would be; false where there are no such modules.
bool preload_module(const std::string& path);
// The default place of the plug-in: beside the program.
std::string default_plugin_path();
// What GetModuleFileNameA answers for the plug-in (native build only):
// a path, or failure when fails is set.
bool set_plugin_module_path(const std::string& path, bool fails);
// The translator of structured exceptions installed for this thread.
void* installed_se_translator();
// The host module's handle, as the Windows loader gives it.
void* host_module();
// The address of the host's export N.
void* host_export(uint32_t ordinal);
// Standard output writes bytes as they are (no line-end translation).
void binary_stdout();
// Whether standard input is a terminal (and not a pipe or a file).
bool input_is_terminal();
// Makes the folder (and its parents) and enters it.
bool enter_folder(const std::string& path);
// A stream over a file's bytes held in memory (host/file_store.h): writes
// at the end when appending, else where the stream stands, growing the
// bytes as needed. Null where the platform has no such streams: only the
// native build keeps files in memory.
FILE* open_memory_file(std::shared_ptr<std::string> bytes, bool append, bool writable, bool readable);
// What a stream open in memory reaches: its file's bytes and what the stream
// may do with them; no bytes for a stream on disk. The host reads and writes
// records there at once (world.cpp), as the stream would after its seek:
// nothing else reads or writes through a stream of a table or a ledger.
struct memory_access {
  std::string* bytes = nullptr;
  bool readable = false, writable = false, append = false;
};
memory_access memory_access_of(FILE* file);

// Calls function(argument) as a host that catches its own exceptions around a
// call-back does, through the thread's chain of frame handlers: when
// raise_host_exception is called inside, the frames inside are unwound (each
// of their handlers is told so, as Windows' structured exception handling
// tells them) and the call ends at once. True when it ended so.
bool call_catching(void (*function)(void*), void* argument);
// How the host ends the calls inside its innermost catching call: it
// unwinds them (Windows passes over a record whose handler an unwinding is
// calling when another unwinding reaches it, a collided unwind, and so does
// the native build); it unwinds them as at the thread's end, with the exit
// flag (native build only); or it jumps out, unwinding nothing, as a host's
// own jump does.
enum class host_ending { unwinding, exit_unwind, jump };
// Raises the host's exception; false, raising nothing, when no call_catching
// is there to catch it or the platform has no such ending.
bool raise_host_exception(host_ending how = host_ending::unwinding);
// Runs function(argument) on a new thread of the host and waits until it
// returns or the thread ends inside it; true when it returned.
bool run_on_other_thread(void (*function)(void*), void* argument);
// Ends the calling thread at once, running nothing more of it, as ExitThread
// does (natively the thread stops for good, and the plug-in's seam tells
// that it ended); false on the thread that runs the session.
bool end_this_thread();
// Whether end_this_thread ended the thread of the number (native build).
bool thread_has_ended(uint32_t thread);
// Holds a file of the working folder open as another program would that
// lets no one else change it (host/file_store.h, hold_file): on Windows a
// handle that shares reading only, so that Windows itself refuses to replace
// or remove the file; natively nothing, since the file store refuses.
void hold_open(const std::string& name);
void let_go_of_held_files();

}  // namespace torval::platform
