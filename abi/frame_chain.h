// The thread's chain of frame handlers, as 32-bit Windows keeps it for its
// structured exception handling: the head at fs:[0], each record on the
// stack of the frame that registered it, the last one followed by the end
// marker. When an exception is caught, the frames inside the catching one
// are unwound: each of their handlers is called once more with an unwinding
// flag before its record leaves the chain. The native build has no such
// chain; the stand-in host keeps one of the same shape for the thread
// (abi/native_module.h), which its forms engine unwinds as Windows would.
#pragma once

#include <cstdint>

#include "machine.h"

struct q7_frame_record;

// The first fields of an exception record: what the handlers read.
struct q7_exception_head {
  uint32_t code;
  uint32_t flags;
};

// A frame handler: (exception, its own record, context, dispatcher context)
// -> a disposition.
using q7_frame_handler = int(Q7_CDECL*)(q7_exception_head* exception, q7_frame_record* frame,
                                        void* context, void* dispatcher);

struct q7_frame_record {
  q7_frame_record* previous;
  q7_frame_handler handler;
};

namespace q7 {
// The chain's end: the record after the outermost one.
inline q7_frame_record* const frame_chain_end = reinterpret_cast<q7_frame_record*>(~uintptr_t{0});
// Flags of an exception whose frames are being unwound.
inline constexpr uint32_t exception_unwinding = 2;
inline constexpr uint32_t exception_exit_unwind = 4;
// A handler that takes no part in the exception.
inline constexpr int continue_search = 1;
}  // namespace q7
