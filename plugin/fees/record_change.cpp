#include "plugin/fees/record_change.h"

namespace q7 {

int32_t file_number_of(FILE* file) { return file ? fileno(file) : -1; }

void count_in_totals(const table_file& at, void* record, int32_t sign) {
  svc_52204_count_in_totals(at.table, record, sign, file_number_of(at.file));
}

void enter_written(const table_file& at, void* record) {
  const auto enter = [&] { count_in_totals(at, record, enter_into_totals); };
  guarded_or_undo(enter, enter);
}

}  // namespace q7
