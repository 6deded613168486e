// Module paths and service names from untrusted bytes, through the binding
// error box and the fallback rule: a service the host lacks is reported by
// its number or its name, with the module it is missing from.
//
// The input, made zero-terminated, is the module name and the service name;
// its first two bytes are also the number of a service the box reports.
// The stand-in host answers every box with Abort.
#include <cstring>
#include <memory>
#include <string>

#include "abi/delay_load.h"
#include "fuzz/support.h"
#include "host/host.h"
#include "plugin/hostlink/binding.h"
#include "plugin/platform/platform.h"

namespace {

using message_box_function = int(Q7_STDCALL*)(void*, const char*, const char*, unsigned);

q7::delay_load_hook host_hook;
message_box_function host_box;
int boxes;

// The text the Windows box gets: no markup bytes, which it would show as they
// are, and a terminator within the box's message buffer.
int Q7_STDCALL checking_box(void* owner, const char* text, const char* caption, unsigned style) {
  ++boxes;
  constexpr std::size_t message_buffer = 1025;
  const void* end = std::memchr(text, 0, message_buffer);
  Q7_FUZZ_CHECK(end != nullptr, "the message has no terminator within its buffer");
  const std::size_t length = static_cast<const char*>(end) - text;
  Q7_FUZZ_CHECK(!std::memchr(text, 1, length) && !std::memchr(text, 2, length),
                "the message holds markup: " + std::string(text, length));
  Q7_FUZZ_CHECK(!std::strchr(caption, 1) && !std::strchr(caption, 2), "the caption holds markup");
  return host_box(owner, text, caption, style);
}

// Stands between the plug-in and the host's delay-load hook: the host's own
// message box is answered through checking_box.
void* Q7_STDCALL checking_hook(unsigned notification, q7_delay_load_info* info) {
  void* function = host_hook(notification, info);
  if (notification == q7::dli_note_pre_get_proc_address && info && info->import_by_name &&
      std::strcmp(info->proc_name, "MessageBoxA") == 0 && function) {
    host_box = reinterpret_cast<message_box_function>(function);
    return reinterpret_cast<void*>(&checking_box);
  }
  return function;
}

void install_checking_hook() {
  if (host_hook) return;
  host_hook = __pfnDliNotifyHook2;
  Q7_FUZZ_CHECK(host_hook != nullptr, "the host has no delay-load hook");
  __pfnDliNotifyHook2 = &checking_hook;
}

// One box, answered Abort: the call is to be abandoned.
void report_missing(uintptr_t service, const char* module_name) {
  q7::fuzz::reset_host_output();
  q7::fuzz::queue_answer(torval::box_abort);
  const int before = boxes;
  const int32_t go_on = q7::binding_error_box(service, module_name);
  Q7_FUZZ_CHECK(go_on == 0, "Abort did not abandon the call");
  Q7_FUZZ_CHECK(boxes == before + 1, "no box was shown");
  Q7_FUZZ_CHECK(torval::plan().answers.empty(), "the host's box did not take its answer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  q7::fuzz::attach_plugin();
  install_checking_hook();

  // Exactly the input and a terminator: a read past it is an overflow.
  const std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = 0;
  const auto name = reinterpret_cast<uintptr_t>(text.get());
  Q7_FUZZ_CHECK(name >= 65536, "a name's address reads as a service number");
  const uintptr_t number = size >= 2 ? (data[0] | data[1] << 8) : 52158;

  report_missing(name, text.get());
  report_missing(name, nullptr);  // the module's own path
  report_missing(number, text.get());

  void* slot = reinterpret_cast<void*>(&checking_box);
  q7::apply_fallback_rule(name, &slot);
  Q7_FUZZ_CHECK(!slot || q7::fallback_index(slot) >= 0, "the slot holds neither a fallback nor nothing");
  slot = reinterpret_cast<void*>(&checking_box);
  q7::apply_fallback_rule(number, &slot);
  Q7_FUZZ_CHECK(!slot || q7::fallback_index(slot) >= 0, "the slot holds neither a fallback nor nothing");
  return 0;
}
