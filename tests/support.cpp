#include "tests/support.h"

#include <filesystem>

#include "abi/machine.h"
#include "host/host.h"
#include "plugin/hostlink/module.h"

#ifdef _WIN32
#include <windows.h>
#endif

extern "C" {
int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");
const char* Q7_CDECL torval_session_transcript() Q7_SYMBOL("torval_session_transcript");
}

namespace q7::test {

void step(const std::string& line) { torval_session_step(line.c_str()); }

std::string transcript() { return torval_session_transcript(); }

void enter_fresh_folder(const std::string& name) {
  namespace fs = std::filesystem;
  static const fs::path start = fs::current_path();
  const fs::path folder = start / "test-work" / name;
  std::error_code error;
  fs::remove_all(folder, error);
  fs::create_directories(folder, error);
  fs::current_path(folder);
}

#ifdef _WIN32
void attach_plugin_code() { process_attach(GetModuleHandleA(nullptr)); }
int host_lookups(unsigned) { return -1; }
#else
// In the native build the plug-in code is the module the host loads.
void attach_plugin_code() {
  if (!module.own_module) step("load");
}
int host_lookups(unsigned ordinal) { return torval::host().lookups[ordinal]; }
#endif

}  // namespace q7::test
