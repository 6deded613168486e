// The key handlers of the commands: the plot table's (the list of firms:
// Ctrl-C, Ctrl-B, Ctrl-A and Ctrl-W, plugin/fees/plot_list.cpp) and the cash
// table's (the cash desk: Ctrl-A, the payments report, plugin/cash/cash_list.cpp).
#pragma once

#include <cstdint>
#include <cstdio>

#include "abi/records.h"

namespace q7 {

int32_t Q7_STDCALL plot_list_handler(int32_t key, uint16_t a2, int32_t* record_count, char** rows,
                                     int32_t a5, table_descriptor* table, int32_t a7, FILE* file,
                                     int32_t a9, uint16_t a10, int32_t a11);
int32_t Q7_STDCALL cash_list_handler(int32_t key, uint16_t a2, int32_t* record_count, char** rows,
                                     int32_t a5, table_descriptor* table, int32_t a7, FILE* file,
                                     int32_t a9, uint16_t a10, int32_t a11);

}  // namespace q7
