// Reads a spreadsheet file of the payments report as a spreadsheet program
// does: a byte-order mark, fields split at semicolons outside quotes, rows
// ended by CR LF outside quotes, a doubled quote inside quotes one quote.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace q7::test {

// Walks the rows of the text, handing each field's value to field(value),
// a string_view valid for the call, and each row's end to row_end(). False
// when the text is not well formed: no mark, an unclosed quote, a quote or a
// line break outside quotes, or no CR LF after the last row. A plain field is
// handed as it stands in the text and a quoted one from one buffer, so that a
// check after every fuzzing input costs little.
template <class Field, class RowEnd>
bool walk_sheet(const std::string& text, Field field, RowEnd row_end) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") != 0) return false;
  std::string quoted;
  std::size_t plain_start = 3;  // where the field's text begins, when it is not quoted
  bool is_quoted = false, row_has_fields = false;
  const auto end_field = [&](std::size_t at) {
    field(is_quoted ? std::string_view(quoted)
                    : std::string_view(text).substr(plain_start, at - plain_start));
    is_quoted = false;
  };
  for (std::size_t i = 3; i < text.size(); ++i) {
    if (text[i] == '"' && !is_quoted && i == plain_start) {
      quoted.clear();
      for (++i;; ++i) {
        if (i >= text.size()) return false;
        if (text[i] != '"')
          quoted += text[i];
        else if (i + 1 < text.size() && text[i + 1] == '"')
          quoted += text[++i];
        else break;
      }
      if (i + 1 < text.size() && text[i + 1] != ';' && text[i + 1] != '\r') return false;
      is_quoted = true;
    } else if (text[i] == ';') {
      end_field(i);
      plain_start = i + 1;
      row_has_fields = true;
    } else if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      end_field(i);
      ++i;
      plain_start = i + 1;
      row_end();
      row_has_fields = false;
    } else if (text[i] == '"' || text[i] == '\r' || text[i] == '\n') {
      return false;
    }
  }
  // What follows the last CR LF must be nothing, or an empty field.
  return !row_has_fields && (is_quoted ? quoted.empty() : plain_start >= text.size());
}

using sheet = std::vector<std::vector<std::string>>;

// The rows; nothing when the text is not well formed.
inline std::optional<sheet> read_sheet(const std::string& text) {
  sheet rows(1);
  if (!walk_sheet(
          text, [&](std::string_view value) { rows.back().emplace_back(value); },
          [&] { rows.emplace_back(); }))
    return std::nullopt;
  rows.pop_back();
  return rows;
}

}  // namespace q7::test
