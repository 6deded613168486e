#include "host/file_store.h"

#include <map>
#include <memory>
#include <set>
#include <utility>

#include "host/host_platform.h"

namespace torval {
namespace {

using stored_bytes = std::shared_ptr<std::string>;

// A name of the working folder in memory. A stream open on a file holds its
// bytes too, so removing the file leaves the stream working, as on disk.
// A removed file's entry stays, its bytes emptied when no stream holds them:
// the same few files are made and removed at every command, and their
// entries and buffers serve again.
struct memory_entry {
  stored_bytes bytes = std::make_shared<std::string>();
  bool exists = false;
};

// Found by a view of the name. A map's entries stay where they are as others come and go.
template <class Entry>
using by_name = std::map<std::string, Entry, std::less<>>;

by_name<memory_entry>& memory_files() {
  static by_name<memory_entry> files;
  return files;
}

bool files_in_memory = false;

bool in_memory() { return files_in_memory; }

std::set<std::string, std::less<>>& held_files() {
  static std::set<std::string, std::less<>> held;
  return held;
}

bool held(std::string_view name) { return !held_files().empty() && held_files().count(name) != 0; }

// The file's entry, or null when there is no such file.
memory_entry* existing(std::string_view name) {
  const auto found = memory_files().find(name);
  return found != memory_files().end() && found->second.exists ? &found->second : nullptr;
}

// The file's bytes, making the file, empty, if there is none.
const stored_bytes& made(std::string_view name) {
  auto found = memory_files().find(name);
  if (found == memory_files().end()) found = memory_files().emplace(std::string(name), memory_entry{}).first;
  found->second.exists = true;
  return found->second.bytes;
}

// A file that lines are appended to: on disk its stream, in memory its bytes;
// neither while it is closed. Entries stay for the next command's lines.
struct line_file {
  FILE* stream = nullptr;
  stored_bytes bytes;
};

by_name<line_file>& line_files() {
  static by_name<line_file> files;
  return files;
}

// A file's bytes emptied; fresh ones where a stream still open keeps the old.
void empty(stored_bytes& bytes) {
  if (bytes.use_count() > 1) bytes = std::make_shared<std::string>();
  else bytes->clear();
}

}  // namespace

void keep_files_in_memory(bool in_memory) { files_in_memory = in_memory; }

FILE* open_file(std::string_view name, const char* mode) {
  const std::string_view how(mode);
  if (how != "rb" && how != "r" && held(name)) return nullptr;
  if (!in_memory()) return std::fopen(std::string(name).c_str(), mode);
  const bool reads = how.find('r') != std::string_view::npos, plus = how.find('+') != std::string_view::npos;
  if (reads && !existing(name)) return nullptr;
  const stored_bytes& bytes = made(name);
  if (how.find('w') != std::string_view::npos) bytes->clear();
  return platform::open_memory_file(bytes, how.find('a') != std::string_view::npos, plus || !reads, plus || reads);
}

int remove_file(std::string_view name) {
  if (held(name)) return -1;
  if (!in_memory()) return std::remove(std::string(name).c_str());
  memory_entry* entry = existing(name);
  if (!entry) return -1;
  entry->exists = false;
  empty(entry->bytes);
  return 0;
}

int rename_file(std::string_view from, std::string_view to) {
  if (held(from) || held(to)) return -1;
  if (!in_memory()) return std::rename(std::string(from).c_str(), std::string(to).c_str());
  memory_entry* source = existing(from);
  if (!source) return -1;
  if (from == to) return 0;
  memory_entry& target = memory_files()[std::string(to)];
  // The source's bytes go to the target; the target's old ones serve the
  // source's name again.
  std::swap(target.bytes, source->bytes);
  empty(source->bytes);
  target.exists = true;
  source->exists = false;
  return 0;
}

void forget_files_other_than(bool (*keep)(std::string_view name)) {
  for (auto& [name, entry] : memory_files())
    if (entry.exists && !keep(name)) remove_file(name);
  // The entries of removed files serve again when the same names come back;
  // past a few dozen, names come and go, and the entries are forgotten.
  if (memory_files().size() > 64)
    std::erase_if(memory_files(), [](const auto& file) { return !file.second.exists && file.second.bytes.use_count() == 1; });
}

void hold_file(std::string_view name) {
  held_files().emplace(name);
  platform::hold_open(std::string(name));
}

void let_go_of_files() {
  held_files().clear();
  platform::let_go_of_held_files();
}

bool read_file(std::string_view name, std::string& bytes) {
  if (in_memory()) {
    const memory_entry* entry = existing(name);
    if (!entry) return false;
    bytes = *entry->bytes;
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

const std::string* bytes_in_memory(std::string_view name) {
  const memory_entry* entry = in_memory() ? existing(name) : nullptr;
  return entry ? entry->bytes.get() : nullptr;
}

bool write_file(std::string_view name, std::string_view bytes) {
  // In memory as a stream opened "wb" would: streams open on the file see it made anew.
  if (in_memory()) {
    if (held(name)) return false;
    made(name)->assign(bytes);
    return true;
  }
  FILE* file = open_file(name, "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

void append_line(std::string_view name, const char* line) {
  auto open = line_files().find(name);
  if (open == line_files().end()) open = line_files().emplace(std::string(name), line_file{}).first;
  line_file& file = open->second;
  if (in_memory()) {
    if (!file.bytes) file.bytes = made(name);
    file.bytes->append(line).append("\r\n");
    return;
  }
  if (!file.stream) file.stream = open_file(name, "ab");
  if (!file.stream) return;
  std::fputs(line, file.stream);
  std::fputs("\r\n", file.stream);
}

void close_line_files() {
  for (auto& [name, file] : line_files()) {
    if (file.stream) std::fclose(file.stream);
    file = line_file{};
  }
}

}  // namespace torval
