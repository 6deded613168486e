// The four commands of the list of firms, one file each: Ctrl-A and Ctrl-W
// (sheet_postings.cpp), Ctrl-B (annual_fees.cpp), Ctrl-C (simulation.cpp).
#pragma once

#include "plugin/fees/plot_command.h"

namespace q7 {

void record_previous_year_debts(plot_command& command);   // Ctrl-A
void generate_annual_fees(plot_command& command);         // Ctrl-B
void simulate_fee_generation(plot_command& command);      // Ctrl-C
bool charge_entry_fees(plot_command& command);            // Ctrl-W; true when it completed

}  // namespace q7
