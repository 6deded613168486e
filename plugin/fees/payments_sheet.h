// The payments report as a spreadsheet file, "raport_wplat.csv": UTF-8 with a
// byte-order mark, fields separated by semicolons, amounts with a decimal
// comma. Written line by line through the host's append service, beside the
// two text files of the report.
#pragma once

#include "abi/records.h"

namespace q7 {

// Removes the file of an earlier run and writes the header row.
void payments_sheet_begin();
// One row: payer, plot number, document date and the seven amounts.
void payments_sheet_row(const fee_sheet& row, const char* date);
// The totals row.
void payments_sheet_totals(const fee_sheet& totals);

}  // namespace q7
