// The transcript: every line the user would see, said as it happens and
// written out at once, so that whatever happens later the transcript so far
// is kept; and, when the host runs at a terminal, the person who answers.
// A fuzzing run is quiet: nothing is said and nothing drawn, and everything
// else the host does, and checks, is as in a session.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace torval {

struct transcript_state {
  std::string text;               // what was said so far
  FILE* stream = nullptr;         // where each line goes as it is said, flushed
  bool quiet = false;             // a fuzzing run: nothing is said
  std::set<uint32_t> traced;      // services whose calls are shown
  // The lines of a report the report view draws; the rest it counts. A scale
  // run's report of a million lines would otherwise be a transcript of them.
  long report_view_lines = -1;    // all
  // The folder the plug-in is loaded from, shown as "<plugin dir>": it
  // differs from machine to machine.
  std::string plugin_folder;
  // Interactive use: asks the person at the terminal and reads the reply;
  // false at the end of the input. Null when a script runs alone.
  bool (*ask)(const std::string& prompt, std::string& reply) = nullptr;
  // The steps the person's replies stand for (answers, edits), to be saved
  // before the step during which they were asked.
  std::vector<std::string> replied_steps;
};
transcript_state& transcript();

// A line of the transcript, in UTF-8.
void say(const std::string& line);
// Says the line that line() makes, made only when a transcript is written
// (a fuzzing run writes none).
template <class Line>
requires std::is_invocable_r_v<std::string, Line>
void say(Line line) {
  if (!transcript().quiet) say(line());
}
// A text of the system (Mazovia) shown line by line, markup made visible.
void say_text(const char* mazovia_text);
// The same for a text in the Windows code page, the plug-in's folder shown
// as "<plugin dir>".
void say_windows_text(const char* windows_text);
// The text with the folder the plug-in is loaded from replaced by "<plugin dir>".
std::string plugin_display_path(const std::string& text);

// Whether the session traces the service.
bool traced(uint32_t service);
// Writes a service call into the transcript when the session traces it; the
// text of its arguments is made only then.
template <class Arguments>
void trace(uint32_t service, Arguments arguments) {
  if (traced(service)) say("  " + std::to_string(service) + "(" + arguments() + ")");
}

}  // namespace torval
