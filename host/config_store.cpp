#include "host/config_store.h"

#include <map>
#include <sstream>

#include "host/file_store.h"
#include "host/host.h"

namespace torval {
namespace {

using ini = std::map<std::string, std::map<std::string, std::string>>;

// The settings as the file holds them now. The file is read at every call,
// and parsed again only when its bytes differ from those parsed last: a
// command reads the same settings again and again.
// The file's bytes the settings were last parsed from or written as.
std::string& parsed_text() {
  static std::string parsed;
  return parsed;
}

ini& load() {
  static ini sections;
  static std::string bytes;
  static bool any = false;
  std::string& parsed = parsed_text();
  if (!read_file(host().config_path, bytes)) bytes.clear();
  if (any && bytes == parsed) return sections;
  sections.clear();
  std::istringstream in(bytes);
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (const auto eq = line.find('='); eq != std::string::npos) {
      sections[section][line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  parsed = bytes;
  any = true;
  return sections;
}

// The settings into the file; what was written need not be parsed again.
void save(const ini& sections, std::string& parsed) {
  std::string& text = parsed;
  text.clear();
  for (const auto& [section, keys] : sections) {
    text.append(1, '[').append(section).append("]\n");
    for (const auto& [key, value] : keys) text.append(key).append(1, '=').append(value).append(1, '\n');
  }
  write_file(host().config_path, text);
}

}  // namespace

std::optional<std::string> config_read(const std::string& section, const std::string& key) {
  const ini& sections = load();
  const auto s = sections.find(section);
  if (s == sections.end()) return std::nullopt;
  const auto k = s->second.find(key);
  if (k == s->second.end()) return std::nullopt;
  return k->second;
}

void config_write(const std::string& section, const std::string& key, const std::string& value) {
  ini& sections = load();
  sections[section][key] = value;
  save(sections, parsed_text());
}

void config_clear() { remove_file(host().config_path); }

std::string config_contents() {
  std::string bytes;
  read_file(host().config_path, bytes);
  return bytes;
}

}  // namespace torval
