// A way in from the host: an entry point, a key handler, the form hook. For
// the length of the call a boundary registers a frame handler of its own in
// the thread's chain (abi/frame_chain.h). That makes the guards set inside it
// its own (a guard is alive only under the chain head it was set under), and
// it hears when the host ends the call through its own exception handling:
// the host's unwinding calls the handler, which forgets the guards set inside
// and, for a command, that the command runs. No state of the plug-in outlives
// the frame that set it, however the host ends the call.
#pragma once

#include "abi/frame_chain.h"

namespace q7 {

class boundary {
 public:
  // A command boundary marks a command of the plug-in as running for its length.
  enum class kind { call, command };
  explicit boundary(kind what = kind::call);
  ~boundary();
  boundary(const boundary&) = delete;
  boundary& operator=(const boundary&) = delete;

  // The frame handler of every boundary.
  static int Q7_CDECL frame_handler(q7_exception_head* exception, q7_frame_record* frame, void*, void*);

 private:
  friend bool command_running();
  // What the boundary leaves behind, when it returns or when the host unwinds it.
  void forget();

  q7_frame_record record_;  // first: the chain links this record
  int guard_depth_;         // the guards in force when the host called
  bool command_;
};

// Whether a command of the plug-in is running: a key that reaches a key
// handler meanwhile (the host's message loop delivers keys while a form or a
// box is open) is passed on at once and runs nothing of the plug-in.
bool command_running();

}  // namespace q7
