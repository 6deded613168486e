// Changing a host record in place, the one way it is done. The record, read
// into the table's record buffer just before, is withdrawn from the host's
// column totals (52204 with -1), rebuilt in the buffer, written (52287) and
// entered into the totals again (+1). Whatever stops the change after the
// withdrawal puts the old contents back, into the buffer and into the
// totals, and the stop goes on; a write the host refuses likewise leaves the
// old contents, which its file still holds, in the buffer and the totals. So
// the host's totals always match its files.
#pragma once

#include <cstdint>
#include <cstdio>

#include "abi/records.h"
#include "plugin/hostlink/guard.h"
#include "plugin/hostlink/services.h"

namespace q7 {

// A host table and its open file, as the record services take them.
struct table_file {
  table_descriptor* table;
  FILE* file;
};

using host_values::enter_into_totals;
using host_values::withdraw_from_totals;

// The number of the open file as the totals service takes it; -1 for none.
int32_t file_number_of(FILE* file);

// Enters the record's contents into the table's column totals, or withdraws them.
void count_in_totals(const table_file& at, void* record, int32_t sign);

// Changes record `index` of the table's file, read into `record` (the
// table's record buffer): rebuild makes the new contents in the buffer.
// True when the host wrote them.
template <class Record, class Rebuild>
bool change_record(const table_file& at, int32_t index, Record& record, Rebuild&& rebuild) {
  count_in_totals(at, &record, withdraw_from_totals);
  const Record old = record;
  bool written = false;
  // From the withdrawal until the contents are entered again, whatever stops
  // the change enters what the file holds: the old contents, or the new once written.
  guarded_or_undo(
      [&] {
        rebuild();
        written = svc_52287_write_record(host_values::unused, index, at.table, host_values::unused, at.file) != 0;
        if (!written) record = old;
        count_in_totals(at, &record, enter_into_totals);
      },
      [&] {
        if (!written) record = old;
        count_in_totals(at, &record, enter_into_totals);
      });
  return written;
}

// Enters a record the host has just written or appended into the table's
// column totals; the host's unwinding of the command before that is done
// still enters it, since the file holds it now.
void enter_written(const table_file& at, void* record);

}  // namespace q7
