#include "plugin/hostlink/guard.h"

namespace q7 {

guard_point* innermost_guard;

void abandon_command() {
  guard_point* point = innermost_guard;
  // Every way in from the host sets a guard; a call outside all of them would
  // be a fault of the plug-in itself, and stopping here is all that is left.
  if (!point) __builtin_trap();
#ifdef Q7_ASAN
  // The frames jumped over never unpoison their stack: let the sanitizer know.
  __asan_handle_no_return();
#endif
  __builtin_longjmp(point->jump, 1);
}

}  // namespace q7
