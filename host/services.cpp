// The host services of the stand-in host, one function each, exported by
// number (exports.list). Each tells the transcript what the user would see.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "abi/delay_load.h"
#include "abi/host_services.h"
#include "abi/mazovia.h"
#include "host/config_store.h"
#include "host/forms.h"
#include "host/host.h"

#define TORVAL_DECLARE(number, convention, result, parameters) \
  extern "C" result convention torval_##number parameters Q7_SYMBOL("torval_" #number);
Q7_HOST_SERVICES(TORVAL_DECLARE)
Q7_HOST_FIXED_EXPORTS(TORVAL_DECLARE)
#undef TORVAL_DECLARE

using namespace torval;

namespace {

constexpr int32_t mazovia_page = 1;
constexpr int32_t windows_page = 3;
constexpr int install_notice_dialog = 1194;

std::string format_values(const char* format, va_list values) {
  char text[4096];
  std::vsnprintf(text, sizeof text, format, values);
  return text;
}

void convert(char* text, char32_t (*from)(unsigned char), unsigned char (*to)(char32_t)) {
  for (; *text; ++text) *text = static_cast<char>(to(from(static_cast<unsigned char>(*text))));
}

char32_t windows_code_point(unsigned char b) { return q7::windows_1250_code_point(b); }
char32_t mazovia_code_point(unsigned char b) { return q7::mazovia_code_point(b); }
unsigned char windows_byte(char32_t cp) { return q7::windows_1250_byte(cp); }
unsigned char mazovia_byte_or_mark(char32_t cp) {
  const unsigned char b = q7::mazovia_byte(cp);
  return b ? b : '?';
}

int16_t show_box(const char* service, const char* caption, const char* text, int32_t style) {
  say(std::string("  box ") + service + " \"" + from_mazovia(caption) + "\" style " +
      std::to_string(style) + ":");
  say_text(text);
  const answer a = next_answer(0, "box");
  say("  -> " + std::to_string(a.code));
  return static_cast<int16_t>(a.code);
}

// The Windows message box of the plug-in, answered by the host through its
// delay-load hook: the text arrives in the Windows code page.
int Q7_STDCALL scripted_message_box(void*, const char* text, const char* caption, unsigned style) {
  say("  Windows box \"" + from_windows_1250(caption) + "\" style 0x" +
      [&] { char hex[16]; std::snprintf(hex, sizeof hex, "%x", style); return std::string(hex); }() +
      ":");
  say_windows_text(text);
  const answer a = next_answer(box_abort, "Windows box");
  const char* names[] = {"", "", "", "Abort", "Retry", "Ignore"};
  say("  -> " + (a.code >= 3 && a.code <= 5 ? std::string(names[a.code]) : std::to_string(a.code)));
  return a.code;
}

}  // namespace

extern "C" {

int32_t Q7_STDCALL torval_51594() { return host().interface_version; }

q7::table_descriptor* Q7_STDCALL torval_52256(int32_t number) {
  table* t = find_table(number);
  return t ? &t->descriptor : nullptr;
}

int16_t Q7_CDECL torval_52224(uint16_t op, const char* section, const char* key,
                              const char* format, q7::host_va_list values) {
  constexpr int16_t done = 0, failed = 1;
  switch (op) {
    case 1: {  // read a 16-bit integer
      const auto text = config_read(section, key);
      if (!text) return failed;
      char* end = nullptr;
      const long value = std::strtol(text->c_str(), &end, 10);
      if (end == text->c_str()) return failed;
      auto* target = va_arg(values, int16_t*);
      const auto value16 = static_cast<int16_t>(value);
      std::memcpy(target, &value16, sizeof value16);
      return done;
    }
    case 8: {  // read four doubles
      const auto text = config_read(section, key);
      if (!text) return failed;
      double read[4];
      const char* at = text->c_str();
      for (double& value : read) {
        char* end = nullptr;
        value = std::strtod(at, &end);
        if (end == at) return failed;
        at = *end == ',' ? end + 1 : end;
      }
      for (double value : read) std::memcpy(va_arg(values, double*), &value, sizeof value);
      return done;
    }
    case 2:
    case 9:  // write the format filled with the values
      config_write(section, key, format_values(format, values));
      return done;
    default:
      return failed;
  }
}

uint16_t Q7_CDECL torval_52023(int32_t dialog, void* data, int32_t zero, ...) {
  va_list more;
  va_start(more, zero);
  std::string line = "  dialog " + std::to_string(dialog);
  if (dialog == install_notice_dialog) {
    const char* text = va_arg(more, const char*);
    int16_t value;
    std::memcpy(&value, data, sizeof value);
    say(line + " (install notice), value " + std::to_string(value) + ":");
    say_text(text);
    const answer a = next_answer(0, "dialog");
    if (a.sets_value) {
      const auto value16 = static_cast<int16_t>(a.value);
      std::memcpy(data, &value16, sizeof value16);
      say("  value set to " + std::to_string(a.value));
    }
    say("  -> " + std::to_string(a.code));
    va_end(more);
    return static_cast<uint16_t>(a.code);
  }
  va_end(more);
  say(line + ": not a dialog of this host");
  return 0;
}

int16_t Q7_STDCALL torval_52028(const char* caption, const char* text, int32_t style) {
  return show_box("52028", caption, text, style);
}

int16_t Q7_CDECL torval_52029(const char* caption, const char* format, int32_t style, ...) {
  va_list values;
  va_start(values, style);
  const std::string text = format_values(format, values);
  va_end(values);
  return show_box("52029", caption, text.c_str(), style);
}

// Show form: the forms engine (forms.cpp). A fifth value, passed with some
// forms, is not read: nothing says what it means.
uint16_t Q7_CDECL torval_52026(const void* block, int32_t form, void* record, q7::form_hook hook,
                               ...) {
  return show_form(block, form, record, hook);
}

void Q7_STDCALL torval_52034(int32_t field, int32_t bits, int32_t one) {
  set_item_state(field, bits, one);
}

void Q7_STDCALL torval_52040(void* record, int32_t direction) {
  exchange_form_data(record, direction);
}

void Q7_STDCALL torval_52158(char* text, char* same_text, int32_t from, int32_t to) {
  if (text != same_text) say("  52158: the two texts differ");
  if (from == mazovia_page && to == windows_page)
    convert(text, mazovia_code_point, windows_byte);
  else if (from == windows_page && to == mazovia_page)
    convert(text, windows_code_point, mazovia_byte_or_mark);
}

// The translator of structured exceptions: a hardware exception becomes a
// language exception that the plug-in's boundaries catch.
void Q7_CDECL torval_30005(unsigned code, struct _EXCEPTION_POINTERS*) {
  throw std::runtime_error("structured exception " + std::to_string(code));
}

// The delay-load notification hook: the host answers MessageBoxA itself.
void* Q7_STDCALL torval_30007(unsigned notification, q7_delay_load_info* info) {
  if (notification == q7::dli_note_pre_get_proc_address && info && info->import_by_name &&
      std::strcmp(info->proc_name, "MessageBoxA") == 0)
    return reinterpret_cast<void*>(&scripted_message_box);
  return nullptr;
}

}  // extern "C"
