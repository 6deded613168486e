// The host service interface of the plug-in: every host service is called as
// svc_<number> through its binding thunk, with the prototype of abi/host_services.h,
// plus the thin shared wrappers over the services.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <type_traits>

#include "abi/host_services.h"

#define Q7_DECLARE_THUNK(number, convention, result, parameters) \
  extern "C" result convention svc_##number parameters Q7_SYMBOL("svc_" #number);
Q7_HOST_SERVICES(Q7_DECLARE_THUNK)
#undef Q7_DECLARE_THUNK

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

// Section of the plug-in's settings in the host's configuration store.
inline constexpr char settings_section[] = "Sudma";

}  // namespace q7
