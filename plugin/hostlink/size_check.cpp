#include "plugin/hostlink/size_check.h"

#include <cstring>

#include "abi/mazovia.h"
#include "abi/records.h"
#include "plugin/hostlink/guard.h"
#include "plugin/hostlink/services.h"
#include "plugin/hostlink/module.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {

size_check* mismatch_head;  // entries are never removed


// Appends printf-style to a bounded text; the text is cut, never overrun.
template <std::size_t N>
void append(char (&text)[N], const char* format, auto... values) {
  const std::size_t used = std::strlen(text);
  format_text(text + used, N - used, format, values...);
}

const char* module_file_name_part() {
  const char* backslash = std::strrchr(module.own_path, '\\');
  return backslash ? backslash + 1 : module.own_path;
}

}  // namespace

size_check start_check{sizeof(plot_record), "q7", 0, nullptr, false};
size_check plot_activation_check{sizeof(plot_record), "q7", 0, nullptr, false};
size_check cash_activation_check{sizeof(cash_record), "K_stan", 0, nullptr, false};

void fill_size_check(size_check& check, int32_t host_size) {
  if (check.filled) return;
  check.host_size = host_size;
  check.filled = true;
}

int size_mismatch_count() {
  int count = 0;
  for (const size_check* c = mismatch_head; c; c = c->next) ++count;
  return count;
}

void add_size_mismatch(size_check& check) {
  if (!mismatch_head) {
    mismatch_head = &check;
    return;
  }
  size_check* last = mismatch_head;
  for (size_check* c = mismatch_head; c; c = c->next) {
    if (c == &check) return;
    last = c;
  }
  last->next = &check;
}

void check_size(size_check& check) {
  if (check.expected != check.host_size) add_size_mismatch(check);
}

void show_mismatch_report() {
  const char* description = plugin_description.data();
  if (!mismatch_head) {
    svc_52029_stop_message("STOP!!!",
              MZ("Moduł \"%s\" i program występują w różnych wersjach!\n\nZostał zakualizowany "
                 "tylko program albo tylko moduł,\na nie oba jednocześnie! Aby naprawić tę "
                 "sytuację\nzainstaluj aktualizację programu wraz z modułem \"%s\".\n\nMODUŁ NIE "
                 "ZOSTANIE ZAŁADOWANY!!!\n"),
                       host_values::style_stop, description, description);
    return;
  }
  char text[2048] = "";
  append(text,
         MZ("Rozmiary rekordów niektórych tabel nie zgadzają się\nmiędzy programem a wtyczką "
            "\"%s\":\n\n\x01tl18l33\x01TABELA\tWE WTYCZCE\tW PROGRAMIE\n"),
         description);
  for (const size_check* c = mismatch_head; c; c = c->next) {
    append(text, "\x01tp25p40\x01%s\t%d\t", c->name, static_cast<int>(c->expected));
    if (c->host_size)
      append(text, "%d\n", static_cast<int>(c->host_size));
    else
      append(text, "%s\n", "brak");
  }
  append(text, MZ("\nModuł wtyczki \x02%s\x01\nNIE zostanie załadowany!"), module_file_name_part());
  svc_52028_question_box("STOP!!!", text, host_values::style_stop);
}

}  // namespace q7
