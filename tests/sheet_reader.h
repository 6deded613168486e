// Reads a spreadsheet file of the payments report as a spreadsheet program
// does: a byte-order mark, fields split at semicolons outside quotes, rows
// ended by CR LF outside quotes, a doubled quote inside quotes one quote.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace q7::test {

using sheet = std::vector<std::vector<std::string>>;

// The rows; nothing when the text is not well formed: no mark, an unclosed
// quote, a quote or a line break outside quotes, or no CR LF after the last row.
inline std::optional<sheet> read_sheet(const std::string& text) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") != 0) return std::nullopt;
  sheet rows(1, std::vector<std::string>(1));
  for (std::size_t i = 3; i < text.size(); ++i) {
    std::string& field = rows.back().back();
    if (text[i] == '"' && field.empty()) {
      for (++i;; ++i) {
        if (i >= text.size()) return std::nullopt;
        if (text[i] != '"') field += text[i];
        else if (i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
        else break;
      }
      if (i + 1 < text.size() && text[i + 1] != ';' && text[i + 1] != '\r') return std::nullopt;
    } else if (text[i] == ';') {
      rows.back().emplace_back();
    } else if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++i;
      rows.emplace_back(1);
    } else if (text[i] == '"' || text[i] == '\r' || text[i] == '\n') {
      return std::nullopt;
    } else {
      field += text[i];
    }
  }
  if (rows.back().size() != 1 || !rows.back()[0].empty()) return std::nullopt;
  rows.pop_back();
  return rows;
}

}  // namespace q7::test
