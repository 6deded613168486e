// The answering functions, one a service, each with the service's prototype.
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <limits>

#include "abi/form_template.h"
#include "abi/host_services.h"
#include "abi/machine.h"
#include "abi/records.h"
#include "fuzz/answers.h"
#include "host/forms.h"
#include "host/host.h"
#include "host/host_platform.h"

#define Q7_DECLARE_HOST_SERVICE(number, convention, result, parameters) \
  extern "C" result convention torval_##number parameters Q7_SYMBOL("torval_" #number);
Q7_HOST_SERVICES(Q7_DECLARE_HOST_SERVICE)
#undef Q7_DECLARE_HOST_SERVICE

namespace q7::fuzz {
namespace {

using torval::audit, torval::plan;

// A count moved by n, wrapping as the host's 32 bits would.
int32_t moved(int32_t count, int32_t n) {
  return static_cast<int32_t>(static_cast<uint32_t>(count) + static_cast<uint32_t>(n));
}

// The scripted answer of the host's next box, dialog or form.
void answer_next(int code) {
  torval::answer a;
  a.code = code;
  plan().answers.push_back(a);
}

// The input fields an edit may go to: the amounts the user types.
const char* const edited_items[] = {"8", "10", "12", "14"};
const char* const typed_values[] = {"0.5", "-3", "1e12", "99999.99", "x", "0"};

int16_t extreme_years[] = {-32768, 32767, 0};
// An information block whose code runs on past its four characters.
const uint8_t* endless_block() {
  static uint8_t block[64];
  std::memset(block, 'Z', sizeof block);
  return block;
}

// The answers, one function a service, each with the service's prototype.

q7::table_descriptor* Q7_STDCALL answer_52256(int32_t number) {
  q7::table_descriptor* usual = torval_52256(number);
  switch (choose(52256, 6)) {
    case 1: return nullptr;
    case 2: if (usual) take_pointer(usual, true); return usual;
    case 3: if (usual) take_pointer(usual, false); return usual;
    case 4: return shorter_records(number);
    case 5: return longer_records(number);
    case 6: {
      torval::table* other =
          torval::find_table(number == q7::ledger_table_no ? q7::plot_table_no : q7::ledger_table_no);
      return other ? &other->descriptor : nullptr;
    }
    default: return usual;
  }
}

// A read answered done without reading leaves the record before in the
// buffer, and a scan goes on past the table's end for as long as the host
// answers so: the plug-in takes the fourth such record as it took the third,
// which would only make the input slower, so a command gets three.
constexpr int most_unread_reads = 3;

int32_t Q7_STDCALL answer_52286(int32_t zero, int32_t index, q7::table_descriptor* d, int32_t zero2, FILE* file) {
  int answer = choose(52286, 4);
  if (answer == 2 && ++record().unread_reads > most_unread_reads) answer = 0;
  switch (answer) {
    case 1: return 0;
    case 2: untrue("52286 answered done without reading"); return 1;
    case 3: {
      const int32_t done = torval_52286(zero, index, d, zero2, file);
      if (done) fill_texts(d);
      return done;
    }
    case 4: torval_52286(zero, index, d, zero2, file); return 0;
    default: return torval_52286(zero, index, d, zero2, file);
  }
}

int32_t Q7_STDCALL answer_52287(int32_t zero, int32_t index, q7::table_descriptor* d, int32_t zero2, FILE* file) {
  switch (choose(52287, 3)) {
    case 1: return 0;
    case 2: untrue("52287 answered done without writing"); return 1;
    case 3: {
      if (torval_52287(zero, index, d, zero2, file)) untrue("52287 wrote and answered not done");
      return 0;
    }
    default: return torval_52287(zero, index, d, zero2, file);
  }
}

int32_t Q7_STDCALL answer_52288(int32_t* count, q7::table_descriptor* d, FILE* file) {
  const int32_t before = count ? *count : 0;
  switch (choose(52288, 5)) {
    case 1: return 0;
    case 2:
      if (torval_52288(count, d, file) && count) *count = before, untrue("52288 appended and left the count");
      return 1;
    case 3:
      if (torval_52288(count, d, file) && count) *count = moved(before, -1), untrue("52288 appended and lowered the count");
      return 1;
    case 4: {
      const int32_t done = torval_52288(count, d, file);
      // The count runs beyond the ledger's entries: the next append, which
      // sets it to the entries there are, cannot raise it.
      if (done && count) *count = moved(*count, 3), untrue("52288 counted beyond the ledger's entries");
      return done;
    }
    case 5:
      if (count) *count = moved(before, 1), untrue("52288 raised the count without appending");
      return 1;
    default: return torval_52288(count, d, file);
  }
}

FILE* Q7_STDCALL answer_50516(int32_t kind, const char* name, q7::table_descriptor* d, int32_t* count) {
  const int other = choose(50516, 6);
  if (other == 1) return nullptr;
  FILE* file = torval_50516(kind, name, d, count);
  if (!file) return nullptr;
  const auto opened = audit().open_ledgers.find(fileno(file));
  if (opened != audit().open_ledgers.end() &&
      std::find(record().ledgers.begin(), record().ledgers.end(), opened->second) == record().ledgers.end())
    record().ledgers.push_back(opened->second);
  if (!count) return file;
  switch (other) {
    case 2: *count = -1; break;
    case 3: *count = std::numeric_limits<int32_t>::min(); break;
    case 4: *count = moved(*count, 3), untrue("50516 counted beyond the ledger's entries"); break;
    case 5: *count = std::numeric_limits<int32_t>::max(), untrue("50516 counted beyond the ledger's entries"); break;
    case 6: *count = 0; break;
    default: break;
  }
  return file;
}

int32_t Q7_STDCALL answer_52290(FILE* file, int32_t count, q7::table_descriptor* d) {
  switch (choose(52290, 3)) {
    case 1: return 0;
    case 2: return torval_52290(file, count, d) ? -1 : 0;
    case 3: return 1;  // the totals as they were kept
    default: return torval_52290(file, count, d);
  }
}

void Q7_STDCALL answer_52302(int32_t ok, int32_t zero, FILE** handle, int32_t zero2) {
  switch (choose(52302, 2)) {
    case 1:
      if (handle && *handle) record().left_open.insert(*handle);
      return;
    case 2: {
      FILE* kept = handle ? *handle : nullptr;
      torval_52302(ok, zero, handle, zero2);
      if (handle) *handle = kept;  // closed, but the handle not cleared
      return;
    }
    default: torval_52302(ok, zero, handle, zero2);
  }
}

char* Q7_STDCALL answer_52311(int32_t account, char* buffer, const char* prefix, const char* extension, int32_t length) {
  switch (choose(52311, 4)) {
    case 1: return buffer;
    case 2: if (buffer && length > 0) std::memset(buffer, 'X', static_cast<std::size_t>(length)); return buffer;
    case 3: return torval_52311(account + 1, buffer, prefix, extension, length);
    case 4: torval_52311(account, buffer, prefix, extension, length); return nullptr;
    default: return torval_52311(account, buffer, prefix, extension, length);
  }
}

// Stamps run on in memory: the host's own keeps its running stamp in a file,
// which would cost two opens at every entry.
int32_t Q7_STDCALL answer_50800() {
  constexpr int32_t stamps[] = {0, -1, std::numeric_limits<int32_t>::min()};
  static int32_t running = 0;
  const int other = choose(50800, 3);
  running = running == std::numeric_limits<int32_t>::max() ? 1 : running + 1;
  return other ? stamps[other - 1] : running;
}

int32_t Q7_STDCALL answer_52178(double amount, int32_t scale) {
  constexpr int32_t values[] = {0, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
  const int other = choose(52178, 3);
  return other ? values[other - 1] : torval_52178(amount, scale);
}

uint16_t Q7_CDECL answer_52026(const void* block, int32_t form, void* data, q7::form_hook hook, ...) {
  const int other = choose(52026, 6);
  switch (other) {
    case 1: return q7::cancelled;
    case 2: return 0;
    case 3: return static_cast<uint16_t>(0x5003 + bytes().next());
    case 4:
      plan().form_edits.push_back({edited_items[bytes().next() % std::size(edited_items)], "",
                                   typed_values[bytes().next() % std::size(typed_values)]});
      break;
    default: break;
  }
  answer_next(q7::confirmed);
  const uint16_t result = torval_52026(block, form, data, hook);
  plan().answers.clear();
  plan().form_edits.clear();
  if (result == q7::confirmed && (other == 5 || other == 6)) spoil_form(block, form, data, other == 6);
  return result;
}

void Q7_STDCALL answer_52040(void* data, int32_t direction) {
  if (choose(52040, 2) == 0) return torval_52040(data, direction);
  if (direction == q7::forms::form_to_record && data) std::memset(data, 0xFF, 238);  // the bound bytes of the largest form
}

uint16_t Q7_CDECL answer_52023(int32_t dialog, void* data, int32_t zero, ...) {
  constexpr int32_t install_notice = 1194, period_dialog = 207;
  if (dialog == install_notice) {
    va_list more;
    va_start(more, zero);
    const char* text = va_arg(more, const char*);
    va_end(more);
    return torval_52023(dialog, data, zero, text);
  }
  const int other = dialog == period_dialog ? choose(52023, 4) : 0;
  switch (other) {
    case 1: return q7::cancelled;
    case 2: return static_cast<uint16_t>(0x5003 + bytes().next());
    case 3: std::memcpy(data, "ab.cd.ef\0" "99.99.99", 18); return q7::confirmed;
    case 4: std::memset(data, '9', 20); return q7::confirmed;  // no terminator in either date
    default: break;
  }
  torval::answer a;
  a.code = q7::confirmed;
  a.period_start = "11.01.01";
  a.period_end = "11.12.31";
  plan().answers.push_back(a);
  const uint16_t result = torval_52023(dialog, data, zero);
  plan().answers.clear();
  return result;
}

int16_t Q7_STDCALL answer_52028(const char* caption, const char* text, int32_t style) {
  constexpr int16_t others[] = {0, q7::cancelled, 0x7FFF, -1};
  const int other = choose(52028, 4);
  answer_next(other ? others[other - 1] : q7::confirmed);
  const int16_t result = torval_52028(caption, text, style);
  plan().answers.clear();
  return result;
}

int16_t Q7_STDCALL answer_35804(int32_t zero, const char* caption, const char* format, int32_t style,
                                q7::host_va_list values) {
  // The closing messages of the posting commands; those that tell a posted
  // total have it as their one value.
  if (std::strncmp(format, "Wpisano", 7) == 0) {
    record().posted_message = true;
    std::memcpy(&record().posted_total, values, sizeof(double));
  }
  if (std::strstr(format, "Wpisano zad") || std::strstr(format, "Nie wpisano zad"))
    record().closing_message = true;
  return torval_35804(zero, caption, format, style, values);
}

int16_t Q7_CDECL answer_52224(uint16_t op, const char* section, const char* key, const char* format,
                              q7::host_va_list values) {
  constexpr uint16_t read_rates = 8;
  const int other = choose(52224, 4);
  if (other == 1) return 1;
  if (op != read_rates || other == 0) return torval_52224(op, section, key, format, values);
  double* rates[4];
  std::memcpy(rates, values, sizeof rates);
  const int filled = other == 3 ? 0 : other == 4 ? 2 : 4;
  for (int i = 0; i < filled; ++i) *rates[i] = outlandish_amount(static_cast<uint8_t>(bytes().next() + i));
  return 0;
}

int16_t* Q7_STDCALL answer_52268() {
  const int other = choose(52268, 4);
  int16_t* usual = torval_52268();
  return other == 1 ? nullptr : other ? &extreme_years[other - 2] : usual;
}

void Q7_STDCALL answer_30204(char* out) {
  switch (choose(30204, 3)) {
    case 1: std::memcpy(out, "ab.cd.ef", 9); return;
    case 2: std::memset(out, '9', 9); return;  // nine characters, no terminator
    case 3: out[0] = 0; return;
    default: torval_30204(out);
  }
}

int32_t Q7_STDCALL answer_30908(const char* a, const char* b) {
  constexpr int32_t days[] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), 0};
  const int other = choose(30908, 3);
  return other ? days[other - 1] : torval_30908(a, b);
}

const uint8_t* Q7_STDCALL answer_32500(int32_t block) {
  const int other = choose(32500, 2);
  const uint8_t* usual = torval_32500(block);
  return other == 1 ? nullptr : other == 2 ? endless_block() : usual;
}

char* Q7_STDCALL answer_52161(char* destination, const char* source, uint16_t n) {
  switch (choose(52161, 3)) {
    case 1: {  // the text, without its terminator
      std::size_t length = 0;
      while (length < n && source[length]) ++length;
      std::memcpy(destination, source, length);
      return destination;
    }
    case 2: return destination;  // nothing copied
    case 3: std::memset(destination, 'x', n); return destination;  // the field filled, no terminator
    default: return torval_52161(destination, source, n);
  }
}

int32_t Q7_CDECL answer_52154(const char* a, const char* b) {
  const int other = choose(52154, 2);
  return other == 1 ? 0 : other == 2 ? 1 : torval_52154(a, b);
}

int32_t Q7_STDCALL answer_38360(int32_t zero, const char* file, int32_t a, int32_t b, int32_t c, int32_t d) {
  const int32_t usual = torval_38360(zero, file, a, b, c, d);
  return choose(38360, 1) ? 0 : usual;
}

}  // namespace

void interpose_services() {
  using torval::platform::interpose_export;
#define Q7_INTERPOSE(number) interpose_export(number, reinterpret_cast<void*>(&answer_##number))
  Q7_INTERPOSE(52256);
  Q7_INTERPOSE(52286);
  Q7_INTERPOSE(52287);
  Q7_INTERPOSE(52288);
  Q7_INTERPOSE(50516);
  Q7_INTERPOSE(52290);
  Q7_INTERPOSE(52302);
  Q7_INTERPOSE(52311);
  Q7_INTERPOSE(50800);
  Q7_INTERPOSE(52178);
  Q7_INTERPOSE(52026);
  Q7_INTERPOSE(52040);
  Q7_INTERPOSE(52023);
  Q7_INTERPOSE(52028);
  Q7_INTERPOSE(35804);
  Q7_INTERPOSE(52224);
  Q7_INTERPOSE(52268);
  Q7_INTERPOSE(30204);
  Q7_INTERPOSE(30908);
  Q7_INTERPOSE(32500);
  Q7_INTERPOSE(52161);
  Q7_INTERPOSE(52154);
  Q7_INTERPOSE(38360);
#undef Q7_INTERPOSE
}

}  // namespace q7::fuzz
