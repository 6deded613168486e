// The eleven values the host hands a table's key handler, and passing the key
// on to the handler that was in the table's slot before the plug-in's own.
#pragma once

#include <cstdint>
#include <cstdio>

#include "abi/records.h"
#include "plugin/hostlink/guard.h"

namespace q7 {

// The previous handler called with its two 16-bit values in 32-bit slots, so
// that they are widened again without sign, whatever the compiler would do.
using widened_key_handler = int32_t(Q7_STDCALL*)(int32_t, uint32_t, int32_t*, char**, int32_t,
                                                 table_descriptor*, int32_t, FILE*, int32_t,
                                                 uint32_t, int32_t);

struct key_call {
  int32_t key;
  uint16_t a2;
  int32_t* record_count;
  char** rows;
  int32_t a5;
  table_descriptor* table;
  int32_t a7;
  FILE* file;
  int32_t a9;
  uint16_t a10;
  int32_t a11;

  // Calls the previous handler with the same eleven values and answers its
  // result; a table that had no handler answers 0.
  int32_t pass_on(key_handler previous) const {
    if (!previous) return 0;
    const auto widened = reinterpret_cast<widened_key_handler>(previous);
    return widened(key, uint32_t{a2}, record_count, rows, a5, table, a7, file, a9,
                   uint32_t{a10}, a11);
  }
};

// The record buffer a table lends, as one of the plug-in's records: only
// while the table's records are of that size (the host may change the size
// after activation, and lend a buffer of the new size, or hand another
// table's descriptor); else the command stops.
template <class Record>
Record& lent_record(const table_descriptor* table) {
  if (!table || !table->record_buffer || table->record_size != sizeof(Record)) abandon_command();
  return *static_cast<Record*>(table->record_buffer);
}

}  // namespace q7
