// The fee rules of one plot: a fee sheet filled from a plot record, the fees
// computed from its area, rates and fee letters, and their fee lines.
#pragma once

#include <cstdint>

#include "abi/records.h"

namespace q7 {

// Plot number, area in whole square metres and holder of a plot record.
void fill_sheet_head(sheet_head& head, const plot_record& plot);
// The head and the fee letters; the rates stay as they are.
void fill_fee_sheet(fee_sheet& sheet, const plot_record& plot);

// Whether the fee letters call for the fee of a letter, in either case.
bool letters_call_for(const char* fee_letters, char letter);

// Computes the five fees, the total and the five fee lines from the area, the
// four rates and the fee letters.
void compute_plot_fees(fee_sheet& sheet);
// The same without the fee lines, for where they are never read (the dry
// run): the amounts and the total are exactly those of compute_plot_fees.
void compute_plot_amounts(fee_sheet& sheet);

}  // namespace q7
