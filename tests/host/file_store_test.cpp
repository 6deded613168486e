// The stand-in host's shared files behave alike on disk and in memory, where
// fuzzing keeps them: whatever a command does with a file, reading it back
// afterwards gives the same bytes either way.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/file_store.h"
#include "host/host.h"
#include "tests/support.h"

namespace torval {
namespace {

// What a command can do with the files, and what each step shows.
std::vector<std::string> run_commands(bool in_memory) {
  q7::test::enter_fresh_folder(in_memory ? "file_store_memory" : "file_store_disk");
  keep_files_in_memory(in_memory);
  std::vector<std::string> seen;
  std::string bytes;
  const auto look = [&](const char* name) {
    seen.push_back(read_file(name, bytes) ? std::string(name) + ": " + bytes : std::string(name) + " absent");
  };

  seen.push_back(open_file("missing", "rb") ? "opened a missing file" : "missing not opened");
  seen.push_back(open_file("missing", "r+b") ? "opened a missing file to change" : "missing not changed");
  seen.push_back(std::to_string(remove_file("missing")));

  // Lines, a file removed while lines are still being appended to it, and
  // the lines after that, which go with the removed file.
  append_line("lines.txt", "first");
  append_line("lines.txt", "second");
  close_line_files();
  look("lines.txt");
  append_line("lines.txt", "third");
  seen.push_back(std::to_string(remove_file("lines.txt")));
  append_line("lines.txt", "lost with the removed file");
  close_line_files();
  look("lines.txt");
  append_line("lines.txt", "anew");
  close_line_files();
  look("lines.txt");

  // A record file: written, written past its end, read and rewritten in place.
  FILE* table = open_file("table.dat", "w+b");
  std::fwrite("0123456789", 1, 10, table);
  std::fseek(table, 14, SEEK_SET);
  std::fwrite("XY", 1, 2, table);
  std::fseek(table, 0, SEEK_END);
  seen.push_back("size " + std::to_string(std::ftell(table)));
  char record[6] = {};
  std::fseek(table, 2, SEEK_SET);
  seen.push_back(std::to_string(std::fread(record, 1, 5, table)) + " read: " + record);
  std::fseek(table, 4, SEEK_SET);
  std::fwrite("ab", 1, 2, table);
  std::fclose(table);
  look("table.dat");

  FILE* appended = open_file("table.dat", "ab");
  std::fseek(appended, 0, SEEK_SET);
  std::fwrite("end", 1, 3, appended);  // appending writes at the end wherever the stream stands
  std::fclose(appended);
  look("table.dat");
  FILE* truncated = open_file("table.dat", "w+b");
  std::fclose(truncated);
  look("table.dat");

  // Records through the host's record services: one written past the end,
  // the gap before it read back as zeros, the count; a stream opened to
  // read writes none.
  torval::table t;
  t.descriptor.record_size = 4;
  t.record_buffer.assign(4, '-');
  FILE* records = open_file("records.dat", "w+b");
  std::memcpy(t.record_buffer.data(), "abcd", 4);
  seen.push_back(write_record(t, records, 2) ? "written at 2" : "2 not written");
  seen.push_back("count " + std::to_string(records_in(records, 4)));
  const auto record_read = [&](FILE* file, int index) {
    return read_record(t, file, index) ? std::string(t.record_buffer.data(), 4) : std::string("not read");
  };
  seen.push_back("1: " + record_read(records, 1) + ", 3: " + record_read(records, 3));
  std::fclose(records);
  FILE* reading = open_file("records.dat", "rb");
  seen.push_back(write_record(t, reading, 0) ? "written through a reading stream" : "the reading stream wrote none");
  seen.push_back("2: " + record_read(reading, 2));
  std::fclose(reading);
  look("records.dat");

  // A file put in place of one a stream still reads: the stream reads the
  // bytes it opened, the name holds the new ones, the old name none.
  write_file("new.txt", "new");
  write_file("old.txt", "old");
  FILE* old_reader = open_file("old.txt", "rb");
  seen.push_back(std::to_string(rename_file("new.txt", "old.txt")));
  char old_bytes[4] = {};
  seen.push_back(std::to_string(std::fread(old_bytes, 1, 3, old_reader)) + " read: " + old_bytes);
  std::fclose(old_reader);
  look("old.txt");
  look("new.txt");
  write_file("new.txt", "again");
  look("new.txt");

  keep_files_in_memory(false);
  return seen;
}

TEST(FileStore, InMemoryFilesBehaveAsFilesOnDisk) {
  using namespace std::string_literals;
  const std::vector<std::string> on_disk = run_commands(false);
  EXPECT_EQ(run_commands(true), on_disk);
  // And the disk run saw what the commands meant.
  EXPECT_EQ(on_disk[3], "lines.txt: first\r\nsecond\r\n");
  EXPECT_EQ(on_disk[5], "lines.txt absent");
  EXPECT_EQ(on_disk[6], "lines.txt: anew\r\n");
  EXPECT_EQ(on_disk[9], std::string("table.dat: 0123ab6789\0\0\0\0XY", 27));
  EXPECT_EQ(on_disk[14], "1: \0\0\0\0, 3: not read"s);
  EXPECT_EQ(on_disk[17], "records.dat: \0\0\0\0\0\0\0\0abcd"s);
  EXPECT_EQ(on_disk[19], "3 read: old");
  EXPECT_EQ(on_disk[20], "old.txt: new");
}

}  // namespace
}  // namespace torval
