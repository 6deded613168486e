// The payments report as a spreadsheet file, "raport_wplat.csv": UTF-8 with a
// byte-order mark, fields separated by semicolons, amounts with a decimal
// comma. Written line by line through the host's append service, beside the
// two text files of the report.
#pragma once

#include "abi/records.h"
#include "plugin/text/decimal_text.h"

namespace q7 {

// The seven amounts of a row or of the totals in the columns' order, each as
// "%.2f" writes it (amounts are held ×10000), formatted once for the listing
// and the spreadsheet file alike.
struct amount_texts {
  static constexpr int count = 7;
  char text[count][two_decimals_size];
};
amount_texts amount_texts_of(const fee_sheet& s);

// Removes the file of an earlier run and writes the header row.
void payments_sheet_begin();
// One row: payer, plot number, document date and the seven amounts.
void payments_sheet_row(const fee_sheet& row, const char* date, const amount_texts& amounts);
// The totals row.
void payments_sheet_totals(const amount_texts& totals);

}  // namespace q7
