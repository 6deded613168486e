// The stand-in host: a small program of its own that offers the plug-in the
// host services it expects, keeps the tables, settings and files those
// services work on, and writes everything the user would see into a
// transcript. It is driven by session scripts (session.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "abi/records.h"
#include "host/forms.h"

namespace torval {

// Answers of the Windows message box (MessageBoxA).
inline constexpr int box_abort = 3;
inline constexpr int box_retry = 4;
inline constexpr int box_ignore = 5;

// One scripted answer to the next box, dialog or form.
struct answer {
  int code;
  bool sets_value = false;  // the dialog also stores a value through its data pointer
  int value = 0;
};

// A table of the host with the descriptor it hands to the plug-in.
struct table {
  int32_t number = 0;
  q7::table_descriptor descriptor{};
  std::vector<double> column_totals = std::vector<double>(16, 0.0);
  std::vector<char> record_buffer = std::vector<char>(2048, 0);
  int32_t record_count = 0;
  std::vector<char*> rows;
  FILE* file = nullptr;
  bool own_handler = true;  // the host's own key handler is in the slot
};

// The three entry points of a loaded plug-in.
struct plugin_module {
  void* handle = nullptr;
  int32_t(Q7_STDCALL* start_stop)(void*, char*) = nullptr;
  int32_t(Q7_STDCALL* activate_or_report)(int32_t) = nullptr;
  void(Q7_STDCALL* no_effect)() = nullptr;
};

struct host_state {
  int32_t interface_version = 112;
  std::map<int32_t, table> tables;
  std::deque<answer> answers;
  std::deque<form_edit> form_edits;     // for the next form shown
  std::string transcript;
  std::string config_path = "torval.ini";
  std::string plugin_path = "q7_kar_vezezoz.dll";
  std::string plugin_folder;            // shown as "<plugin dir>": it differs from machine to machine
  plugin_module plugin;
  void* se_translator = nullptr;        // as the plug-in installed it
  std::map<uint32_t, int> lookups;      // service lookups by number
};

host_state& host();

// Transcript output, in UTF-8.
void say(const std::string& line);
// A text of the system (Mazovia) shown line by line, markup made visible.
void say_text(const char* mazovia_text);
// The same for a text in the Windows code page.
void say_windows_text(const char* windows_text);
std::string from_mazovia(const char* text);
std::string from_windows_1250(const char* text);
// Mazovia bytes of a UTF-8 text typed in a session script.
std::string to_mazovia(const std::string& utf8);

// The next scripted answer, or the given default when none is left.
answer next_answer(int default_code, const char* what);

// Tables: a fresh descriptor for each of the host's standard tables, with
// the host's own key handler in its slot.
void reset_tables();
table& add_table(int32_t number, int16_t record_size);
// The host's own key handler of every table: it reports the eleven values.
int32_t Q7_STDCALL host_key_handler(int32_t key, uint32_t a2, int32_t* record_count, char** rows,
                                    int32_t a5, q7::table_descriptor* table, int32_t a7,
                                    FILE* file, int32_t a9, uint32_t a10, int32_t a11);
table* find_table(int32_t number);

// Host exports: lookup by ordinal as GetProcAddress sees it, and withdrawal
// of an export, as in an older host that lacks the service.
void withdraw_export(uint32_t ordinal);

// Loading the plug-in module and calling its entry points.
bool load_plugin(const std::string& path);
// The text with the folder the plug-in is loaded from replaced by "<plugin dir>".
std::string plugin_display_path(const std::string& text);

}  // namespace torval
