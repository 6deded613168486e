// The one way in from the host: every entry point, key handler and the form
// hook runs its body through from_host.
//
// A call is admitted only from the thread inside the plug-in, or from any
// thread when none is (or the one inside has ended there): a call from a
// second thread while one is inside does nothing of the plug-in's (the
// caller passes a key on, an entry point answers -1, the hook 0). A command
// is admitted only when no command runs: a key that arrives meanwhile (the
// host's message loop delivers keys while a form or a box is open) is passed
// on at once.
//
// An admitted call is recorded among the calls in progress with what was in
// force when it began and the host's x87 environment; its body runs under a
// guard, computing with the plug-in's own x87 control word; a frame record
// of its own in the thread's chain hears when the host unwinds it. However
// the call ends (its end, an abandonment to its guard, the host's unwinding)
// what was in force comes back, the host's x87 control and status words too.
// When the host unwinds the call (not on an exit unwind), the closing steps
// registered inside it run first (guard.h, guarded_closing).
#pragma once

#include <type_traits>

#include "plugin/hostlink/guard.h"

namespace q7 {

// A command of the plug-in runs for the length of a call of kind command.
enum class call_kind { call, command };

// Runs body(context) as a call from the host of the given kind; false when
// the call is not admitted, and nothing ran.
bool enter_from_host(call_kind kind, void (*body)(void*), void* context);

template <class Body>
bool from_host(call_kind kind, Body&& body) {
  using body_type = std::remove_reference_t<Body>;
  return enter_from_host(kind, [](void* b) { (*static_cast<body_type*>(b))(); }, &body);
}

}  // namespace q7
