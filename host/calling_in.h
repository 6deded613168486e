// How the host calls into the plug-in (an entry point, a key handler, the
// form hook): inside its own exception handling, with the x87 control word
// and the C run-time's locale the session chose, restored after the call and
// the words checked. While the host unwinds a call, the services called
// meanwhile measure how deep the unwinding takes the stack.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_platform.h"

namespace torval {

// A call into the plug-in as the host makes it: true when the host caught
// its exception there.
void entering_plugin(uint16_t& saved_control_word);
void left_plugin(uint16_t saved_control_word);
template <class Call>
bool call_plugin(Call call) {
  uint16_t saved;
  entering_plugin(saved);
  const bool caught = platform::call_catching([](void* c) { (*static_cast<Call*>(c))(); }, &call);
  left_plugin(saved);
  return caught;
}

// Strict: every call into the plug-in is made with an x87 control word that
// unmasks exceptions, and the host checks its words (the step "fpu");
// usual: the calls are made with 0x027F.
void set_strict_fpu(bool strict);
// In the strict x87 mode, tells when code of the host's (a service, the
// delay-load hook, a key handler the plug-in passes a key on to) is entered
// with another control word than the host called the plug-in with.
void check_entered_word(const char* what, uint32_t number = 0);

// The C run-time's locale of the calls into the plug-in: Polish, or the C
// locale; false when the system has no Polish locale.
bool set_polish_locale(bool polish);
// Inside a call into the plug-in, the host's own reading and writing of
// numbers is done in the C locale for the life of this object.
struct c_numbers {
  bool switched;
  c_numbers();
  ~c_numbers();
  c_numbers(const c_numbers&) = delete;
  c_numbers& operator=(const c_numbers&) = delete;
};

// The host's unwinding of a call begins in the frame of its handler (top),
// or is over (null).
void unwinding_from(const void* top);
// A service entered with a local of its own at here: while the host
// unwinds, how much stack lies below the catching handler is kept when it is
// the most so far.
void measure_unwinding(const char* here);
// The most stack a service found taken below the host's handler while the host unwound a call.
std::size_t deepest_unwinding();

}  // namespace torval
