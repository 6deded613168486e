#include "plugin/hostlink/binding.h"

#include <cstring>

#include "abi/mazovia.h"
#include "plugin/hostlink/services.h"
#include "plugin/hostlink/module.h"

extern "C" void* const q7_fallback_table[15] Q7_SYMBOL("q7_fallback_table");

namespace q7 {
namespace {


constexpr int message_box_style = 0x2012;  // task-modal, error icon, Abort/Retry/Ignore
constexpr int answer_retry = 4;
constexpr int answer_ignore = 5;
constexpr uintptr_t code_page_service = 52158;

bool is_number(uintptr_t service) { return service < 65536; }

// Mazovia to Windows-1250 without the host, for when its converter is missing.
void convert_to_windows_here(char* text) {
  for (; *text; ++text) {
    const auto byte = static_cast<unsigned char>(*text);
    if (byte >= 0x80) *text = static_cast<char>(mazovia_to_windows_1250(byte));
  }
}

// Converts through host service 52158, which is itself bound on demand; when
// the box reports that very service, or binding it is abandoned, the box
// converts by itself instead of recursing.
void convert_to_windows(char* text, uintptr_t reported_service) {
  if (reported_service == code_page_service) return convert_to_windows_here(text);
  if (!guarded([&] { svc_52158_convert_code_page(text, text, host_values::code_page_mazovia, host_values::code_page_windows_1250); }))
    convert_to_windows_here(text);
}

// The Windows box does not understand the message markup: each emphasis
// byte becomes a space.
void unmark(char* text) {
  for (; *text; ++text)
    if (*text == '\x01' || *text == '\x02') *text = ' ';
}

}  // namespace

bool ignoring_missing_services() { return module.ignore_missing_services != 0; }

void* fallback_function(int index) { return q7_fallback_table[index]; }

int fallback_index(const void* function) {
  for (int i = 0; i < 15; ++i)
    if (q7_fallback_table[i] == function) return i;
  return -1;
}

void resolve_service(uintptr_t service, void** slot) {
  *slot = module.host_module
              ? platform::find_export(module.host_module, reinterpret_cast<const char*>(service))
              : nullptr;
  if (*slot) return;
  if (binding_error_box(service, nullptr))
    apply_fallback_rule(service, slot);
  else
    *slot = nullptr;
}

int32_t binding_error_box(uintptr_t service, const char* module_name) {
  if (module.ignore_missing_services) return 1;

  char path[300];
  if (!module_name) {
    const uint32_t length = platform::module_file_name(module.own_module, path, sizeof path);
    path[sizeof path - 1] = 0;
    module_name = length ? path : MZ("<nieznany>");
  }

  // A name may be of any length; the message must never overrun its buffer.
  char entry_text[257];
  if (is_number(service)) {
    calling_out([&] { q7_wsprintfA(entry_text, "%u", static_cast<unsigned>(service)); });
  } else {
    std::strncpy(entry_text, reinterpret_cast<const char*>(service), sizeof entry_text - 1);
    entry_text[sizeof entry_text - 1] = 0;
  }

  char message[1025];
  // wsprintfA is bound late through the host's delay-load hook: host code.
  calling_out([&] {
    q7_wsprintfA(message,
                 MZ("W module \x02%s\x01\nbrak wpisu \x02%s\x01\nWywołano z wtyczki \x02%s\x01.\n\n"
                    "Błąd ten można zignorować lecz dalsza praca\nprogramu w tych warunkach może "
                    "być niebezpieczna.\n\nKonieczna jest aktualizacja programu!"),
                 module_name, entry_text, plugin_description.data());
  });
  message[sizeof message - 1] = 0;
  char caption[sizeof mazovia<"POWAŻNY BŁĄD WTYCZKI">];
  std::memcpy(caption, MZ("POWAŻNY BŁĄD WTYCZKI"), sizeof caption);

  unmark(message);
  convert_to_windows(message, service);
  convert_to_windows(caption, service);

  for (;;) {
    // The box's message loop runs the host's code, which may call the plug-in back.
    const int answer = calling_back(
        [&] { return calling_out([&] { return q7_MessageBoxA(nullptr, message, caption, message_box_style); }); });
    if (answer == answer_retry) continue;
    if (answer == answer_ignore) {
      module.ignore_missing_services = 1;
      return 1;
    }
    return 0;
  }
}

void apply_fallback_rule(uintptr_t service, void** slot) {
  int index = -1;
  if (is_number(service)) {
    // The last two digits of a number tell the bytes of arguments the service
    // removes; 99 stands for a service whose caller removes them.
    const unsigned r = service % 100;
    if (r == 99)
      index = 0;
    else if (r % 4 == 0 && r <= 56)
      index = static_cast<int>(r / 4);
  } else {
    // A decorated name ends in @ and the byte count of its arguments.
    const char* at = std::strrchr(reinterpret_cast<const char*>(service), '@');
    if (at && at[1] >= '0' && at[1] <= '9') {
      unsigned long bytes = 0;
      for (const char* d = at + 1; *d >= '0' && *d <= '9' && bytes < 1000; ++d)
        bytes = bytes * 10 + static_cast<unsigned>(*d - '0');
      if (bytes / 4 <= 14) index = static_cast<int>(bytes / 4);
    } else {
      index = 0;
    }
  }
  *slot = index >= 0 ? fallback_function(index) : nullptr;
}

}  // namespace q7

extern "C" void Q7_CDECL q7_bind_service(q7::thunk_entry* entry) {
  using namespace q7;
  // The binder runs inside a call to a service, with the host's x87 word
  // loaded: it computes with the plug-in's own and gives the service the
  // word back. Binding that is abandoned leaves the slot empty.
  const uint16_t host_word = x87::control();
  x87::load_control(x87::own_control);
  const bool bound = guarded([&] {
    resolve_service(entry->service, &entry->slot);
    // A fallback that removes another number of bytes than the service does
    // would unbalance the caller's stack: such a slot stays empty.
    const int index = fallback_index(entry->slot);
    const int fitting_index = entry->bytes_removed < 0 ? 0 : entry->bytes_removed / 4;
    if (index >= 0 && index != fitting_index) entry->slot = nullptr;
  });
  if (!bound) entry->slot = nullptr;
  if (!entry->slot) entry->slot = reinterpret_cast<void*>(&q7_abandoned_service_call);
  x87::load_control(host_word);
}

extern "C" void q7_abandoned_service_call() { q7::abandon_command(); }
