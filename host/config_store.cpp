#include "host/config_store.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "host/file_store.h"
#include "host/world.h"

namespace torval {
namespace {

// Sections and names in the order of their bytes, found by a view of the name.
using ini = std::map<std::string, std::map<std::string, std::string, std::less<>>, std::less<>>;

// The file's bytes the settings were last parsed from or written as.
std::string& parsed_text() {
  static std::string parsed;
  return parsed;
}

// The settings as the file holds them now. The file is read at every call
// (in place when the files are in memory), and parsed again only when its
// bytes differ from those parsed last: a command reads the same settings
// again and again.
ini& load() {
  static ini sections;
  static std::string read;
  static bool any = false;
  std::string& parsed = parsed_text();
  const std::string* now = bytes_in_memory(world().config_path);
  if (!now) {
    if (!read_file(world().config_path, read)) read.clear();
    now = &read;
  }
  const std::string& bytes = *now;
  if (any && bytes == parsed) return sections;
  sections.clear();
  std::string section;
  for (std::string_view rest = bytes; !rest.empty();) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
      section.assign(line.substr(1, line.size() - 2));
    } else if (const auto eq = line.find('='); eq != std::string_view::npos) {
      sections[section][std::string(line.substr(0, eq))] = line.substr(eq + 1);
    }
  }
  parsed = bytes;
  any = true;
  return sections;
}

// The settings into the file; what was written need not be parsed again.
void save(const ini& sections) {
  std::string& text = parsed_text();
  text.clear();
  for (const auto& [section, keys] : sections) {
    text.append(1, '[').append(section).append("]\n");
    for (const auto& [key, value] : keys) text.append(key).append(1, '=').append(value).append(1, '\n');
  }
  write_file(world().config_path, text);
}

}  // namespace

const std::string* config_read(std::string_view section, std::string_view key) {
  const ini& sections = load();
  const auto s = sections.find(section);
  if (s == sections.end()) return nullptr;
  const auto k = s->second.find(key);
  return k == s->second.end() ? nullptr : &k->second;
}

void config_write(const std::string& section, const std::string& key, const std::string& value) {
  ini& sections = load();
  sections[section][key] = value;
  save(sections);
}

void config_clear() { remove_file(world().config_path); }

std::string config_contents() {
  std::string bytes;
  read_file(world().config_path, bytes);
  return bytes;
}

}  // namespace torval
