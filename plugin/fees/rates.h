// The four rates of the setting "Stawki" (plot rate, water rate,
// membership fee, energy rate), the defaults of Ctrl-B's form and of the dry
// run, stored when the bookkeeper confirms Ctrl-B's form.
#pragma once

#include "abi/records.h"

namespace q7 {

// An amount a form accepts: a finite number within the forms' amount limits
// (±10¹³ scaled).
bool within_form_limits(double amount);

// The rates into the sheet, or their defaults when the setting cannot be read.
void read_rates(fee_sheet& sheet);
void save_rates(const fee_sheet& sheet);

}  // namespace q7
