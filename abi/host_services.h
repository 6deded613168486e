// Prototypes of the host services, one line each, declared once for both
// sides: the plug-in calls service N as svc_N (its binding thunk), the
// stand-in host implements it as torval_N and exports it as ordinal N.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "machine.h"
#include "records.h"

namespace q7 {
// The host's variable argument list: a pointer to the values laid out as the
// plug-in's own variadic wrapper received them.
using host_va_list = char*;
}  // namespace q7

// Widths of the results, as the plug-in reads them. A 16-bit result comes back
// in AX and only the low half of EAX is read: the answers of boxes, dialogs
// and forms (52023, 52026, 52028, 52029, 35804) and of the settings (52224).
// These are read as the whole of EAX, 32 bits: the done/not-done answers of
// the record services (52286, 52287, 52290), the days between two dates
// (30908: a period may span more than 32,767 days), the text comparison
// (52154: only zero or not matters), the interface version (51594, declared
// 32-bit by the host), the column value (52178) and the stamp (50800). The append's answer
// (52288) is not read at all: whether it appended is judged by the count it
// was handed having risen, since hosts do not agree on what it answers.
//
// X(number, convention, result, parameters)
#define Q7_HOST_SERVICES(X)                                                                      \
  X(30204, Q7_STDCALL, void, (char* out))                                                        \
  X(30908, Q7_STDCALL, int32_t, (const char* a, const char* b))                                  \
  X(32500, Q7_STDCALL, const uint8_t*, (int32_t block))                                          \
  X(33197, Q7_FASTCALL, void, (int32_t code))                                                    \
  X(35804, Q7_STDCALL, int16_t,                                                                  \
    (int32_t zero, const char* caption, const char* format, int32_t style,                       \
     q7::host_va_list values))                                                                   \
  X(38360, Q7_STDCALL, int32_t,                                                                  \
    (int32_t zero, const char* file, int32_t a, int32_t b, int32_t c, int32_t d))                \
  X(50516, Q7_STDCALL, FILE*,                                                                    \
    (int32_t kind, const char* file_name, q7::table_descriptor* table, int32_t* count))          \
  X(50800, Q7_STDCALL, int32_t, (void))                                                          \
  X(51594, Q7_STDCALL, int32_t, (void))                                                          \
  X(52023, Q7_CDECL, uint16_t, (int32_t dialog, void* data, int32_t zero, ...))                  \
  X(52026, Q7_CDECL, uint16_t,                                                                   \
    (const void* block, int32_t form, void* record, q7::form_hook hook, ...))                    \
  X(52028, Q7_STDCALL, int16_t, (const char* caption, const char* text, int32_t style))          \
  X(52029, Q7_CDECL, int16_t, (const char* caption, const char* format, int32_t style, ...))     \
  X(52034, Q7_STDCALL, void, (int32_t field, int32_t bits, int32_t one))                         \
  X(52040, Q7_STDCALL, void, (void* record, int32_t direction))                                  \
  X(52154, Q7_CDECL, int32_t, (const char* a, const char* b))                                    \
  X(52158, Q7_STDCALL, void, (char* text, char* same_text, int32_t from, int32_t to))            \
  X(52161, Q7_STDCALL, char*, (char* dst, const char* src, uint16_t n))                          \
  X(52178, Q7_STDCALL, int32_t, (double scaled_amount, int32_t scale))                           \
  X(52204, Q7_STDCALL, void,                                                                     \
    (q7::table_descriptor* table, void* record, int32_t sign, int32_t fd))                       \
  X(52224, Q7_CDECL, int16_t,                                                                    \
    (uint16_t op, const char* section, const char* key, const char* format,                      \
     q7::host_va_list values))                                                                   \
  X(52256, Q7_STDCALL, q7::table_descriptor*, (int32_t table))                                   \
  X(52268, Q7_STDCALL, int16_t*, (void))                                                         \
  X(52282, Q7_STDCALL, void, (FILE * file))                                                      \
  X(52283, Q7_STDCALL, void, (FILE * file))                                                      \
  X(52286, Q7_STDCALL, int32_t,                                                                  \
    (int32_t zero, int32_t index, q7::table_descriptor* table, int32_t zero2, FILE* file))       \
  X(52287, Q7_STDCALL, int32_t,                                                                  \
    (int32_t zero, int32_t index, q7::table_descriptor* table, int32_t zero2, FILE* file))       \
  X(52288, Q7_STDCALL, int32_t, (int32_t * count, q7::table_descriptor* table, FILE* file))      \
  X(52290, Q7_STDCALL, int32_t, (FILE * file, int32_t count, q7::table_descriptor* table))       \
  X(52297, Q7_STDCALL, void, (q7::table_descriptor * table, FILE* file))                         \
  X(52298, Q7_STDCALL, void, (q7::table_descriptor * table, FILE* file))                         \
  X(52302, Q7_STDCALL, void, (int32_t ok, int32_t zero, FILE** handle, int32_t zero2))           \
  X(52311, Q7_STDCALL, char*,                                                                    \
    (int32_t account, char* buffer, const char* prefix, const char* extension, int32_t length))  \
  X(52407, Q7_STDCALL, void, (const char* file, const char* line))                               \
  X(52409, Q7_STDCALL, void,                                                                     \
    (const char* file, const char* layout, int32_t zero, const char* title, int32_t zero2))      \
  X(52465, Q7_STDCALL, void, (q7::table_descriptor * table, int32_t what))

