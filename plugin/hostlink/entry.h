// The plug-in's entry points, exported by number.
#pragma once

#include <cstdint>

#include "abi/records.h"

extern "C" {
int32_t Q7_STDCALL entry_30001(void* host_context, char* description) Q7_SYMBOL("entry_30001");
int32_t Q7_STDCALL entry_30008(int32_t mode) Q7_SYMBOL("entry_30008");
void Q7_STDCALL entry_30009() Q7_SYMBOL("entry_30009");
}
