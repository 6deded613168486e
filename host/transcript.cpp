#include "host/transcript.h"

#include "host/texts.h"

namespace torval {
namespace {

void say_lines(const std::string& text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    say("  | " + text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

}  // namespace

transcript_state& transcript() {
  static transcript_state state;
  return state;
}

// Each line is written out as it is said, so that whatever happens later
// the transcript so far is kept.
void say(const std::string& line) {
  transcript_state& t = transcript();
  if (t.quiet) return;
  t.text += line;
  t.text += '\n';
  if (FILE* stream = t.stream) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
  }
}

void say_text(const char* mazovia_text) {
  if (!transcript().quiet) say_lines(from_mazovia(mazovia_text));
}

void say_windows_text(const char* windows_text) {
  if (!transcript().quiet) say_lines(plugin_display_path(from_windows_1250(windows_text)));
}

std::string plugin_display_path(const std::string& text) {
  const std::string& folder = transcript().plugin_folder;
  if (folder.empty()) return text;
  std::string out = text;
  for (std::size_t at; (at = out.find(folder)) != std::string::npos;)
    out.replace(at, folder.size(), "<plugin dir>");
  return out;
}

bool traced(uint32_t service) { return transcript().traced.count(service) != 0; }

}  // namespace torval
