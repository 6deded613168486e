// The plug-in's entry points, exported by number, and the key handlers it
// puts into the host's tables.
#pragma once

#include <cstdint>

#include "abi/records.h"

extern "C" {
int32_t Q7_STDCALL entry_30001(void* host_context, char* description) Q7_SYMBOL("entry_30001");
int32_t Q7_STDCALL entry_30008(int32_t mode) Q7_SYMBOL("entry_30008");
void Q7_STDCALL entry_30009() Q7_SYMBOL("entry_30009");
}

namespace q7 {

int32_t Q7_STDCALL plot_list_handler(int32_t key, uint16_t a2, int32_t* record_count, char** rows,
                                     int32_t a5, table_descriptor* table, int32_t a7, FILE* file,
                                     int32_t a9, uint16_t a10, int32_t a11);
int32_t Q7_STDCALL cash_list_handler(int32_t key, uint16_t a2, int32_t* record_count, char** rows,
                                     int32_t a5, table_descriptor* table, int32_t a7, FILE* file,
                                     int32_t a9, uint16_t a10, int32_t a11);

}  // namespace q7
