// One row of the payments report: a cash document's payer and plot number,
// and the amounts of its payment lines, each in the fee category that the
// words of its text name.
#pragma once

#include <cstdint>

#include "abi/records.h"
#include "plugin/text/decimal_text.h"

namespace q7 {

// The report's columns of amounts, in their order.
enum class fee_category { membership, usage, energy, water, heating, other };
inline constexpr int fee_category_count = 6;

struct payments_row {
  int16_t plot_no;                                // read from the document, in the 16 bits the listing shows
  char payer[sizeof(sheet_head::holder_name)];    // cut as a form's holder is
  double amounts[fee_category_count];
  double total;

  double& operator[](fee_category category) { return amounts[static_cast<int>(category)]; }
  double operator[](fee_category category) const { return amounts[static_cast<int>(category)]; }
};

// The row of a cash document: its payment lines sorted into the categories
// by the words of their texts. The texts are read from the record up to
// their first zero byte, at most 511 bytes, never past the record.
payments_row payments_row_of(const cash_record& record);
void add_to_totals(payments_row& totals, const payments_row& row);

// The seven amounts of a row or of the totals in the columns' order, each as
// "%.2f" writes it (amounts are held ×10000; plugin/text/decimal_text.h),
// formatted once for the listing and the spreadsheet file alike.
struct amount_texts {
  static constexpr int count = fee_category_count + 1;
  char text[count][two_decimals_size];
};
amount_texts amount_texts_of(const payments_row& row);

}  // namespace q7
