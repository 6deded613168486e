// The files of the working folder that the host and the plug-in share: the
// tables' files, the holders' ledgers, the report and listing files. They are
// on disk; a fuzzing run keeps them in memory instead (keep_files_in_memory),
// where opening, writing and removing one costs no system call. Both kinds
// behave alike: a removed file stays readable and writable through a stream
// still open on it, and is gone for every later open. A stream in memory has
// no descriptor (fileno answers -1), and the audit knows an open ledger by its
// descriptor: in memory it follows one open ledger at a time, which is all
// that any command keeps open.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace torval {

// From now on the files are kept in memory (true), or on disk as a session
// begins (false). A fuzzing run keeps them in memory, and so does a timing
// that measures the plug-in rather than the disk.
void keep_files_in_memory(bool in_memory);
// fopen of the C library, with its modes ("rb", "ab", "r+b", "w+b", ...).
FILE* open_file(std::string_view name, const char* mode);
// remove of the C library: 0 when the file was there and is gone.
int remove_file(std::string_view name);
// rename of the C library: the file from takes the name to, in place of a
// file of that name, at once. 0 when done.
int rename_file(std::string_view from, std::string_view to);
// In memory: every file but those keep() names is removed.
void forget_files_other_than(bool (*keep)(std::string_view name));
// Another program holds the file open, reading, and lets no one else change
// it, as a spreadsheet program does with the file it shows: until it lets
// go, the file cannot be made anew, written, replaced or removed.
void hold_file(std::string_view name);
void let_go_of_files();
// The whole file into bytes; false when there is no such file.
bool read_file(std::string_view name, std::string& bytes);
// The bytes of a file kept in memory, as they stand, without a copy; null
// when there is no such file or the files are on disk.
const std::string* bytes_in_memory(std::string_view name);
// The file made anew with the bytes; false when it cannot be written whole.
bool write_file(std::string_view name, std::string_view bytes);

// Hands the file's lines to each_line(std::string&), each without its LF,
// as std::getline splits them; false when there is no such file. A file is
// read a part at a time: a long report is never held whole.
template <class EachLine>
bool read_lines(std::string_view name, EachLine each_line) {
  FILE* file = open_file(name, "rb");
  if (!file) return false;
  std::string line;
  char part[4096];
  for (std::size_t n; (n = std::fread(part, 1, sizeof part, file)) > 0;) {
    for (std::size_t start = 0; start < n;) {
      const void* lf = std::memchr(part + start, '\n', n - start);
      const std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - part) : n;
      line.append(part + start, end - start);
      start = end + 1;
      if (lf) {
        each_line(line);
        line.clear();
      }
    }
  }
  std::fclose(file);
  if (!line.empty()) each_line(line);
  return true;
}

// Appends a line and CR LF to a text file, making the file if there is none,
// as the host's line service does. The file is kept open from its first line
// until close_line_files (when the command ends or the file is read), so
// that a command's lines cost no open each.
void append_line(std::string_view name, const char* line);
void close_line_files();

}  // namespace torval
