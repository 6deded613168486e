// A way in from the host: an entry point, a key handler, the form hook.
//
// A call is admitted only from the thread inside the plug-in, or from any
// thread when none is: a call from a second thread while one is inside does
// nothing of the plug-in's (the caller passes a key on, an entry point
// answers -1, the hook 0). A command is admitted only when no command runs:
// a key that arrives meanwhile (the host's message loop delivers keys while a
// form or a box is open) is passed on at once.
//
// For the length of an admitted call the boundary
// - computes with the plug-in's own x87 control word (every exception masked,
//   double precision) and puts the host's control and status words back
//   however the call ends;
// - registers a frame handler of its own in the thread's chain
//   (abi/frame_chain.h). When the host ends the call through its own
//   exception handling, unwinding the call's frames, the handler runs the
//   closing steps registered inside (guard.h, guarded_closing), the same
//   closing an abandonment runs, under a guard of its own, and forgets the
//   call; the exception goes on untouched.
// A call the host ended without unwinding it is forgotten by the next way in
// on its thread: its record is no longer in the chain.
#pragma once

#include <cstdint>

#include "abi/frame_chain.h"

namespace q7 {

// What a command closes or puts back if it stops between two of its steps:
// registered by guarded_closing (guard.h) while it is needed.
struct closing_step {
  void (*run)(const void* what);
  const void* what;
  const closing_step* outer;
};
// The innermost closing step in force; null when there is none.
extern const closing_step* closings;

// The host's x87 environment as fnstenv stores it.
struct x87_environment {
  uint32_t words[7];
};

class boundary {
 public:
  // A command boundary marks a command of the plug-in as running for its length.
  enum class kind { call, command };
  explicit boundary(kind what = kind::call);
  ~boundary();
  boundary(const boundary&) = delete;
  boundary& operator=(const boundary&) = delete;

  // Whether the call may run anything of the plug-in's.
  bool admitted() const { return admitted_; }

  // The frame handler of every admitted boundary.
  static int Q7_CDECL frame_handler(q7_exception_head* exception, q7_frame_record* frame, void*, void*);

 private:
  // The call is over: what it left goes, the host's x87 words come back.
  void leave();

  q7_frame_record record_;  // first: the chain links this record
  x87_environment host_x87_;
  int entered_at_ = -1;     // its place among the calls in progress
  bool admitted_ = false;
  bool closing_ = false;    // the host unwinds it: its closing steps run
};

}  // namespace q7
