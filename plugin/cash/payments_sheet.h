// The payments report as a spreadsheet file, "raport_wplat_<start>_<end>.csv"
// with the period's dates as YYYY-MM-DD: UTF-8 with a byte-order mark, fields
// separated by semicolons, dates a spreadsheet reads as dates, amounts with a
// decimal comma; the header row, a row for each document, an empty row and
// the totals row. The plug-in writes it itself, into a new file that takes
// the place of an older one of the same name only when it is complete.
#pragma once

#include "abi/records.h"
#include "plugin/cash/payments_row.h"
#include "plugin/platform/platform.h"

namespace q7 {

// A spreadsheet file being written: its rows gather in the buffer, which is
// written out whenever it could not take the longest row. What the report
// opens it records here, where the report's guard can close it.
struct payments_sheet {
  static constexpr unsigned buffer_size = 8192;
  char name[39];       // empty when the period's ends are not dates
  char temporary[43];  // the name and ".tmp": where the file is written
  platform::file_handle file;
  bool failed;         // the file cannot be made whole: it is not put in place
  unsigned length;     // of the buffer in use
  char buffer[buffer_size];
};

// Names the file after the period (the period buffer: start at 0, end at 9),
// makes its temporary file and writes the header row.
void payments_sheet_begin(payments_sheet& sheet, const char* period);
// A document's row: payer, plot number as typed, date, and the row's seven amounts.
void payments_sheet_row(payments_sheet& sheet, const cash_record& record, const payments_row& row,
                        const amount_texts& amounts);
// The empty row and the totals row; the file, complete, takes the place of
// an older one of its name. False when it could not (nothing is left of the
// temporary file, and an older file is as it was).
bool payments_sheet_end(payments_sheet& sheet, const amount_texts& totals);
// An abandoned report: the temporary file is closed and removed.
void payments_sheet_discard(payments_sheet& sheet);
// Tells the user, after the report, that the file could not be written, and what to do.
void tell_payments_sheet_not_written(const payments_sheet& sheet);

}  // namespace q7
