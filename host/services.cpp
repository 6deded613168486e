// The host services of the stand-in host that talk to the user and answer
// questions: boxes, dialogs, forms, settings, texts, dates, reports. One
// function each, exported by number (plugin/hostlink/services.list); each tells the
// transcript what the user would see. The services of tables and files are
// in host/record_services.cpp.
#include <cmath>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "abi/delay_load.h"
#include "abi/host_services.h"
#include "abi/mazovia.h"
#include "host/calling_in.h"
#include "host/config_store.h"
#include "host/file_store.h"
#include "host/forms.h"
#include "host/host_platform.h"
#include "host/plan.h"
#include "host/report_view.h"
#include "host/service_functions.h"
#include "host/texts.h"
#include "host/transcript.h"
#include "host/world.h"


using namespace torval;

namespace {

using namespace q7::host_values;
constexpr int32_t mazovia_page = code_page_mazovia;
constexpr int32_t windows_page = code_page_windows_1250;

// The format filled with the values, as the host's own formatting cuts it.
struct formatted {
  char text[4096];
  formatted(const char* format, va_list values) {
    const c_numbers in_c;
    std::vsnprintf(text, sizeof text, format, values);
  }
};

void convert(char* text, char32_t (*from)(unsigned char), unsigned char (*to)(char32_t)) {
  for (; *text; ++text) *text = static_cast<char>(to(from(static_cast<unsigned char>(*text))));
}

void convert(char* text, unsigned char (*byte_to_byte)(unsigned char)) {
  for (; *text; ++text) *text = static_cast<char>(byte_to_byte(static_cast<unsigned char>(*text)));
}

char32_t windows_code_point(unsigned char b) { return q7::windows_1250_code_point(b); }
unsigned char mazovia_byte_or_mark(char32_t cp) {
  const unsigned char b = q7::mazovia_byte(cp);
  return b ? b : '?';
}

int16_t show_box(const char* service, const char* caption, const char* text, int32_t style) {
  say([&] {
    return std::string("  box ") + service + " \"" + from_mazovia(caption) + "\" style " +
           std::to_string(style) + ":";
  });
  say_text(text);
  const answer a = next_answer(0, "box");
  say([&] { return "  -> " + answer_text(a.code); });
  return static_cast<int16_t>(a.code);
}

// The Windows message box of the plug-in, answered by the host through its
// delay-load hook: the text arrives in the Windows code page.
int Q7_STDCALL scripted_message_box(void*, const char* text, const char* caption, unsigned style) {
  check_entered_word("the Windows box");
  say([&] {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", style);
    return "  Windows box \"" + from_windows_1250(caption) + "\" style 0x" + hex + ":";
  });
  say_windows_text(text);
  answer a;
  a.code = plan().windows_box_answer;
  if (!a.code) a = next_answer(box_abort, "Windows box");
  say([&] { return "  -> " + answer_text(a.code); });
  return a.code;
}

}  // namespace

