// Faults found while a text or a form description is converted when the
// plug-in is compiled.
#pragma once

namespace q7 {

// Not constexpr: a constant evaluation that reaches it fails, and the
// compiler's message names the call with its reason. The plug-in is built
// without C++ exceptions, so a throw cannot serve here.
inline void compile_time_fault(const char* /*reason*/) {}

}  // namespace q7
