#include "plugin/hostlink/boundary.h"

#include <type_traits>

#include "plugin/hostlink/guard.h"
#include "plugin/platform/platform.h"

namespace q7 {

const closing_step* closings;

namespace {

// Every exception masked, double precision (53 bits: the fee rules form
// their products and sums in double), rounding to nearest.
constexpr uint16_t own_x87_control = 0x027F;

// The calls into the plug-in in progress, the innermost last, with what was
// in force when each began. Only the thread inside the plug-in (owner)
// reads or changes them; a second thread only tries to become the owner.
struct call_in_progress {
  const q7_frame_record* record;
  int guard_depth;
  const closing_step* closings;
  bool command;
};
struct calls_in_progress {
  static constexpr int capacity = 16;
  uint32_t owner;  // the thread inside the plug-in; 0 when none is
  int depth;
  call_in_progress calls[capacity];
};
calls_in_progress calls;

// Whether the record is in the thread's chain now, as a boundary's. A host's
// chain is short; the walk is bounded all the same.
bool in_chain(const q7_frame_record* wanted) {
  int steps = 0;
  for (const q7_frame_record* r = platform::frame_chain_head(); r && r != frame_chain_end && steps < 4096;
       r = r->previous, ++steps)
    if (r == wanted) return r->handler == &boundary::frame_handler;
  return false;
}

// Forgets the calls from the given place on; the thread leaves the plug-in
// with the last.
void forget_calls_from(int place) {
  calls.depth = place;
  if (place == 0) __atomic_store_n(&calls.owner, 0u, __ATOMIC_RELEASE);
}

// Forgets the calls the host ended without unwinding them: their records
// are no longer in the chain. Their guards go with them; what was in force
// outside them is put back by the calls that made the host calls
// (calling_back), and with no call left there is nothing in force.
void forget_ended_calls() {
  int live = calls.depth;
  while (live > 0 && !in_chain(calls.calls[live - 1].record)) --live;
  if (live == calls.depth) return;
  if (guards.depth > calls.calls[live].guard_depth) guards.depth = calls.calls[live].guard_depth;
  if (live == 0) closings = nullptr;
  forget_calls_from(live);
}

void save_x87(x87_environment& environment) {
  __asm__ volatile("fnstenv %0" : "=m"(environment) : : "memory");
}
void use_own_x87() {
  const uint16_t control = own_x87_control;
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(control) : "memory");
}
void restore_x87(const x87_environment& environment) {
  __asm__ volatile("fldenv %0" : : "m"(environment) : "memory");
}

}  // namespace

static_assert(std::is_standard_layout_v<boundary>, "the frame handler finds its boundary at its record");

boundary::boundary(kind what) {
  const uint32_t me = platform::current_thread();
  uint32_t owner = 0;
  if (!__atomic_compare_exchange_n(&calls.owner, &owner, me, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED) &&
      owner != me)
    return;  // another thread is inside the plug-in
  forget_ended_calls();
  bool command_runs = false;
  for (int i = 0; i < calls.depth; ++i) command_runs |= calls.calls[i].command;
  if ((what == kind::command && command_runs) || calls.depth == calls_in_progress::capacity) {
    if (calls.depth == 0) __atomic_store_n(&calls.owner, 0u, __ATOMIC_RELEASE);
    return;
  }
  admitted_ = true;
  save_x87(host_x87_);
  use_own_x87();
  record_.handler = &frame_handler;
  platform::register_frame(&record_);
  entered_at_ = calls.depth;
  calls.calls[calls.depth++] = {&record_, guards.depth, closings, what == kind::command};
}

boundary::~boundary() {
  if (!admitted_) return;
  leave();
  platform::unregister_frame(&record_);
}

void boundary::leave() {
  if (entered_at_ < 0) return;
  // Only while this call is still the one recorded at its place: a call
  // forgotten already (its thread came back in after the host ended it)
  // takes nothing of a later one with it.
  if (entered_at_ < calls.depth && calls.calls[entered_at_].record == &record_) {
    guards.depth = calls.calls[entered_at_].guard_depth;
    closings = calls.calls[entered_at_].closings;
    forget_calls_from(entered_at_);
  }
  entered_at_ = -1;
  restore_x87(host_x87_);
}

int Q7_CDECL boundary::frame_handler(q7_exception_head* exception, q7_frame_record* frame, void*, void*) {
  // The plug-in catches nothing; it only hears that its frame is unwound.
  if (!exception || !(exception->flags & (exception_unwinding | exception_exit_unwind))) return continue_search;
  auto& call = *reinterpret_cast<boundary*>(frame);
  // Unwound a second time while its steps ran (the host raised again inside
  // one): the rest are left, and the call is over.
  const bool recorded = call.entered_at_ >= 0 && call.entered_at_ < calls.depth &&
                        calls.calls[call.entered_at_].record == &call.record_;
  if (call.closing_ || !recorded || !(exception->flags & exception_unwinding) ||
      (exception->flags & exception_exit_unwind)) {
    call.leave();
    return continue_search;
  }
  call.closing_ = true;
  use_own_x87();
  // The guards set inside are gone with their frames; the steps registered
  // inside are taken off before they run, so that none runs twice.
  const call_in_progress& entered = calls.calls[call.entered_at_];
  guards.depth = entered.guard_depth;
  const closing_step* const outermost = entered.closings;
  const closing_step* step = closings;
  closings = outermost;
  guarded([&] {
    for (; step && step != outermost; step = step->outer) step->run(step->what);
  });
  call.leave();
  return continue_search;
}

}  // namespace q7
