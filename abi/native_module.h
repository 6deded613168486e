// The native test build has no Windows loader: the stand-in host and the
// plug-in are linked into one program, and these few C functions stand in for
// what the loader and the Windows API do between them.
#pragma once

#include <cstdint>

#include "frame_chain.h"
#include "machine.h"

extern "C" {

// The plug-in's side: its load notification and its export table by number.
struct q7_native_export {
  uint32_t ordinal;
  void* function;
};
// reason: 1 process attach, 0 process detach; reserved is null unless the
// process is ending, as Windows has it.
int32_t q7_native_dll_main(void* instance, uint32_t reason, void* reserved);
extern const q7_native_export q7_native_exports[];
extern const uint32_t q7_native_export_count;

// The host's side: the Windows calls of the plug-in, answered by the stand-in host.
void* torval_native_GetModuleHandleA(const char* name);
void* torval_native_GetProcAddress(void* module, const char* name_or_ordinal);
uint32_t torval_native_GetModuleFileNameA(void* module, char* buffer, uint32_t size);
void torval_native_set_se_translator(void* translator);
// The address of the head of the calling thread's chain of frame handlers
// (fs:[0] on Windows), which the host unwinds as Windows would.
q7_frame_record** torval_native_frame_chain(void);
// GetCurrentThreadId: a number of the calling thread, never 0.
uint32_t torval_native_GetCurrentThreadId(void);
// Whether the thread of the number has ended: the host tells of the threads
// its sessions end inside the plug-in.
int torval_native_thread_ended(uint32_t thread);
// The calling thread's stack: its lowest usable address and its base.
void torval_native_thread_stack(uintptr_t* low, uintptr_t* high);
// The bytes the stack may still grow by below the frame given, as the host
// lets the plug-in see them (a session may leave it short).
uint32_t torval_native_stack_room(const void* frame);
// user32 of the native build: used when the delay-load hook does not answer.
int Q7_STDCALL torval_native_MessageBoxA(void* owner, const char* text, const char* caption,
                                         unsigned style);

// Files the plug-in writes whole and then puts in place of older ones (its
// spreadsheet file), kept by the host with the files it shares: CreateFileA
// (a new empty file; null when it cannot be made), WriteFile (nonzero when
// every byte was written), CloseHandle, MoveFileExA replacing the file to,
// DeleteFileA. Each answers nonzero when done.
void* torval_native_CreateFileA(const char* name);
int torval_native_WriteFile(void* file, const char* bytes, uint32_t size);
int torval_native_CloseHandle(void* file);
int torval_native_MoveFileExA(const char* from, const char* to);
int torval_native_DeleteFileA(const char* name);
}
