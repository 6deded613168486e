// Module-wide state of the plug-in: handles, paths and the taken-over tables.
// Every item is zero-initialised data, valid before any static constructor runs.
#pragma once

#include "abi/mazovia.h"
#include "abi/records.h"
#include "plugin/platform/platform.h"

namespace q7 {

// The plug-in description: names the plug-in to the host and in its messages.
inline constexpr auto& plugin_description =
    mazovia<"Ogrody działkowe. Ctrl-B/C w spisie firm. Ctrl-A w kasie.">;

// Name of the host module as the platform finds it.
inline constexpr char host_module_name[] = "TORVAL";

// The key handlers of the commands, which activation puts into the host's
// tables: plugin/command_handlers.cpp gives them.
struct command_key_handlers {
  key_handler plot_table;
  key_handler cash_table;
};
extern const command_key_handlers command_handlers;

struct module_state {
  platform::module_handle own_module;
  char own_path[300];
  platform::module_handle host_module;
  table_descriptor* plot_table;      // held while its key handler is replaced
  key_handler previous_plot_handler;
  table_descriptor* cash_table;
  key_handler previous_cash_handler;
  int32_t ignore_missing_services;  // set by Ignore in the binding error box, never cleared
};

extern module_state module;

// The module's load notification with the process-attach reason.
void process_attach(platform::module_handle own);
// The same with the process-detach reason, when the process goes on: the
// module is unloaded (plugin/hostlink/entry.cpp).
void process_detach();

// Copies the description with its terminator into buffer (58 bytes at least).
char* copy_description(char* buffer);

}  // namespace q7
