// The key handler of the plot table (the list of firms).
#include "plugin/hostlink/entry.h"
#include "plugin/hostlink/key_call.h"
#include "plugin/hostlink/module.h"

namespace q7 {

int32_t Q7_STDCALL plot_list_handler(int32_t key, uint16_t a2, int32_t* record_count, char** rows,
                                     int32_t a5, table_descriptor* table, int32_t a7, FILE* file,
                                     int32_t a9, uint16_t a10, int32_t a11) {
  const key_call call{key, a2, record_count, rows, a5, table, a7, file, a9, a10, a11};
  try {
    return call.pass_on(module.previous_plot_handler);
  } catch (...) {
    return 0;
  }
}

}  // namespace q7
