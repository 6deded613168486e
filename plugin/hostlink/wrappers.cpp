#include "plugin/hostlink/services.h"

#include "plugin/hostlink/guard.h"

extern "C" void Q7_CDECL q7_call_with_value_in_registers(void* function, int32_t value)
    Q7_SYMBOL("q7_call_with_value_in_registers");

namespace q7 {

int16_t question_box(text_ref caption, text_ref text, int32_t style) {
  return svc_52028_question_box(caption.text, text.text, style);
}

int16_t configuration(uint16_t operation, const char* section, const char* key,
                      const char* format, ...) {
  va_list values;
  va_start(values, format);
  const int16_t result = svc_52224_setting(operation, section, key, format, values);
  va_end(values);
  return result;
}

void end_cash_list_command(int32_t code) {
  // The calling entry and the thunk keep the three registers, so the host
  // finds the value in whichever of them it reads.
  q7_call_with_value_in_registers(reinterpret_cast<void*>(&svc_33197_end_cash_command), code);
}

int16_t formatted_message(text_ref caption, const char* format, int32_t style, ...) {
  va_list values;
  va_start(values, style);
  const int16_t result = svc_35804_formatted_message(host_values::unused, caption.text, format, style, values);
  va_end(values);
  return result;
}

void copy_field(char* field, text_ref source, uint16_t n) {
  svc_52161_copy_text(field, source.text, n);
  // The field's last byte ends it whatever the host wrote: a copy that
  // stops without its terminator, or writes nothing at all, leaves a text
  // that is read, searched and handed on as one.
  field[n] = 0;
}

int16_t bookkeeping_year() {
  const int16_t* year = svc_52268_bookkeeping_year();
  if (!year) abandon_command();
  return *year;
}

}  // namespace q7
