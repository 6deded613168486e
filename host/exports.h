// The host's export table as data, for the native build (on Windows the DLL's
// own export table serves): generated from plugin/hostlink/services.list and
// host/exports.list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/machine.h"

namespace torval {
struct host_export {
  uint32_t ordinal;
  void* function;
};
extern const host_export host_exports[];
extern const std::size_t host_export_count;
}  // namespace torval
