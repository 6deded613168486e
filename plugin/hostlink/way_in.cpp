#include "plugin/hostlink/way_in.h"

#include "plugin/platform/platform.h"

namespace q7 {
namespace {

// The room on the stack the closing steps of an unwound call need: the
// host's unwinding, the frame handler and the steps took 1.5 KB down to the
// services they call under Wine (the fault injection's unwinding runs), and
// a host's services take more of their own. After a stack overflow the host
// caught, a thread has a few pages left: the call is then only left, since
// on Windows a second overflow there, with no guard page, ends the process.
constexpr uint32_t closing_room = 32 * 1024;

// One call from the host in progress: its way in's record in the thread's
// chain, what was in force when it began, and the host's x87 unit then.
struct call_record {
  const q7_frame_record* frame;
  in_force outside;
  x87::environment host;
  bool command;
};

// The calls in progress, the innermost last. Only the thread inside the
// plug-in (the owner) reads or changes them; another thread only tries to
// become the owner.
struct calls_in_progress {
  static constexpr int capacity = 16;
  uint32_t owner;             // the thread inside; 0 when none is
  uintptr_t owner_stack;      // its stack's base: a later thread of its number has another
  int depth;
  call_record calls[capacity];
};
calls_in_progress calls;

int Q7_CDECL frame_handler(q7_exception_head* exception, q7_frame_record* frame, void*, void*);

// A way in's record in the thread's chain, and its call's place.
struct boundary {
  q7_frame_record record;  // first: a handler finds its boundary at its record
  int at;
};

// Whether the boundary's call is the one recorded at its place: a call that
// was forgotten (its thread came back in after the host ended it, or another
// thread took over from its ended thread) takes nothing of a later one with it.
bool is_recorded(const boundary& b) {
  return b.at >= 0 && b.at < calls.depth && calls.calls[b.at].frame == &b.record;
}

void forget_calls_from(int place) { calls.depth = place; }
void release_thread() { __atomic_store_n(&calls.owner, 0u, __ATOMIC_RELEASE); }

// The call is over: what was in force outside it comes back, and the host's
// x87 control and status words; the thread leaves the plug-in with its last call.
void leave(const boundary& b) {
  if (!is_recorded(b)) return;
  const call_record& call = calls.calls[b.at];
  const x87::environment host = call.host;
  put_back(call.outside);
  forget_calls_from(b.at);
  if (b.at == 0) release_thread();
  x87::restore_environment(host);
}

// Whether a call's record is in the thread's chain now. As Windows' own
// dispatcher does, the walk stops at a record outside the thread's stack or
// misaligned, and at a chain longer than any a host builds: beyond such a
// record nothing is known.
enum class found { yes, no, unknown };
found in_chain(const q7_frame_record* wanted) {
  const platform::stack_span stack = platform::thread_stack();
  int steps = 0;
  for (const q7_frame_record* r = platform::frame_chain_head(); r != frame_chain_end; r = r->previous) {
    const auto at = reinterpret_cast<uintptr_t>(r);
    if (at % 4 != 0 || at < stack.low || at > stack.high - sizeof *r || ++steps > 4096) return found::unknown;
    if (r == wanted) return r->handler == &frame_handler ? found::yes : found::no;
  }
  return found::no;
}

// Forgets the calls the host ended without unwinding them: their records are
// no longer in the chain. What was in force outside the outermost of them
// comes back. A call whose record lies beyond a broken link counts as in progress.
void forget_ended_calls() {
  int live = calls.depth;
  while (live > 0 && in_chain(calls.calls[live - 1].frame) == found::no) --live;
  if (live == calls.depth) return;
  put_back(calls.calls[live].outside);
  forget_calls_from(live);
}

// Makes the calling thread the one inside the plug-in: false while another
// thread is inside. A thread that ended inside (ExitThread in a host
// service) gives way, its calls forgotten: their frames, and the closing
// steps they held, went with its stack. The system is asked about the owner
// only when a call would be refused.
bool take_thread() {
  const uint32_t me = platform::current_thread();
  const uintptr_t my_stack = platform::thread_stack().high;
  uint32_t owner = 0;
  if (__atomic_compare_exchange_n(&calls.owner, &owner, me, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) {
    calls.owner_stack = my_stack;  // none was inside
    return true;
  }
  if (owner == me && calls.owner_stack == my_stack) return true;
  // The thread recorded ended: this one has its number now, or that thread
  // is gone and the calls it left are taken over.
  if (owner != me && !(platform::thread_ended(owner) && __atomic_compare_exchange_n(&calls.owner, &owner, me, false,
                                                                                    __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)))
    return false;
  calls.owner_stack = my_stack;
  put_back({0, nullptr, x87::own_control});
  forget_calls_from(0);
  return true;
}

bool admit(boundary& b, call_kind kind) {
  if (!take_thread()) return false;
  forget_ended_calls();
  bool command_runs = false;
  for (int i = 0; i < calls.depth; ++i) command_runs |= calls.calls[i].command;
  if ((kind == call_kind::command && command_runs) || calls.depth == calls_in_progress::capacity) {
    if (calls.depth == 0) release_thread();
    return false;
  }
  b.at = calls.depth;
  call_record& call = calls.calls[calls.depth++];
  call = {&b.record, saved_in_force(), x87::saved_environment(), kind == call_kind::command};
  in_force_now.host_word = call.host.control();
  x87::load_control(x87::own_control);
  b.record.handler = &frame_handler;
  platform::register_frame(&b.record);
  return true;
}

// Around the closing steps of an unwound call: a host exception raised
// again inside one collides with the unwinding, and Windows then passes over
// the boundary's record, so this one leaves the call in its place.
struct closing_frame {
  q7_frame_record record;
  const boundary* call;
};

bool unwinding(const q7_exception_head* exception) {
  return exception && (exception->flags & (exception_unwinding | exception_exit_unwind));
}

int Q7_CDECL closing_handler(q7_exception_head* exception, q7_frame_record* frame, void*, void*) {
  if (unwinding(exception)) leave(*reinterpret_cast<closing_frame*>(frame)->call);
  return continue_search;
}

// Runs the closing steps registered inside the call, innermost first, each
// under a guard of its own, computing with the plug-in's word.
void run_closing_steps(const boundary& b) {
  const in_force outside = calls.calls[b.at].outside;
  x87::load_control(x87::own_control);
  const closing_step* step = in_force_now.closings;
  put_back({outside.guard_depth, step, in_force_now.host_word});  // the guards set inside are gone with their frames
  closing_frame around{{nullptr, &closing_handler}, &b};
  platform::register_frame(&around.record);
  for (; step && step != outside.closings; step = step->outer) {
    in_force_now.closings = step;
    guarded([step] { step->run(step->what); });
  }
  platform::unregister_frame(&around.record);
}

// The plug-in catches nothing; it only hears that its frames are unwound.
// On an exit unwind the host is ending the thread or the process: no host
// service is called then, and the call is only left.
int Q7_CDECL frame_handler(q7_exception_head* exception, q7_frame_record* frame, void*, void*) {
  if (!unwinding(exception)) return continue_search;
  const boundary& b = *reinterpret_cast<boundary*>(frame);
  if (!is_recorded(b)) return continue_search;
  if (!(exception->flags & exception_exit_unwind) && platform::stack_room() >= closing_room) run_closing_steps(b);
  leave(b);
  return continue_search;
}

}  // namespace

bool enter_from_host(call_kind kind, void (*body)(void*), void* context) {
  boundary b{{nullptr, nullptr}, -1};
  if (!admit(b, kind)) return false;
  guarded([&] { body(context); });
  leave(b);
  platform::unregister_frame(&b.record);
  return true;
}

}  // namespace q7
