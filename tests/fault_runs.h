// Runs of the commands with host services failing, missing or raising the
// host's exception, and what must hold after each
// (tests/fault_injection_test.cpp): nothing lost or corrupted, the totals
// the host keeps equal to its files, messages that report only what was
// stored, the key passed on exactly when it must be.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace q7::test::faults {

// Services with a failure value: null for pointers and streams, 0 for
// done/not done, a refusal for dialogs, boxes, forms and settings.
inline constexpr uint32_t failing_services[] = {51594, 52023, 52026, 52028, 52224, 52256, 50516,
                                     52268, 32500, 52286, 52287, 52288, 52290};

enum class passes_key { always, unless_completed, never };

struct command {
  const char* name;
  std::vector<std::string> answers;  // answers and edits queued before the key
  std::string key;
  passes_key passing;
  bool writes_plot_columns;          // kwota1 and kwota2 of the plot file
  std::vector<std::string> titles;   // the posting titles the command may write
  std::vector<uint32_t> wine_sample; // services withdrawn under Wine, where a run is slow
};

inline void PrintTo(const command& c, std::ostream* out) { *out << c.name; }

// The five commands as the runs give them.
extern const std::vector<command> commands;

using files = std::map<std::string, std::string>;

// The files of a working folder by their path within it ("./plots.dat").
files read_files(const std::filesystem::path& folder = ".");
std::string read_text(const std::filesystem::path& path);
// The data every run starts from: the host's steps that lay it out, and
// laying it out.
extern const std::vector<std::string> data_steps;
void lay_out_data();
// Entries the command does not post stay byte for byte; it never removes one.
void check_ledgers(const files& before, const files& after, const command& c, std::string& faults);
// The plot file changes only in the columns the simulation writes; no
// temporary file is left behind.
void check_plots(const files& before, const files& after, const command& c, std::string& faults);
// What the transcript of a run must show; missing: a service the host lacks
// in this run, 0 for none; host_ended: the host ended the command through
// its own exception handling, so that the key handler did not return.
void check_transcript(const std::string& run, const command& c, std::string& faults, uint32_t missing = 0,
                      bool host_ended = false);
// Runs the command once on the data laid out, with the faults given; the
// transcript of the run.
std::string run_command(const command& c, const std::vector<std::string>& faults);
// The calls of each service the run's "show calls" counted.
std::map<uint32_t, int> calls_in(const std::string& run);

}  // namespace q7::test::faults
