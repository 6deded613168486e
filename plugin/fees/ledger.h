// Postings of fees into a holder's ledger: a fee is known by its posting
// title, and posting the same title again replaces the earlier entry.
#pragma once

#include <cstdint>
#include <cstdio>

#include "abi/records.h"
#include "plugin/hostlink/services.h"

namespace q7 {

// One open ledger, as the commands hand it over.
struct ledger_access {
  table_descriptor* table;  // the host's ledger table (36)
  ledger_entry* entry;      // the table's record buffer
  int32_t* count;           // entries in the ledger file; raised by the host's append
  FILE* file;               // the open ledger file
};

// 1 when the scaled amount counts as zero: strictly between -0.00001 and 0.00001.
int is_zero_amount(double amount);

// Builds a complete ledger entry from nothing in the record buffer.
void fill_ledger_entry(ledger_entry& entry, text_ref title, double amount, text_ref fee_line);

// Posts one fee: replaces the first entry with an equal title, else reuses a
// free entry, else appends. True when the host stored the entry, false when
// it refused to (a fee of 0.00 may be either).
bool store_fee(const ledger_access& ledger, text_ref title, double amount, text_ref fee_line);

// The amount of the first entry with an equal title, 0.0 when there is none.
double posted_amount(const ledger_access& ledger, text_ref title);

}  // namespace q7
