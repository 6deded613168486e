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
std::map<std::string, stored_bytes>& memory_files() {
  static std::map<std::string, stored_bytes> files;
  return files;
}

bool in_memory() { return host().files_in_memory; }

}  // namespace

FILE* open_file(const std::string& name, const char* mode) {
  if (!in_memory()) return std::fopen(name.c_str(), mode);
  auto& files = memory_files();
  auto found = files.find(name);
  const std::string how(mode);
  if (how.find('r') != std::string::npos) {
    if (found == files.end()) return nullptr;
  } else {
    if (found == files.end()) found = files.emplace(name, std::make_shared<std::string>()).first;
    if (how.find('w') != std::string::npos) found->second->clear();
  }
  return platform::open_memory_file(found->second, how.find('a') != std::string::npos,
                                    how.find('+') != std::string::npos || how.find('r') == std::string::npos,
                                    how.find('+') != std::string::npos || how.find('r') != std::string::npos);
}

int remove_file(const std::string& name) {
  if (!in_memory()) return std::remove(name.c_str());
  return memory_files().erase(name) == 1 ? 0 : -1;
}

bool read_file(const std::string& name, std::string& bytes) {
  if (in_memory()) {
    const auto found = memory_files().find(name);
    if (found == memory_files().end()) return false;
    bytes = *found->second;
    return true;
  }
  FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) return false;
  bytes.clear();
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, n);
  std::fclose(file);
  return true;
}

}  // namespace torval
