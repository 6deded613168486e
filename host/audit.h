// The audit: what the host records of a command to check it afterwards, and
// its report. It keeps the totals of each holder's ledger as the +1/-1 calls
// of 52204 leave them, the ledger opened under each file descriptor, the
// passes (52282) and the changes (52297) begun on a table file and not yet
// ended, and what the ledger writes stored. Changes end with 52298, with the
// end of a pass over their file (52283), or when their file is closed
// (52302); an end of changes never begun is recorded too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/world.h"

namespace torval {

struct audit_state {
  using totals_by_file = std::map<std::string, std::pair<double, double>, std::less<>>;
  totals_by_file ledger_totals;                                   // debit, credit by file
  std::map<int, totals_by_file::value_type*> open_ledgers;        // by file descriptor: its entry there
  std::map<const FILE*, int32_t> open_passes;                     // table by file
  std::map<const FILE*, int32_t> begun_changes;                   // table by file
  std::vector<int32_t> unbegun_ends;                              // tables of 52298 with no change begun
  double stored = 0;
  int stored_entries = 0;
};
audit_state& audit();

void audit_opened_ledger(FILE* file, std::string_view name, double debit, double credit);
void audit_closed_ledger(FILE* file);
void audit_ledger_totals(int fd, double debit, double credit);
void audit_stored(const table& t);
void audit_pass(const FILE* file, int32_t table, bool begins);
void audit_changes(const FILE* file, int32_t table, bool begin);
// Says whether every audited ledger's kept totals and the plot table's column
// totals equal a recomputation from their files, what was left open, and
// what was stored.
void report_audit();

}  // namespace torval
