// A figure of the process's /proc/self/status in KB (Linux): "VmRSS" the
// memory it holds now, "VmHWM" the peak. 0 when it cannot be read.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace q7::bench {

inline long status_kilobytes(const char* field) {
  long value = 0;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    const std::size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status))
      if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
        value = std::strtol(line + length + 1, nullptr, 10);
        break;
      }
    std::fclose(status);
  }
  return value;
}

}  // namespace q7::bench