extern "C" {

int32_t Q7_STDCALL torval_51594() { return failing(51594) ? 0 : world().interface_version; }

q7::table_descriptor* Q7_STDCALL torval_52256(int32_t number) {
  if (failing(52256)) return nullptr;
  table* t = find_table(number);
  return t ? &t->descriptor : nullptr;
}

int16_t Q7_CDECL torval_52224(uint16_t op, const char* section, const char* key,
                              const char* format, q7::host_va_list values) {
  constexpr int16_t done = 0, failed = 1;
  if (failing(52224)) return failed;
  const c_numbers in_c;
  switch (op) {
    case setting_read_int16: {
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
    case setting_read_doubles: {
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
      // A host that fills only the first two of the four, and says it read them.
      const int filled = behaves("settings-fill-two-rates") ? 2 : 4;
      for (int i = 0; i < filled; ++i) std::memcpy(va_arg(values, double*), &read[i], sizeof read[i]);
      return done;
    }
    case setting_write_int:
    case setting_write_doubles:  // the format filled with the values
      config_write(section, key, formatted(format, values).text);
      return done;
    default:
      return failed;
  }
}

uint16_t Q7_CDECL torval_52023(int32_t dialog, void* data, int32_t zero, ...) {
  if (failing(52023)) return 0;
  va_list more;
  va_start(more, zero);
  std::string line = "  dialog " + std::to_string(dialog);
  if (dialog == install_notice_dialog) {
    const char* text = va_arg(more, const char*);
    int16_t value;
    std::memcpy(&value, data, sizeof value);
    say([&] { return line + " (install notice), value " + std::to_string(value) + ":"; });
    say_text(text);
    const answer a = next_answer(0, "dialog");
    if (a.sets_value && behaves("dialog-stores-32-bits")) {
      const auto value32 = static_cast<int32_t>(a.value);
      std::memcpy(data, &value32, sizeof value32);
      say([&] { return "  value set to " + std::to_string(a.value) + " (32 bits)"; });
    } else if (a.sets_value) {
      const auto value16 = static_cast<int16_t>(a.value);
      std::memcpy(data, &value16, sizeof value16);
      say([&] { return "  value set to " + std::to_string(a.value); });
    }
    say([&] { return "  -> " + answer_text(a.code); });
    va_end(more);
    return static_cast<uint16_t>(a.code);
  }
  va_end(more);
  if (dialog == report_period_dialog) {
    // The period buffer: start date at 0, end date at 9, each YY.MM.DD.
    char* period = static_cast<char*>(data);
    say([&] {
      return line + " (period), proposed " + std::string(period, strnlen(period, 8)) + " to " +
             std::string(period + 9, strnlen(period + 9, 8));
    });
    const answer a = next_answer(0, "dialog");
    if (!a.period_start.empty()) {
      std::snprintf(period, 9, "%s", a.period_start.c_str());
      std::snprintf(period + 9, 9, "%s", a.period_end.c_str());
      say([&] { return "  period set to " + a.period_start + " to " + a.period_end; });
    }
    say([&] { return "  -> " + answer_text(a.code); });
    return static_cast<uint16_t>(a.code);
  }
  say(line + ": not a dialog of this host");
  return 0;
}

int16_t Q7_STDCALL torval_52028(const char* caption, const char* text, int32_t style) {
  if (failing(52028)) return 0;
  return show_box("52028", caption, text, style);
}

int16_t Q7_CDECL torval_52029(const char* caption, const char* format, int32_t style, ...) {
  va_list values;
  va_start(values, style);
  const formatted text(format, values);
  va_end(values);
  return show_box("52029", caption, text.text, style);
}

// Show form: the forms engine (forms.cpp). A fifth value, passed with some
// forms, is not read: nothing says what it means.
uint16_t Q7_CDECL torval_52026(const void* block, int32_t form, void* record, q7::form_hook hook,
                               ...) {
  if (failing(52026)) return 0;
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
    convert(text, q7::mazovia_to_windows_1250);
  else if (from == windows_page && to == mazovia_page)
    convert(text, windows_code_point, mazovia_byte_or_mark);
}

// The translator of structured exceptions, which the plug-in installs for
// the host's thread: a hardware exception becomes a language exception of
// the host's, which the host catches in its own frames (the plug-in catches
// none; it is built without exceptions).
void Q7_CDECL torval_30005(unsigned code, struct _EXCEPTION_POINTERS*) {
  throw std::runtime_error("structured exception " + std::to_string(code));
}

// The delay-load notification hook: the host answers MessageBoxA itself.
void* Q7_STDCALL torval_30007(unsigned notification, q7_delay_load_info* info) {
  check_entered_word("the delay-load hook");
  // A host that hands user32's functions a module without them.
  if (behaves("user32-unavailable"))
    return notification == q7::dli_note_pre_load_library ? platform::host_module() : nullptr;
  if (notification == q7::dli_note_pre_get_proc_address && info && info->import_by_name &&
      std::strcmp(info->proc_name, "MessageBoxA") == 0)
    return reinterpret_cast<void*>(&scripted_message_box);
  return nullptr;
}

char* Q7_STDCALL torval_52161(char* destination, const char* source, uint16_t n) {
  std::size_t length = 0;
  while (length < n && source[length]) ++length;
  std::memmove(destination, source, length);
  destination[length] = 0;
  return destination;
}

int32_t Q7_CDECL torval_52154(const char* a, const char* b) { return std::strcmp(a, b); }

int16_t* Q7_STDCALL torval_52268() {
  trace(52268, [] { return std::string(); });
  return failing(52268) ? nullptr : &world().bookkeeping_year;
}

void Q7_STDCALL torval_30204(char* out) {
  std::snprintf(out, 9, "%s", world().current_date.c_str());
}

int32_t Q7_STDCALL torval_30908(const char* a, const char* b) {
  long day_a, day_b;
  if (!day_number(a, day_a) || !day_number(b, day_b)) return 0;
  return static_cast<int32_t>(day_a - day_b);
}

const uint8_t* Q7_STDCALL torval_32500(int32_t block) {
  if (failing(32500)) return nullptr;
  return block == q7::host_values::information_block ? world().information_block : nullptr;
}

int16_t Q7_STDCALL torval_35804(int32_t, const char* caption, const char* format, int32_t style,
                                q7::host_va_list values) {
  const formatted text(format, values);
  say([&] {
    return std::string("  message \"") + from_mazovia(caption) + "\" style " + std::to_string(style) + ":";
  });
  say_text(text.text);
  return 1;
}

// Appends a line and a line end (CR LF) to a text file of the working folder.
// The file stays open, buffered, until the command ends or the file is read.
void Q7_STDCALL torval_52407(const char* file, const char* line) {
  trace(52407, [&]() -> std::string { return std::string(file) + ", \"" + from_mazovia(line) + "\""; });
  append_line(file, line);
}

void Q7_STDCALL torval_52409(const char* file, const char* layout, int32_t zero, const char* title,
                             int32_t zero2) {
  close_line_files();
  say([&] {
    return "  52409(" + std::string(file) + ", \"" + from_mazovia(layout) + "\", " + std::to_string(zero) +
           ", \"" + from_mazovia(title) + "\", " + std::to_string(zero2) + ")";
  });
  show_report(file, layout, title);
}

// Printing: the print job is written to a file beside the printed one.
int32_t Q7_STDCALL torval_38360(int32_t, const char* file, int32_t a, int32_t b, int32_t c, int32_t d) {
  close_line_files();
  const std::string job = std::string(file) + ".prn";
  say([&] {
    return "  print " + std::string(file) + " (" + std::to_string(a) + ", " + std::to_string(b) + ", " +
           std::to_string(c) + ", " + std::to_string(d) + ") to " + job;
  });
  std::string bytes;
  read_file(file, bytes);
  write_file(job, bytes);
  return 1;
}

// Service 33197 takes its value in a register; its entry (register_probe.S)
// records EAX, ECX and EDX as they arrive, and this host reads ECX. Another
// host may read either of the others: the transcript says when they differ.
extern const int32_t torval_33197_registers[3] Q7_SYMBOL("torval_33197_registers");
void Q7_FASTCALL torval_33197_service(int32_t code) Q7_SYMBOL("torval_33197_service");
void Q7_FASTCALL torval_33197_service(int32_t code) {
  say([&] { return "  end of the cash-desk command (" + std::to_string(code) + ")"; });
  const int32_t* r = torval_33197_registers;
  if (r[0] != code || r[2] != code)
    say("  (the value differs in the registers: eax " + std::to_string(r[0]) + ", ecx " +
        std::to_string(r[1]) + ", edx " + std::to_string(r[2]) + ")");
}

}  // extern "C"
