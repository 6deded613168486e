// The host service interface of the plug-in: every host service is called
// through its binding thunk as svc_<number>_<name>, the number the host's
// documentation knows it by and the name plugin/hostlink/services.list gives
// it, with the prototype of abi/host_services.h; plus the thin shared
// wrappers over the services.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "abi/host_services.h"
#include "listed_services.h"  // generated from plugin/hostlink/services.list
#include "plugin/hostlink/guard.h"

// The calling entries of the services, generated beside their thunks
// (thunk_macros.S): the host's x87 word is loaded for the call, and
// for a service that may call the plug-in back (its line in services.list
// says yes) what was in force before it is in force after it, however the
// host ended what it called back. The thunks themselves are not declared
// here: nothing calls a service but through its calling entry.
namespace q7::calling_entries {
#define Q7_DECLARE_CALLING_ENTRY(number, convention, result, parameters) \
  extern "C" result convention svc_##number##_call parameters Q7_SYMBOL("svc_" #number "_call");
Q7_HOST_SERVICES(Q7_DECLARE_CALLING_ENTRY)
#undef Q7_DECLARE_CALLING_ENTRY
}  // namespace q7::calling_entries
#define Q7_NAME_SERVICE(number, bytes, calls_back, name, what) \
  inline constexpr auto& svc_##number##_##name = q7::calling_entries::svc_##number##_call;
Q7_LISTED_SERVICES(Q7_NAME_SERVICE)
#undef Q7_NAME_SERVICE

namespace q7::service_list {

// Bytes of arguments a prototype puts on the stack, each rounded to 4; -1
// where the caller removes them, as the list writes "caller".
template <class... A>
constexpr int stack_bytes(void (*)(A...)) {
  return (0 + ... + static_cast<int>((sizeof(A) + 3) / 4 * 4));
}
template <class... A>
constexpr int stack_bytes(void (*)(A..., ...)) {
  return -1;
}
struct service {
  uint32_t number;
  int bytes;
};
#define Q7_DECLARED(number, convention, result, parameters)                             \
  service{number, std::string_view(#convention) == "Q7_CDECL"      ? -1                  \
                  : std::string_view(#convention) == "Q7_FASTCALL" ? 0                   \
                                                                   : stack_bytes(static_cast<void(*) parameters>(nullptr))},
inline constexpr service declared[] = {Q7_HOST_SERVICES(Q7_DECLARED)};
#undef Q7_DECLARED
#define Q7_LISTED(number, bytes, calls_back, name, what) service{number, bytes},
inline constexpr service listed[] = {Q7_LISTED_SERVICES(Q7_LISTED)};
#undef Q7_LISTED

// The bytes a prototype removes for a listed number; -2 when none is declared.
constexpr int declared_bytes(uint32_t number) {
  for (const service& d : declared)
    if (d.number == number) return d.bytes;
  return -2;
}
constexpr bool is_listed(uint32_t number) {
  for (const service& l : listed)
    if (l.number == number) return true;
  return false;
}
// Fails the build with the service's number and both byte counts shown.
template <uint32_t number, int listed_bytes, int declared_bytes>
constexpr bool agrees() {
  static_assert(listed_bytes == declared_bytes,
                "services.list and abi/host_services.h disagree on this service's bytes (-2: not declared)");
  return true;
}
#define Q7_AGREES(number, bytes, calls_back, name, what) && agrees<number, bytes, declared_bytes(number)>()
static_assert(true Q7_LISTED_SERVICES(Q7_AGREES));
#undef Q7_AGREES
consteval bool every_declared_service_listed() {
  for (const service& d : declared)
    if (!is_listed(d.number)) return false;
  return true;
}
static_assert(every_declared_service_listed(), "a service of abi/host_services.h is missing from services.list");

}  // namespace q7::service_list

static_assert(std::is_same_v<va_list, q7::host_va_list>,
              "the host takes a variable argument list as a pointer to the values");

namespace q7 {

// A text handed to the host: one pointer to a zero-terminated Mazovia text.
struct text_ref {
  const char* text;
};

// Question box (52028); 0x5001 means the user confirmed.
int16_t question_box(text_ref caption, text_ref text, int32_t style);

// Configuration access (52224): 0 = success. Operations: 1 read "%d" into an
// int16_t*, 2 write "%d" from an int, 8 read "%f,%f,%f,%f" into four double*,
// 9 write "%f,%f,%f,%f" from four doubles.
int16_t configuration(uint16_t operation, const char* section, const char* key,
                      const char* format, ...);

// End of a cash-list command (33197), which takes its value in a register
// that is not named: the value is in EAX, ECX and EDX alike.
void end_cash_list_command(int32_t code);

// Formatted message (35804): the host formats and shows the text.
int16_t formatted_message(text_ref caption, const char* format, int32_t style, ...);

// Bounded text copy into a field of n+1 bytes (52161): the field receives
// the source cut to at most n characters and terminated.
void copy_field(char* field, text_ref source, uint16_t n);

// The bookkeeping year (52268), read afresh at every call.
int16_t bookkeeping_year();

// Section of the plug-in's settings in the host's configuration store.
inline constexpr char settings_section[] = "Sudma";

}  // namespace q7
