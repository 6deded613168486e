// The fees of one plot: filling a fee sheet from a plot record, computing the
// fees and their fee lines, and the event hook of the annual fee form.
#pragma once

#include <cstdint>

#include "abi/records.h"
#include "plugin/hostlink/host.h"

namespace q7 {

// Bounded text copy into a field of n+1 bytes (host service 52161): the field
// receives the source cut to at most n characters and terminated.
void copy_field(char* field, text_ref source, uint16_t n);

// A decimal number read from the text's first bytes (at most width of them):
// leading blanks, an optional sign, digits up to the first non-digit; 0 when
// there is none. The fee sheet holds it in 16 bits.
int32_t read_plot_number(const char* text, std::size_t width);

// The bookkeeping year (host service 52268), read afresh at every call.
int16_t bookkeeping_year();

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

// Event hook of form 1001: marks the prepayments the plot bears when the
// form is set up (event -2) and recomputes the fees after each edit (event 0).
int32_t Q7_STDCALL fee_form_hook(int32_t first, int32_t event);

}  // namespace q7
