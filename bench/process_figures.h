// What a long run (bench/soak.cpp) watches of its own process: its private
// memory, its handles and its modules, and their tolerances.
#pragma once

#include <set>
#include <string>

namespace q7::bench {

struct process_figures {
  // Windows: the process's private bytes. Natively: the heap the program
  // holds, as the sanitizers' allocator counts it (without the memory it
  // keeps back to catch a use after free, which is the sanitizer's own).
  long memory_kb = 0;
  // Natively the resident memory, sanitizers included; Windows the same as memory_kb.
  long resident_kb = 0;
  long handles = 0;               // Windows: handles; natively: open file descriptors
  std::set<std::string> modules;  // Windows: the loaded modules; natively: the files mapped
  long module_regions = 0;        // natively the mappings of those files; Windows the modules
};

process_figures measure();
// The larger of each figure.
process_figures highest(const process_figures& a, const process_figures& b);
// Prints the figures after the first commands, the highest seen and at the
// end, with the tolerances; true when the end is within them of the first.
bool report(const process_figures& first, const process_figures& high, const process_figures& last);

// Whether the plug-in's module is in the process now.
bool plugin_module_loaded();

// The process's number in the system.
long process_number();

// Makes the work folder ready for the plug-in: under Windows the plug-in
// module is copied there from beside the program and loaded from there.
bool prepare_folder(const std::string& folder);

}  // namespace q7::bench
