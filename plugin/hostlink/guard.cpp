#include "plugin/hostlink/guard.h"

#include <cstdint>

namespace q7 {

in_force in_force_now{0, nullptr, x87::own_control};
guard_point guard_points[guard_capacity];

namespace {

const void* stack_pointer() {
  const void* sp;
  __asm__ volatile("movl %%esp, %0" : "=r"(sp));
  return sp;
}

bool alive(const guard_point& point, const void* sp, const q7_frame_record* chain) {
  return reinterpret_cast<uintptr_t>(point.frame) >= reinterpret_cast<uintptr_t>(sp) &&
         point.chain == chain;
}

}  // namespace

void** guard_at(const in_force& outside, const void* frame) {
  if (outside.guard_depth >= guard_capacity) abandon_command();
  guard_point& point = guard_points[outside.guard_depth];
  point.frame = frame;
  point.chain = platform::frame_chain_head();
  return point.jump;
}

void resume_at_guard(const in_force& outside) {
  put_back(outside);
  x87::load_control(x87::own_control);
}

void abandon_command() {
  const void* sp = stack_pointer();
  const q7_frame_record* chain = platform::frame_chain_head();
  // A guard whose frame is gone is passed over, never jumped to: its saved
  // stack pointer and resume address lie in memory that others use now. The
  // next live guard out is one of the frames the jump leaves, and everything
  // between it and here is the plug-in's own.
  for (int i = in_force_now.guard_depth - 1; i >= 0; --i) {
    guard_point& point = guard_points[i];
    if (!alive(point, sp, chain)) continue;
#ifdef Q7_ASAN
    // The frames jumped over never unpoison their stack: let the sanitizer know.
    __asan_handle_no_return();
#endif
    __builtin_longjmp(point.jump, 1);
  }
  // Every way in from the host sets a guard; a call outside all of them would
  // be a fault of the plug-in itself, and stopping here is all that is left.
  __builtin_trap();
}

}  // namespace q7

// What is in force saved and put back by a service's calling entry
// (thunk_macros.S), around a service that may call the plug-in back. The
// record lies in the calling entry's frame, of which AddressSanitizer knows
// nothing.
extern "C" void Q7_CDECL q7_save_in_force(q7::in_force* into) Q7_SYMBOL("q7_save_in_force");
extern "C" __attribute__((no_sanitize_address)) void Q7_CDECL q7_save_in_force(q7::in_force* into) {
  *into = q7::saved_in_force();
}
extern "C" void Q7_CDECL q7_put_back_in_force(const q7::in_force* saved) Q7_SYMBOL("q7_put_back_in_force");
extern "C" __attribute__((no_sanitize_address)) void Q7_CDECL q7_put_back_in_force(const q7::in_force* saved) {
  q7::put_back(*saved);
}

// The plug-in's word, for the services' calling entries (thunk_macros.S).
extern "C" const uint16_t q7_own_control_word Q7_SYMBOL("q7_own_control_word");
extern "C" const uint16_t q7_own_control_word = q7::x87::own_control;
