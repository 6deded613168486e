#include "host/calling_in.h"

#include <clocale>
#include <cstdio>
#include <string>

#include "host/transcript.h"

namespace torval {
namespace {

// The x87 unit: a control word that unmasks the invalid-operation,
// zero-divide and overflow exceptions, with extended precision and rounding
// to nearest, as some run-times leave it; the usual host's word (every
// exception masked, double precision, as Windows starts a program), which
// it sets itself so that its own arithmetic is the same on every system;
// and the exception flags of the status word whose exceptions the strict
// word unmasks.
constexpr uint16_t strict_control_word = 0x0372;
constexpr uint16_t usual_control_word = 0x027F;
constexpr uint16_t unmasked_flags = 0x000D;

uint16_t control_word() {
  uint16_t word;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}
uint16_t status_word() {
  uint16_t word;
  __asm__ volatile("fnstsw %0" : "=m"(word));
  return word;
}
// Clears the exception flags and loads the control word.
void load_control_word(uint16_t word) { __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(word)); }

std::string hex4(uint16_t word) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04x", word);
  return text;
}

// The Polish locale by the names the C run-times know it.
#ifdef _WIN32
const char* const polish_names[] = {"Polish"};
#else
const char* const polish_names[] = {"pl_PL.UTF-8", "pl_PL.utf8", "pl_PL", "pl_PL.ISO-8859-2"};
#endif
const char* polish_name = nullptr;

bool strict_fpu = false;
bool polish_locale = false;
int plugin_depth = 0;  // calls into the plug-in under way, in any thread

// Where the host's unwinding of a call began (its catching handler), while it runs.
const char* unwinding_top = nullptr;
std::size_t deepest = 0;  // bytes of stack below the catching handler, at a service

}  // namespace

void set_strict_fpu(bool strict) { strict_fpu = strict; }

void check_entered_word(const char* what, uint32_t number) {
  if (!strict_fpu || plugin_depth == 0) return;
  const uint16_t control = control_word(), status = status_word();
  // A flag the word unmasks would trap the host's next x87 instruction.
  const bool pending = (status & unmasked_flags) != 0;
  if (control == strict_control_word && !pending) return;
  std::string line = "  (";
  line += what;
  // Appended piece by piece: GCC's -Wrestrict takes " " + text for an overlapping copy.
  if (number) line.append(1, ' ').append(std::to_string(number));
  if (control != strict_control_word) line += " entered with the x87 control word " + hex4(control);
  else line += " entered with the x87 status word " + hex4(status) + ": exceptions pending";
  line += ")";
  say(line);
}

bool set_polish_locale(bool polish) {
  polish_locale = false;
  if (!polish) return true;
  for (const char* name : polish_names)
    if (std::setlocale(LC_ALL, name)) {
      polish_name = name;
      std::setlocale(LC_ALL, "C");
      polish_locale = true;
      return true;
    }
  return false;
}

c_numbers::c_numbers() : switched(plugin_depth > 0 && polish_locale) {
  if (switched) std::setlocale(LC_NUMERIC, "C");
}
c_numbers::~c_numbers() {
  if (switched) std::setlocale(LC_NUMERIC, polish_name);
}

void entering_plugin(uint16_t& saved) {
  saved = control_word();
  load_control_word(strict_fpu ? strict_control_word : usual_control_word);
  if (plugin_depth++ == 0 && polish_locale) std::setlocale(LC_ALL, polish_name);
}

void left_plugin(uint16_t saved) {
  if (--plugin_depth == 0 && polish_locale) std::setlocale(LC_ALL, "C");
  if (!strict_fpu) return load_control_word(saved);
  const uint16_t control = control_word(), status = status_word();
  if (control != strict_control_word) say("  (the plug-in left the x87 control word " + hex4(control) + ")");
  if (status & unmasked_flags)
    say("  (the plug-in left the x87 status word " + hex4(status) + ": exceptions pending)");
  load_control_word(saved);
}

void unwinding_from(const void* top) { unwinding_top = static_cast<const char*>(top); }

void measure_unwinding(const char* here) {
  if (!unwinding_top) return;
  const auto depth = static_cast<std::size_t>(unwinding_top - here);
  if (depth > deepest) deepest = depth;
}

std::size_t deepest_unwinding() { return deepest; }

}  // namespace torval
