// Record-size checks of the host tables the plug-in reads and writes in place,
// and the report that explains a refusal to the user.
#pragma once

#include <cstdint>

namespace q7 {

struct size_check {
  int32_t expected;     // the record size the plug-in was built for
  const char* name;     // the table's name in the report
  int32_t host_size;    // as the host reported it; 0 when it returned no descriptor
  size_check* next;     // link in the size mismatch list
  bool filled;          // the host size is taken once for the module's life
};

extern size_check start_check;            // plot table at start
extern size_check plot_activation_check;  // plot table at activation
extern size_check cash_activation_check;  // cash table at activation

// Fills the check's host size the first time; later calls keep it.
void fill_size_check(size_check& check, int32_t host_size);
int size_mismatch_count();
// Appends the check to the mismatch list, unless it is in it already.
void add_size_mismatch(size_check& check);
// Adds the check to the list when its sizes differ.
void check_size(size_check& check);
void show_mismatch_report();

}  // namespace q7
