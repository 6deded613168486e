// The payments report of the cash desk (Ctrl-A); its key handler is declared
// with the plot table's in plugin/fees/key_handlers.h.
#pragma once

#include "abi/records.h"
#include "plugin/fees/payments_sheet.h"

namespace q7 {

// One cash document of the report: its payment lines sorted by their texts
// into the fee categories of a row, the row added to the totals and written
// into the listing, the compact file and the spreadsheet file.
void payments_report_row(const cash_record& record, fee_sheet& totals, payments_sheet& sheet);

}  // namespace q7
