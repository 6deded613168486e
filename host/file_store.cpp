#include "host/file_store.h"

#include <map>
#include <memory>

#include "host/host.h"
#include "host/platform.h"

namespace torval {
namespace {

using stored_bytes = std::shared_ptr<std::string>;

// The files kept in memory, by name. A stream open on a file holds its bytes
// too, so removing the name leaves the stream working, as on disk.
std::map<std::string, stored_bytes, std::less<>>& memory_files() {
  static std::map<std::string, stored_bytes, std::less<>> files;
  return files;
}

bool in_memory() { return host().files_in_memory; }

stored_bytes& memory_file(std::string_view name) {
  auto found = memory_files().find(name);
  if (found == memory_files().end())
    found = memory_files().emplace(std::string(name), std::make_shared<std::string>()).first;
  return found->second;
}

// A file that lines are appended to: on disk its stream, in memory its bytes.
struct line_file {
  FILE* stream = nullptr;
  stored_bytes bytes;
};

std::map<std::string, line_file, std::less<>>& open_line_files() {
  static std::map<std::string, line_file, std::less<>> files;
  return files;
}

}  // namespace

FILE* open_file(std::string_view name, const char* mode) {
  if (!in_memory()) return std::fopen(std::string(name).c_str(), mode);
  auto& files = memory_files();
  auto found = files.find(name);
  const std::string_view how(mode);
  if (how.find('r') != std::string_view::npos && found == files.end()) return nullptr;
  const stored_bytes& bytes = found == files.end() ? memory_file(name) : found->second;
  if (how.find('w') != std::string_view::npos) bytes->clear();
  return platform::open_memory_file(
      bytes, how.find('a') != std::string_view::npos,
      how.find('+') != std::string_view::npos || how.find('r') == std::string_view::npos,
      how.find('+') != std::string_view::npos || how.find('r') != std::string_view::npos);
}

int remove_file(std::string_view name) {
  if (!in_memory()) return std::remove(std::string(name).c_str());
  const auto found = memory_files().find(name);
  if (found == memory_files().end()) return -1;
  memory_files().erase(found);
  return 0;
}

bool read_file(std::string_view name, std::string& bytes) {
  if (in_memory()) {
    const auto found = memory_files().find(name);
    if (found == memory_files().end()) return false;
    bytes = *found->second;
    return true;
  }
  FILE* file = std::fopen(std::string(name).c_str(), "rb");
  if (!file) return false;
  bytes.clear();
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
  std::fclose(file);
  return true;
}

void append_line(std::string_view name, const char* line) {
  auto open = open_line_files().find(name);
  if (open == open_line_files().end()) open = open_line_files().emplace(std::string(name), line_file{}).first;
  line_file& file = open->second;
  if (in_memory()) {
    if (!file.bytes) file.bytes = memory_file(name);
    file.bytes->append(line).append("\r\n");
    return;
  }
  if (!file.stream) file.stream = open_file(name, "ab");
  if (!file.stream) return;
  std::fputs(line, file.stream);
  std::fputs("\r\n", file.stream);
}

void close_line_files() {
  for (auto& [name, file] : open_line_files())
    if (file.stream) std::fclose(file.stream);
  open_line_files().clear();
}

}  // namespace torval
