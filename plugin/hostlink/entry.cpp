// Start, stop, activation and removal: the life cycle the host drives through
// the three entry points, and what the module does when the host unloads it
// without a stop. Each entry point is a way in from the host: a host call
// that had to be abandoned makes the entry answer -1 as a refusal does, and
// so does a call from a second thread while one is inside the plug-in,
// changing nothing.
#include "plugin/hostlink/entry.h"

#include "abi/mazovia.h"
#include "plugin/hostlink/services.h"
#include "plugin/hostlink/module.h"
#include "plugin/hostlink/size_check.h"
#include "plugin/hostlink/way_in.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {

constexpr int32_t ready = 0;
constexpr int32_t refused = -1;
constexpr int32_t host_interface_version = 112;

// Runs an entry point's body as a call from the host: refused when the call
// is not admitted or was abandoned.
template <class Body>
int32_t entry_call(Body body) {
  int32_t result = refused;
  from_host(call_kind::call, [&] { result = body(); });
  return result;
}

int32_t record_size(const table_descriptor* table) { return table ? table->record_size : 0; }

struct taken_table {
  int32_t number;
  table_descriptor*& held;
  key_handler& previous;
  key_handler own;
  size_check& check;
};

bool take_over(const taken_table& t) {
  if (t.held) return true;
  table_descriptor* table = svc_52256_table_descriptor(t.number);
  if (table && table->record_size == t.check.expected) {
    t.held = table;
    // A slot that already holds the plug-in's own handler (a module that had
    // chained its handler after the plug-in's put it back when it stopped)
    // keeps the handler saved before, or none: a handler that took itself
    // for the previous one would pass every key to itself without end.
    if (table->handler != t.own) t.previous = table->handler;
    table->handler = t.own;
    return true;
  }
  fill_size_check(t.check, record_size(table));
  add_size_mismatch(t.check);
  return false;
}

// Puts the saved handler back into a held table's slot and forgets the
// table; with own given, only where the slot still holds the plug-in's own.
void give_back(table_descriptor*& held, key_handler previous, key_handler own = nullptr) {
  if (held && (!own || held->handler == own)) held->handler = previous;
  held = nullptr;
}

void remove_handlers() {
  give_back(module.plot_table, module.previous_plot_handler);
  give_back(module.cash_table, module.previous_cash_handler);
}

// The setting and the dialog store a 16-bit value through the address they
// are given. They get a zeroed 32-bit slot and its low half is read, so a
// host that stores 32 bits there overruns nothing.
int16_t low_half(int32_t slot) { return static_cast<int16_t>(slot & 0xFFFF); }

void show_install_notice() {
  int32_t dont_ask = 0;
  if (configuration(host_values::setting_read_int16, settings_section, "Pytaj", "%d", &dont_ask) !=
      host_values::setting_done)
    dont_ask = 0;
  if (low_half(dont_ask)) return;
  char text[128];
  format_text(text, MZ("Zainstalowano wtyczkę: %s"), plugin_description.data());
  dont_ask = 0;
  svc_52023_run_dialog(host_values::install_notice_dialog, &dont_ask, host_values::unused, text);
  configuration(host_values::setting_write_int, settings_section, "Pytaj", "%d",
                static_cast<int>(low_half(dont_ask)));
}

int32_t start(char* description) {
  if (description) copy_description(description);
  platform::install_se_translator(platform::host_se_translator());
  if (svc_51594_interface_version() != host_interface_version) return refused;
  if (!start_check.filled) fill_size_check(start_check, record_size(svc_52256_table_descriptor(plot_table_no)));
  check_size(start_check);
  return size_mismatch_count() ? refused : ready;
}

int32_t activate() {
  const bool taken =
      take_over({plot_table_no, module.plot_table, module.previous_plot_handler,
                 command_handlers.plot_table, plot_activation_check}) &&
      take_over({cash_table_no, module.cash_table, module.previous_cash_handler,
                 command_handlers.cash_table, cash_activation_check});
  if (!taken) {
    remove_handlers();
    return refused;
  }
  show_install_notice();
  return ready;
}

}  // namespace

void process_detach() {
  // The host let the module go without stopping it: a slot that still holds
  // one of its handlers would lead into memory the module no longer has.
  // Where another module has chained after the plug-in, its handler stays.
  give_back(module.plot_table, module.previous_plot_handler, command_handlers.plot_table);
  give_back(module.cash_table, module.previous_cash_handler, command_handlers.cash_table);
}

}  // namespace q7

extern "C" int32_t Q7_STDCALL entry_30001(void* host_context, char* description) {
  using namespace q7;
  return entry_call([&] {
    if (host_context) return start(description);
    remove_handlers();
    return ready;
  });
}

extern "C" int32_t Q7_STDCALL entry_30008(int32_t mode) {
  using namespace q7;
  if (mode == 0) {
    // A refused activation leaves no key handler replaced, however it ended:
    // refused, abandoned, or unwound by the host.
    return entry_call([] {
      int32_t result = refused;
      guarded_closing([&] { result = activate(); }, [] { remove_handlers(); });
      if (result != ready) remove_handlers();
      return result;
    });
  }
  return entry_call([] {
    show_mismatch_report();
    return ready;
  });
}

extern "C" void Q7_STDCALL entry_30009() {}
