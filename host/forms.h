// The host's forms engine: shows a form of a plug-in's form template block,
// bound to the plug-in's form data record, and lets the session script edit
// it (the edits and the answer the plan holds, host/plan.h).
#pragma once

#include <cstdint>
#include <string>

#include "abi/records.h"

namespace torval {

// Show form (52026): the button number that closed the form, or 0 when the
// form could not be shown.
uint16_t show_form(const void* block, int32_t number, void* record, q7::form_hook hook);
// Exchange form data (52040) of the open form.
void exchange_form_data(void* record, int32_t direction);
// Set item state (52034) of the open form: on = 0 clears the bits instead.
void set_item_state(int32_t field, int32_t bits, int32_t on);
// Why the last form could not be shown (a fuzzing run checks it).
std::string& form_refusal();

}  // namespace torval
