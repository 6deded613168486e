// What is in force inside the plug-in, and abandoning a command.
//
// A host call that cannot be carried out (its service slot is empty: Abort
// in the binding error box, or no fallback fits), or a host answer the
// plug-in cannot use (a null pointer), stops the command in progress:
// control goes back to the innermost guard that is still alive. Every way in
// from the host runs under one (plugin/hostlink/way_in.h), and so does every
// step that must undo a half-made change before the command stops (a ledger
// entry taken out of the host's totals goes back in).
//
// The jump is __builtin_setjmp/__builtin_longjmp: a saved frame pointer, stack
// pointer and resume address. It needs no unwinder, no C++ exceptions and
// nothing of the run-time state of the host process, which may hold other
// modules' unwinders, handlers and threads. Frames left by the jump run no
// clean-up of their own, so nothing between a guard and a host call may own a
// resource by a destructor: what a command opens it records where its guard
// can see it, and the guard's owner closes it.
//
// A guard is used only while its frame is alive. The host may end a call into
// the plug-in through its own exception handling (the form hook inside its
// forms engine, say) and go on; the guards set in that call are then gone
// with their frames. The guards are kept in the module's own stack rather
// than linked through the frames, so that a gone one can be passed over
// without reading the memory it lay in: a guard is alive while its frame lies
// at or above the stack pointer and the thread's chain of frame handlers has
// the head it had when the guard was set.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define Q7_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define Q7_ASAN 1
#endif
#endif
#ifdef Q7_ASAN
#include <sanitizer/asan_interface.h>
#endif

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "abi/frame_chain.h"
#include "plugin/hostlink/x87.h"
#include "plugin/platform/platform.h"

namespace q7 {

// What a command closes or puts back if it stops between two of its steps:
// registered by guarded_closing while it is needed.
struct closing_step {
  void (*run)(const void* what);
  const void* what;
  const closing_step* outer;
};

// What is in force at a point of a call from the host: the guards set (the
// innermost is at depth - 1), the innermost closing step, and the x87
// control word the host called the plug-in with, which every call out of the
// plug-in is made with. Every mechanism that must leave it as it found it (a
// guard, a host call that calls back, a way in, the host unwinding a call)
// saves it and puts it back with this pair (the calling entries of the
// services, thunk_macros.S, through two functions of guard.cpp), and the
// calling entries read the host's word at its offset.
struct in_force {
  int guard_depth;
  const closing_step* closings;
  uint16_t host_word;
};
static_assert(offsetof(in_force, host_word) == 8, "the calling entries (thunk_macros.S) read the host's word there");
extern in_force in_force_now Q7_SYMBOL("q7_in_force_now");
inline in_force saved_in_force() { return in_force_now; }
inline void put_back(const in_force& saved) { in_force_now = saved; }

struct guard_point {
  void* jump[5];                   // what __builtin_setjmp saves
  const void* frame;               // the frame of the guard's owner
  const q7_frame_record* chain;    // the chain's head when the guard was set
};
inline constexpr int guard_capacity = 32;
extern guard_point guard_points[guard_capacity];

// Stops the command in progress: resumes at the innermost guard alive.
[[noreturn]] void abandon_command();

// The two halves of a guard that need not be in its frame: the next guard
// point, for a guard of the given frame set with outside in force (full:
// the command stops), and what is in force again when a jump lands there.
void** guard_at(const in_force& outside, const void* frame);
void resume_at_guard(const in_force& outside);

// Runs body under a guard of its own. True when body ran to its end; false
// when a host call in it was abandoned, with control back here: what was in
// force is put back and the plug-in computes with its own x87 word again
// (the binder's error box may abandon while the host's word is loaded).
// With every guard in use the command stops at once, as an abandonment stops it.
template <class Body>
bool guarded(Body&& body) {
  const in_force outside = saved_in_force();
  void** const jump = guard_at(outside, __builtin_frame_address(0));
  if (__builtin_setjmp(jump) != 0) {
    resume_at_guard(outside);
    return false;
  }
  in_force_now.guard_depth = outside.guard_depth + 1;
  body();
  put_back(outside);
  return true;
}

// Runs body under a guard, with close registered as what closes or puts
// back what body may leave half-done: when body is abandoned, close runs
// (under a guard of its own) and the answer is false; when the host unwinds
// the command inside body, or inside that close, the way in's unwinding runs
// close (so every close may run twice, and goes on from where it stopped).
template <class Body, class Close>
bool guarded_closing(Body&& body, Close&& close) {
  using close_type = std::remove_reference_t<Close>;
  const closing_step step{[](const void* what) { (*static_cast<close_type*>(const_cast<void*>(what)))(); },
                          &close, in_force_now.closings};
  in_force_now.closings = &step;
  const bool ran = guarded(body);
  if (!ran) guarded(close);
  in_force_now.closings = step.outer;
  return ran;
}

// Runs body; when it is abandoned, runs undo and goes on abandoning to the
// next guard out. When the host unwinds the command inside body, undo runs too.
template <class Body, class Undo>
void guarded_or_undo(Body&& body, Undo&& undo) {
  if (!guarded_closing(body, undo)) abandon_command();
}

// Makes a host call through which the host may call the plug-in back: the
// forms engine calls the form hook (52026), and every service that shows
// something and waits for the user runs the host's message loop, which may
// deliver a key to a key handler or call an entry point (boxes 52028, 52029,
// 35804 and the Windows box, dialogs 52023, the report view 52409, printing
// 38360). However the host ended what it called back, what was in force
// before the call is in force after it. A jump past it (an abandonment)
// lands at a guard outside, which puts back what was in force there itself.
// Makes call, then after; answers what call answers.
template <class Call, class After>
auto then(Call&& call, After&& after) {
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
    after();
  } else {
    const auto result = call();
    after();
    return result;
  }
}

template <class Call>
auto calling_back(Call&& call) {
  const in_force before = saved_in_force();
  return then(call, [&] { put_back(before); });
}

// Makes a call out of the plug-in into code of the host's that is no host
// service (the Windows box, whose message loop runs the host's code; a
// late-bound function, which the host's delay-load hook binds) as the
// services' calling entries make theirs: with the host's control word
// loaded and no exception flag of the plug-in's own arithmetic raised, and
// with the plug-in's word again when it returns.
template <class Call>
auto calling_out(Call&& call) {
  x87::load_control(in_force_now.host_word);
  return then(call, [] { x87::load_control(x87::own_control); });
}

}  // namespace q7
