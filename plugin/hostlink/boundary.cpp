#include "plugin/hostlink/boundary.h"

#include <type_traits>

#include "plugin/hostlink/guard.h"
#include "plugin/platform/platform.h"

namespace q7 {
namespace {

const boundary* running_command;  // the command boundary in force, if any

// Whether the record is in the thread's chain now. A host's chain is short;
// the walk is bounded all the same.
bool in_chain(const q7_frame_record* wanted) {
  if (wanted == frame_chain_end) return true;
  int steps = 0;
  for (const q7_frame_record* r = platform::frame_chain_head(); r && r != frame_chain_end && steps < 4096;
       r = r->previous, ++steps)
    if (r == wanted) return true;
  return false;
}

}  // namespace

static_assert(std::is_standard_layout_v<boundary>, "the frame handler finds its boundary at its record");

boundary::boundary(kind what) : command_(what == kind::command) {
  // Guards left by a call the host ended without unwinding it lie under a
  // chain head that is gone: they are dropped before any are added.
  while (guards.depth > 0 && !in_chain(guards.points[guards.depth - 1].chain)) --guards.depth;
  guard_depth_ = guards.depth;
  record_.handler = &frame_handler;
  platform::register_frame(&record_);
  if (command_) running_command = this;
}

boundary::~boundary() {
  forget();
  platform::unregister_frame(&record_);
}

void boundary::forget() {
  guards.depth = guard_depth_;
  if (command_ && running_command == this) running_command = nullptr;
}

bool command_running() {
  // A command is over when its boundary's record has left the chain, even
  // where the host ended it without unwinding its frame; a record of someone
  // else's at the same place is not the command's.
  const boundary* command = running_command;
  return command && in_chain(&command->record_) && command->record_.handler == &boundary::frame_handler;
}

int Q7_CDECL boundary::frame_handler(q7_exception_head* exception, q7_frame_record* frame, void*, void*) {
  // The plug-in catches nothing; it only hears that its frame is unwound.
  if (exception && (exception->flags & (exception_unwinding | exception_exit_unwind)))
    reinterpret_cast<boundary*>(frame)->forget();
  return continue_search;
}

}  // namespace q7
