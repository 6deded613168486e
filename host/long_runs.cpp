// What a program that drives the host through a long run (bench/soak.cpp)
// needs beside the session steps: where each service's call count stands,
// so that a fault can be planned for a call of the next command, and the
// plan forgotten afterwards without starting the audit and the counts anew
// (the step "fail clear" does both).
#include <cstdint>

#include "abi/machine.h"
#include "host/plan.h"

extern "C" {
int32_t Q7_CDECL torval_session_calls(uint32_t service) Q7_SYMBOL("torval_session_calls");
int32_t Q7_CDECL torval_session_forget_plan() Q7_SYMBOL("torval_session_forget_plan");
}

using namespace torval;

// How often the service has been called so far (services that can be made to fail).
extern "C" int32_t Q7_CDECL torval_session_calls(uint32_t service) {
  const auto& calls = plan().calls;
  const auto found = calls.find(service);
  return found == calls.end() ? 0 : found->second;
}

// Forgets the faults, the scripted answers and the form edits that the last
// command did not use; answers how many answers and edits were left.
extern "C" int32_t Q7_CDECL torval_session_forget_plan() {
  script_plan& p = plan();
  const auto left = static_cast<int32_t>(p.answers.size() + p.form_edits.size());
  p.faults.clear();
  p.answers.clear();
  p.form_edits.clear();
  return left;
}
