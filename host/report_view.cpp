#include "host/report_view.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/file_store.h"
#include "host/texts.h"
#include "host/transcript.h"

namespace torval {
namespace {

constexpr int report_width = 150;  // columns of the report window

struct column {
  char alignment;  // l left, c centre, p right
  int width;       // -1: what the other columns leave
  std::string title;
};

std::vector<column> read_layout(const std::string& layout) {
  std::vector<column> columns;
  for (const std::string& entry : split_text(layout, '\r')) {
    if (entry.empty()) continue;
    std::size_t digits = 1;
    if (digits < entry.size() && entry[digits] == '-') ++digits;
    while (digits < entry.size() && entry[digits] >= '0' && entry[digits] <= '9') ++digits;
    columns.push_back({entry[0], std::atoi(entry.substr(1, digits - 1).c_str()),
                       from_mazovia(entry.substr(digits).c_str())});
  }
  int fixed = 0, open = 0;
  for (const column& c : columns) (c.width < 0 ? open : fixed) += c.width < 0 ? 1 : c.width;
  const int rest = report_width - fixed - static_cast<int>(columns.size()) + 1;
  for (column& c : columns)
    if (c.width < 0) c.width = open ? std::max(1, rest / open) : 1;
  return columns;
}

// Characters of a UTF-8 text, for its width on screen.
std::size_t characters(const std::string& text) {
  std::size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

std::string fit(const std::string& text, const column& c) {
  std::string shown;
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80 && n++ == static_cast<std::size_t>(c.width)) break;
    shown += text[i];
  }
  const std::size_t pad = c.width - std::min<std::size_t>(characters(shown), c.width);
  const std::size_t left = c.alignment == 'p' ? pad : c.alignment == 'c' ? pad / 2 : 0;
  return std::string(left, ' ') + shown + std::string(pad - left, ' ');
}

std::string draw(const std::vector<column>& columns, const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i) line += ' ';
    line += fit(i < fields.size() ? fields[i] : "", columns[i]);
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

void show_report(const char* file, const char* layout, const char* title) {
  if (transcript().quiet) return;  // the view is for the transcript alone
  const std::vector<column> columns = read_layout(layout);
  say("  report \"" + from_mazovia(title) + "\" of " + file + ", " + std::to_string(columns.size()) +
      " columns:");
  std::vector<std::string> titles;
  for (const column& c : columns) titles.push_back(c.title);
  say("  | " + draw(columns, titles));
  say("  | " + std::string(report_width, '-'));
  long drawn = 0, more = 0;
  read_lines(file, [&](std::string& line) {
    if (transcript().report_view_lines >= 0 && drawn >= transcript().report_view_lines) return void(++more);
    ++drawn;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // Tabs end every field of a line; what follows the last one is empty.
    std::vector<std::string> fields;
    for (const std::string& field : split_text(line, '\t')) fields.push_back(from_mazovia(field.c_str()));
    say("  | " + draw(columns, fields));
  });
  if (more > 0) say("  | ... and " + std::to_string(more) + " more lines");
}

}  // namespace torval