// Values the services take and give, by service.
namespace q7::host_values {
// 52023: the host's dialogs the plug-in runs.
inline constexpr int32_t install_notice_dialog = 1194;  // data: a 16-bit value; a fourth argument, the text
inline constexpr int32_t report_period_dialog = 207;    // data: two dates YY.MM.DD at 0 and 9
// 52028, 52029, 35804: message styles.
inline constexpr int32_t style_message = 1;
inline constexpr int32_t style_question_yes_no = 6;
inline constexpr int32_t style_question_ok_cancel = 9;
inline constexpr int32_t style_stop = 49153;  // 0xC001, the plug-in's stop messages
// 52158: code pages.
inline constexpr int32_t code_page_mazovia = 1;
inline constexpr int32_t code_page_windows_1250 = 3;
// 52224: operations on a setting.
inline constexpr uint16_t setting_read_int16 = 1;    // "%d" into an int16_t*
inline constexpr uint16_t setting_write_int = 2;     // "%d" from an int
inline constexpr uint16_t setting_read_doubles = 8;  // "%f,%f,%f,%f" into four double*
inline constexpr uint16_t setting_write_doubles = 9; // "%f,%f,%f,%f" from four doubles
inline constexpr int16_t setting_done = 0;
// 52465: prepare a table descriptor for a holder's ledger.
inline constexpr int32_t prepare_ledger_table = 255;
// 50516: the kind of file opened, a holder's ledger.
inline constexpr int32_t holder_ledger_kind = 53;
// 52311: the length of a ledger file name the buffer takes.
inline constexpr int32_t ledger_file_name_length = 104;
// 32500: the information block that holds the host's four-character code.
inline constexpr int32_t information_block = 4;
inline constexpr std::size_t host_code_at = 54;
// 33197: the end of a cash-list command.
inline constexpr int32_t end_of_cash_command = -5;
// 38360: the print of a report file: margins left, top, right, and copies.
inline constexpr int32_t print_left = 50, print_top = 50, print_right = 40, print_copies = 1;
// 52204: the sign of a record's contents in the column totals.
inline constexpr int32_t withdraw_from_totals = -1;
inline constexpr int32_t enter_into_totals = +1;
// Arguments that must be zero.
inline constexpr int32_t unused = 0;
}  // namespace q7::host_values

// Exported by the host and used without binding.
struct _EXCEPTION_POINTERS;
struct q7_delay_load_info;
#define Q7_HOST_FIXED_EXPORTS(X)                                                                \
  X(30005, Q7_CDECL, void, (unsigned code, struct _EXCEPTION_POINTERS* info))                    \
  X(30007, Q7_STDCALL, void*, (unsigned notification, struct q7_delay_load_info* info))
