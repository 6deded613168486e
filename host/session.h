// Session scripts of the stand-in host: the steps (session_steps.cpp), the
// readable data files they load (data_files.cpp) and the runner that reads a
// script or the terminal and writes the transcript (session.cpp).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace torval {

// What the runner knows of the script being run.
struct session_state {
  std::string source = "script";  // the script's name, or "input" at the terminal
  int line = 0;                   // the line of the step being run, from 1
  int mistakes = 0;               // steps and data files refused so far
  bool mistakes_expected = false; // the script tests mistakes: they do not fail the run
  std::string base;               // the folder relative paths of a script start from
  std::string work;               // the work folder, absolute
};
session_state& session();

// A mistake of the script or of a data file, named by the script line (and
// the data file's place when given): into the transcript and onto stderr.
void report_mistake(const std::string& reason);
// A path of a script: relative paths are taken from the script's folder.
std::string script_path(const std::string& path);

// Runs one line of a script: blank lines and "#" comments are skipped.
void run_step(const std::string& line);
// The list of steps with their arguments, made from the step table.
void print_steps(FILE* out);

// The readable data files: the plot table (plots FILE.csv), the cash table
// (cash FILE.csv) and whole cash records (cash raw FILE). A line that cannot
// be taken whole is a mistake named by file, line and reason; with
// skip_bad_lines it is left out and the rest is loaded. False when the load
// failed: the table is then empty.
bool load_plots(const std::string& csv, bool skip_bad_lines);
bool load_cash(const std::string& csv, bool skip_bad_lines);
bool load_raw_cash(const std::string& file);

}  // namespace torval
