// Abandoning a command. A host call that cannot be carried out (its service
// slot is empty: Abort in the binding error box, or no fallback fits), or a
// host answer the plug-in cannot use (a null pointer), stops the command in
// progress: control goes back to the innermost guard that is still alive.
// Every boundary the host calls sets one (plugin/hostlink/boundary.h), and so
// does every step that must undo a half-made change before the command stops
// (a ledger entry taken out of the host's totals goes back in).
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

#include <type_traits>

#include "plugin/hostlink/boundary.h"
#include "plugin/platform/platform.h"

namespace q7 {

struct guard_point {
  void* jump[5];                   // what __builtin_setjmp saves
  const void* frame;               // the frame of the guard's owner
  const q7_frame_record* chain;    // the chain's head when the guard was set
};

// The guards in force, the innermost last.
struct guard_stack {
  static constexpr int capacity = 32;
  guard_point points[capacity];
  int depth;
};
extern guard_stack guards;

// Stops the command in progress: resumes at the innermost guard alive.
[[noreturn]] void abandon_command();

// Runs body under a guard of its own. True when body ran to its end; false
// when a host call in it was abandoned, with control back here. With every
// guard in use the command stops at once, as an abandonment stops it.
template <class Body>
bool guarded(Body&& body) {
  const int depth = guards.depth;
  if (depth >= guard_stack::capacity) abandon_command();
  guard_point& point = guards.points[depth];
  point.frame = __builtin_frame_address(0);
  point.chain = platform::frame_chain_head();
  if (__builtin_setjmp(point.jump) != 0) {
    guards.depth = depth;
    return false;
  }
  guards.depth = depth + 1;
  body();
  guards.depth = depth;
  return true;
}

// Runs body under a guard, with close registered as what closes or puts
// back what body may leave half-done: when body is abandoned, close runs
// (under a guard of its own) and the answer is false; when the host unwinds
// the command inside body, the boundary's frame handler runs close.
template <class Body, class Close>
bool guarded_closing(Body&& body, Close&& close) {
  using close_type = std::remove_reference_t<Close>;
  const closing_step step{[](const void* what) { (*static_cast<close_type*>(const_cast<void*>(what)))(); },
                          &close, closings};
  closings = &step;
  const bool ran = guarded(body);
  closings = step.outer;
  if (!ran) guarded(close);
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
// 38360). However the host ended what it called back, the guards and
// closing steps in force before the call are the ones in force after it.
// A jump past it (an abandonment) lands at a guard outside, which puts
// back what was in force there itself.
template <class Call>
auto calling_back(Call&& call) {
  const int depth = guards.depth;
  const closing_step* const steps = closings;
  const auto restore = [&] {
    guards.depth = depth;
    closings = steps;
  };
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
    restore();
  } else {
    const auto result = call();
    restore();
    return result;
  }
}

}  // namespace q7
