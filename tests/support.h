// Driving the stand-in host from tests: script steps and the transcript.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/hostlink/x87.h"

namespace q7::test {

// Runs one session step in the stand-in host.
void step(const std::string& line);
// Everything the host has written into its transcript so far.
std::string transcript();
// The transcript written by the steps run inside body.
template <class Body>
std::string transcript_of(Body body) {
  const std::size_t before = transcript().size();
  body();
  return transcript().substr(before);
}
// Attaches the plug-in code linked into the test program, as the load
// notification of its module would.
void attach_plugin_code();
// Makes a fresh, empty working folder for the test and enters it.
void enter_fresh_folder(const std::string& name);
// Number of times the plug-in looked a host export up (native build only: -1 on Windows).
int host_lookups(unsigned ordinal);
// Forgets the lookups counted so far (native build only).
void forget_host_lookups();
// Runs the stand-in host program on a script in a process of its own, with a
// fresh plug-in module: its working folder and its transcript. Its exit code
// is returned; the transcript is written into output.
int run_host_program(const std::string& script, const std::string& work_folder,
                     const std::string& output);

// While it lives, the x87 unit computes with the plug-in's own control word
// (every exception masked, 53-bit precision, rounding to nearest), which
// every way in from the host sets; a test that calls the plug-in's
// computations directly sets it so.
class plugin_x87_word {
 public:
  plugin_x87_word() : saved_(x87::control()) { x87::load_control(x87::own_control); }
  ~plugin_x87_word() { x87::load_control(saved_); }
  plugin_x87_word(const plugin_x87_word&) = delete;
  plugin_x87_word& operator=(const plugin_x87_word&) = delete;

 private:
  const uint16_t saved_;
};

}  // namespace q7::test
