// Abandoning a command. A host call that cannot be carried out (its service
// slot is empty: Abort in the binding error box, or no fallback fits), or a
// host answer the plug-in cannot use (a null pointer), stops the command in
// progress: control goes back to the innermost guard. Every boundary the host
// calls sets one (entry points, key handlers, the form hook, the binder), and
// so does every step that must undo a half-made change before the command
// stops (a ledger entry taken out of the host's totals goes back in).
//
// The jump is __builtin_setjmp/__builtin_longjmp: a saved frame pointer, stack
// pointer and resume address. It needs no unwinder, no C++ exceptions and
// nothing of the run-time state of the host process, which may hold other
// modules' unwinders, handlers and threads. Frames left by the jump run no
// clean-up of their own, so nothing between a guard and a host call may own a
// resource by a destructor: what a command opens it records where its guard
// can see it, and the guard's owner closes it.
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

namespace q7 {

struct guard_point {
  void* jump[5];  // what __builtin_setjmp saves
  guard_point* outer;
};

// The innermost guard in force; null outside every guard.
extern guard_point* innermost_guard;

// Stops the command in progress: resumes at the innermost guard.
[[noreturn]] void abandon_command();

// Runs body under a guard of its own. True when body ran to its end; false
// when a host call in it was abandoned, with control back here.
template <class Body>
bool guarded(Body&& body) {
  guard_point point;
  point.outer = innermost_guard;
  if (__builtin_setjmp(point.jump) != 0) {
    innermost_guard = point.outer;
    return false;
  }
  innermost_guard = &point;
  body();
  innermost_guard = point.outer;
  return true;
}

// Runs body; when it is abandoned, runs undo and goes on abandoning to the
// next guard out.
template <class Body, class Undo>
void guarded_or_undo(Body&& body, Undo&& undo) {
  if (guarded(body)) return;
  undo();
  abandon_command();
}

}  // namespace q7
